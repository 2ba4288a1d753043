// offscreen.cpp -- where an export draws: into an off-screen framebuffer
// (GL_EXT_framebuffer_object, which Mesa offers), so that a window that is
// iconified, unmapped or covered still gives every pixel of every frame, and
// stepped from the idle call, since GLUT calls no display for a hidden
// window. The window shows a copy of each frame when it can be seen. Owns the
// framebuffer and the extension's entry points.
#include "replay/replay.h"
#include "render/render.h"

#include <GL/glut.h>
#include <GL/freeglut_ext.h>
#include <GL/glext.h>
#include <cstdio>
#include <cstring>

// The framebuffer the frames are drawn into (0: the window's back buffer,
// which must then stay uncovered), at the video's size in pixels.
static GLuint frame_buffer, frame_color;
static int frame_width, frame_height;
static int has_blit;                    // the window can be shown a copy of it
// The framebuffer calls, looked up at run time: GL 1.x has them only as an
// extension.
static PFNGLGENFRAMEBUFFERSEXTPROC gen_framebuffers;
static PFNGLDELETEFRAMEBUFFERSEXTPROC delete_framebuffers;
static PFNGLBINDFRAMEBUFFEREXTPROC bind_framebuffer;
static PFNGLGENRENDERBUFFERSEXTPROC gen_renderbuffers;
static PFNGLDELETERENDERBUFFERSEXTPROC delete_renderbuffers;
static PFNGLBINDRENDERBUFFEREXTPROC bind_renderbuffer;
static PFNGLRENDERBUFFERSTORAGEEXTPROC renderbuffer_storage;
static PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC framebuffer_renderbuffer;
static PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC check_framebuffer_status;
static PFNGLBLITFRAMEBUFFEREXTPROC blit_framebuffer;

int export_draws_off_screen(void) { return frame_buffer != 0; }

// 1 when the GL offers the named extension.
static int has_extension(const char *name)
{
    const char *all = (const char *)glGetString(GL_EXTENSIONS);
    size_t n = strlen(name);
    for (const char *p = all; p && (p = strstr(p, name)) != nullptr; p += n)
        if ((p == all || p[-1] == ' ') && (p[n] == ' ' || p[n] == 0)) return 1;
    return 0;
}

// The export's idle call: a frame stepped is drawn at once, whether or not
// the window can be seen (GLUT calls no display for a hidden window).
static void export_idle(void)
{
    int before = replay_frames_played();
    on_idle();
    if (replay_frames_played() != before || replay_over()) draw_frame();
}

// The window shows a copy of the last frame drawn, when it can be seen.
static void show_export_frame(void)
{
    if (!has_blit) return;
    bind_framebuffer(GL_READ_FRAMEBUFFER_EXT, frame_buffer);
    bind_framebuffer(GL_DRAW_FRAMEBUFFER_EXT, 0);
    blit_framebuffer(0, 0, frame_width, frame_height, 0, 0, frame_width, frame_height,
                     GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glutSwapBuffers();
    bind_framebuffer(GL_FRAMEBUFFER_EXT, frame_buffer);
}

// Looks up the framebuffer calls; 1 when all are there.
static int find_framebuffer_calls(void)
{
    gen_framebuffers = (PFNGLGENFRAMEBUFFERSEXTPROC)glutGetProcAddress("glGenFramebuffersEXT");
    delete_framebuffers = (PFNGLDELETEFRAMEBUFFERSEXTPROC)glutGetProcAddress("glDeleteFramebuffersEXT");
    bind_framebuffer = (PFNGLBINDFRAMEBUFFEREXTPROC)glutGetProcAddress("glBindFramebufferEXT");
    gen_renderbuffers = (PFNGLGENRENDERBUFFERSEXTPROC)glutGetProcAddress("glGenRenderbuffersEXT");
    delete_renderbuffers = (PFNGLDELETERENDERBUFFERSEXTPROC)glutGetProcAddress("glDeleteRenderbuffersEXT");
    bind_renderbuffer = (PFNGLBINDRENDERBUFFEREXTPROC)glutGetProcAddress("glBindRenderbufferEXT");
    renderbuffer_storage = (PFNGLRENDERBUFFERSTORAGEEXTPROC)glutGetProcAddress("glRenderbufferStorageEXT");
    framebuffer_renderbuffer =
        (PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC)glutGetProcAddress("glFramebufferRenderbufferEXT");
    check_framebuffer_status =
        (PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC)glutGetProcAddress("glCheckFramebufferStatusEXT");
    blit_framebuffer = (PFNGLBLITFRAMEBUFFEREXTPROC)glutGetProcAddress("glBlitFramebufferEXT");
    return gen_framebuffers && delete_framebuffers && bind_framebuffer && gen_renderbuffers &&
           delete_renderbuffers && bind_renderbuffer && renderbuffer_storage &&
           framebuffer_renderbuffer && check_framebuffer_status;
}

void start_export_drawing(void)
{
    frame_width = view_width;           // the video's size during an export
    frame_height = view_height;
    if (has_extension("GL_EXT_framebuffer_object") && find_framebuffer_calls()) {
        gen_framebuffers(1, &frame_buffer);
        gen_renderbuffers(1, &frame_color);
        bind_renderbuffer(GL_RENDERBUFFER_EXT, frame_color);
        renderbuffer_storage(GL_RENDERBUFFER_EXT, GL_RGBA8, frame_width, frame_height);
        bind_framebuffer(GL_FRAMEBUFFER_EXT, frame_buffer);
        framebuffer_renderbuffer(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT,
                                 frame_color);
        if (check_framebuffer_status(GL_FRAMEBUFFER_EXT) != GL_FRAMEBUFFER_COMPLETE_EXT) {
            bind_framebuffer(GL_FRAMEBUFFER_EXT, 0);
            delete_framebuffers(1, &frame_buffer);
            delete_renderbuffers(1, &frame_color);
            frame_buffer = frame_color = 0;
        }
    }
    if (!frame_buffer) {
        printf("Export: this GL draws the video in the window; keep it uncovered\n");
        return;
    }
    has_blit = has_extension("GL_EXT_framebuffer_blit") && blit_framebuffer;
    glutIdleFunc(export_idle);
    glutDisplayFunc(show_export_frame);
}
