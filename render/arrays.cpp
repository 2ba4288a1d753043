// arrays.cpp -- the vertex chunk (settings.cpp) handed to GL as client
// vertex arrays. No state of its own: GL reads the arrays during each draw
// call, so the chunk may be filled again at once.
#include "render/render.h"

#include <GL/gl.h>

void begin_chunk_arrays(int dims, int channels)
{
    const float *first = (const float *)draw_chunk;
    const GLsizei stride = (GLsizei)((size_t)(dims + channels) * sizeof(float));
    glVertexPointer(dims, GL_FLOAT, stride, first);
    glColorPointer(channels, GL_FLOAT, stride, first + dims);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
}

void draw_chunk_vertices(unsigned mode, int count)
{
    if (count > 0) glDrawArrays((GLenum)mode, 0, count);
}

void end_chunk_arrays(void)
{
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void draw_lattice_quads(const float *corners, int first_vertex, int count)
{
    if (count <= 0) return;
    glVertexPointer(2, GL_FLOAT, 0, corners + 2 * (size_t)first_vertex);
    glColorPointer(3, GL_FLOAT, 0, draw_chunk);
    glDrawArrays(GL_QUADS, 0, count);
}
