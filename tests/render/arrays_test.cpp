// Vertex arrays against the plain calls: every field view, overlay, the
// walls, the particles and text drawn through the program's vertex arrays and
// through a glBegin/glEnd transcription (reference_draw.cpp) from the same
// state must give the same bytes under the software GL, at several grid
// sizes, in two view sizes, over a background that blending shows through,
// and for fields that are empty, busy, negative, huge and random. Each
// routine must also leave GL as the plain calls leave it.
#include "tests/render/render_fixture.h"
#include "tests/render/reference_draw.h"

#include "game/game.h"

#include <cstring>
#include <random>
#include <string>

namespace {

using namespace render_test;

using VertexArrays = RenderTest;

const float LIFE_SCALE = 500.0f;    // as the frame draws the particles
const int UNKNOWN_WALL_VALUE = 9;     // no wall kind: drawn as fluid

struct Drawing {
    const char *name;
    void (*program)(void);
    void (*reference)(void);
};

const Drawing DRAWINGS[] = {
    {"plasma", draw_plasma_shader, reference_draw::draw_plasma_shader},
    {"density depth", draw_density_depth, reference_draw::draw_density_depth},
    {"velocity", draw_velocity_shader, reference_draw::draw_velocity_shader},
    {"pressure", draw_pressure_shader, reference_draw::draw_pressure_shader},
    {"divergence", draw_divergence_shader, reference_draw::draw_divergence_shader},
    {"curl", draw_curl_shader, reference_draw::draw_curl_shader},
    {"dye", draw_dye_shader, reference_draw::draw_dye_shader},
    {"velocity lines", draw_velocity_lines, reference_draw::draw_velocity_lines},
    {"vorticity lines", draw_vorticity_lines, reference_draw::draw_vorticity_lines},
    {"velocity grid", draw_velocity_grid, reference_draw::draw_velocity_grid},
    {"walls", draw_walls, reference_draw::draw_walls},
    {"particles", [] { draw_particles(LIFE_SCALE); }, [] { reference_draw::draw_particles(LIFE_SCALE); }},
};
const int FIELD_VIEW_COUNT = 7;     // the first seven drawings are the quad views

enum { SCENE_EMPTY, SCENE_BUSY, SCENE_NEGATIVE, SCENE_HUGE, SCENE_RANDOM, SCENE_COUNT };
const char *const SCENE_NAMES[SCENE_COUNT] = {"empty", "busy", "negative", "huge", "random"};

float *const *float_fields(void)
{
    static float *fields[9];
    float *all[9] = {u, v, dens, pressure, divergence, curl, vort_force_u, vort_force_v, nullptr};
    memcpy(fields, all, sizeof all);
    return fields;
}

// A value of the scene for the cell at (i, j) of field f.
float scene_value(int scene, int f, int i, int j, std::mt19937 &rng)
{
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    // Sizes at which each field shows in its view: u, v, dens, pressure,
    // divergence, curl, vorticity force u, v.
    static const float SHOWN[8] = {0.05f, 0.05f, 3.0f, 2e-4f, 5e-5f, 1.0f, 0.02f, 0.02f};
    switch (scene) {
    case SCENE_BUSY:
        return SHOWN[f] * (1.5f + std::sin(0.37f * (float)i + (float)f) * std::cos(0.23f * (float)j));
    case SCENE_NEGATIVE:
        return -SHOWN[f] * (0.5f + 0.5f * std::fabs(unit(rng)));
    case SCENE_HUGE: {
        static const float HUGE_VALUES[] = {1e30f, -1e30f, 3e38f, -3e38f, 1e9f, -7e12f};
        return HUGE_VALUES[(i * 7 + j * 3 + f) % 6];
    }
    case SCENE_RANDOM: {
        // Mostly the sizes that show, now and then far beyond.
        float scale = SHOWN[f] * (rng() % 10 == 0 ? 1000.0f : 2.0f);
        return scale * unit(rng);
    }
    default:
        return 0.0f;
    }
}

// Fills every field, the colours, the walls, the particles and the game
// values the views read, for one scene.
void fill_scene(int scene, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    float *const *fields = float_fields();
    const int w = solver.grid_width, h = solver.grid_height;
    for (int f = 0; fields[f]; f++)
        for (int i = 0; i <= w + 1; i++)
            for (int j = 0; j <= h + 1; j++) fields[f][cell_index(i, j)] = scene_value(scene, f, i, j, rng);
    for (int i = 0; i <= w + 1; i++)
        for (int j = 0; j <= h + 1; j++) {
            int k = cell_index(i, j);
            if (scene == SCENE_EMPTY) {
                color[k] = Color{0, 0, 0, 0};
                wall[k] = CELL_FLUID;
                continue;
            }
            float sign = scene == SCENE_NEGATIVE ? -1.0f : 1.0f;
            float big = scene == SCENE_HUGE ? 1e20f : 1.0f;
            color[k] = Color{sign * big * unit(rng), sign * unit(rng), unit(rng), 1.0f};
            // A quarter of the cells are walls or paddles, but every third
            // row has none, and a few cells hold a value that is none of them.
            int r = (int)(rng() % 16);
            wall[k] = j % 3 == 2 ? CELL_FLUID : r < 4 ? r : r == 4 ? UNKNOWN_WALL_VALUE : CELL_FLUID;
        }
    for (int s = 0; s < jet_settings.max_particles; s++) {
        Particle &p = particle_ring[s];
        if (scene == SCENE_EMPTY) {
            p = Particle{};
            continue;
        }
        // Sizes repeat so that runs form, with refused sizes between them.
        static const float SIZES[] = {2.0f, 2.0f, 2.0f, 3.5f, 0.0f, -1.0f, 1.0f, 2.0f};
        float spread = scene == SCENE_HUGE ? 1e6f : 5.0f;
        p.x = (float)(w + 4) * unit(rng) - 2.0f;
        p.y = (float)(h + 4) * unit(rng) - 2.0f;
        p.vx = spread * (unit(rng) - 0.5f);
        p.vy = spread * (unit(rng) - 0.5f);
        p.life = 700.0f * unit(rng) - 50.0f;
        p.size = SIZES[(s / 5 + (int)(rng() % 2)) % 8];
        p.style = (s / 7) % 3 == 2 ? (int)(rng() % 3) : (s / 7) % 2;
    }
    game.level = scene == SCENE_RANDOM ? (int)(rng() % 12) : 3;
    game.playing = scene == SCENE_BUSY || scene == SCENE_RANDOM;
    game.game_over = scene == SCENE_NEGATIVE;
    player_paddle.held_frames = scene;
    opponent_paddle.held_frames = 2 * scene;
    player_paddle.color = Color{0.2f, 0.9f, 0.4f, 1.0f};
    opponent_paddle.color = Color{0.9f, 0.3f, 0.7f, 1.0f};
    plasma_color1[0] = 0.3f; plasma_color1[1] = 0.1f; plasma_color1[2] = 0.05f;
    plasma_color2[0] = 0.02f; plasma_color2[1] = 0.1f; plasma_color2[2] = 0.4f;
}

// What one drawing left: its pixels (the view's rectangle) and the GL state
// the next drawing meets.
struct Shot {
    std::vector<unsigned char> pixels;
    GLboolean blend, vertex_array, color_array;
    float line_width, point_size;
    GLenum error;
};

// A smooth background that additive and replacing blends both show on.
void draw_background(void)
{
    glDisable(GL_BLEND);
    glBegin(GL_QUADS);
    glColor3f(0.1f, 0.0f, 0.3f);
    glVertex2f(0, 0);
    glColor3f(0.5f, 0.2f, 0.0f);
    glVertex2f(1, 0);
    glColor3f(0.0f, 0.4f, 0.1f);
    glVertex2f(1, 1);
    glColor3f(0.3f, 0.3f, 0.3f);
    glVertex2f(0, 1);
    glEnd();
}

Shot shoot(void (*drawing)(void), int view_w, int view_h, int wire)
{
    // The sizes the previous frame left, the same for both ways.
    glLineWidth(1);
    glPointSize(1);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glViewport(0, 0, WINDOW_W, WINDOW_H);
    glClear(GL_COLOR_BUFFER_BIT);
    win_width = view_w;
    win_height = view_h;
    set_projection();
    draw_background();
    if (wire) glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    drawing();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glFinish();
    Shot s;
    // The software GL keeps its pixels in this order: read back as they are.
    s.pixels.assign((size_t)view_w * view_h * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_FRONT);
    glReadPixels(0, 0, view_w, view_h, GL_BGRA, GL_UNSIGNED_BYTE, s.pixels.data());
    s.blend = glIsEnabled(GL_BLEND);
    s.vertex_array = glIsEnabled(GL_VERTEX_ARRAY);
    s.color_array = glIsEnabled(GL_COLOR_ARRAY);
    glGetFloatv(GL_LINE_WIDTH, &s.line_width);
    glGetFloatv(GL_POINT_SIZE, &s.point_size);
    s.error = glGetError();
    return s;
}

// Bytes where two pictures differ.
size_t bytes_differing(const Shot &a, const Shot &b, size_t *first)
{
    size_t n = 0;
    for (size_t k = 0; k < a.pixels.size(); k++)
        if (a.pixels[k] != b.pixels[k] && n++ == 0) *first = k;
    return n;
}

// The plain calls are not quite reproducible themselves: GL keeps their
// vertices in a buffer of its own and draws it whenever it is full, and the
// one quad cut by that moment may be split into triangles along its other
// diagonal. Where it falls depends on every vertex sent before, so the same
// plain calls give different bytes after different drawings (on the
// software GL of Debian 12, a few quads of a 100 x 100 lattice). When the
// two ways differ, the plain calls draw again after a few more vertices,
// and only bytes where the two plain pictures agree must match.
const int HISTORY_SHIFT_VERTICES = 7;

void shift_plain_history(void)
{
    glBegin(GL_POINTS);
    for (int k = 0; k < HISTORY_SHIFT_VERTICES; k++) {
        glColor3f(0, 0, 0);
        glVertex2f(-2.0f, -2.0f);      // outside the view
    }
    glEnd();
}

// Both ways, compared; returns the plain calls' picture.
std::vector<unsigned char> compare(const Drawing &d, int view_w, int view_h, int wire,
                                   const std::string &where)
{
    Shot ref = shoot(d.reference, view_w, view_h, wire);
    Shot got = shoot(d.program, view_w, view_h, wire);
    const std::string what = std::string(d.name) + where;
    size_t first = 0;
    size_t differ = bytes_differing(ref, got, &first);
    if (differ > 0) {
        shift_plain_history();
        Shot again = shoot(d.reference, view_w, view_h, wire);
        size_t unstable = 0, stable_differ = 0;
        for (size_t k = 0; k < ref.pixels.size(); k++) {
            if (ref.pixels[k] != again.pixels[k]) {
                unstable++;
            } else if (ref.pixels[k] != got.pixels[k] && stable_differ++ == 0) {
                first = k;
            }
        }
        differ = stable_differ;
        // At most a few quads' worth of the picture may be unstable.
        EXPECT_LT(unstable, ref.pixels.size() / 100) << what;
    }
    EXPECT_EQ(differ, 0u) << what << ": first at pixel (" << first / 4 % view_w << ", "
                          << first / 4 / view_w << ") channel " << first % 4 << " (BGRA)";
    EXPECT_EQ(got.blend, ref.blend) << what;
    EXPECT_FALSE(got.vertex_array) << what;
    EXPECT_FALSE(got.color_array) << what;
    EXPECT_EQ(got.line_width, ref.line_width) << what;
    EXPECT_EQ(got.point_size, ref.point_size) << what;
    EXPECT_EQ(got.error, (GLenum)GL_NO_ERROR) << what;
    return ref.pixels;
}

// The view with nothing but the background.
Shot background_shot(int view_w, int view_h)
{
    return shoot([] {}, view_w, view_h, 0);
}

// The X server may still be mapping the window of the first test run and
// clear what is drawn meanwhile: wait until the picture holds.
void wait_until_the_picture_holds(void)
{
    for (int tries = 0; tries < 50 && background_shot(WINDOW_W, WINDOW_H).pixels !=
                                          background_shot(WINDOW_W, WINDOW_H).pixels;
         tries++) {
    }
}

// One GL context for all of it: the window of the fixture, its whole size
// and a smaller, odd one as the viewport.
TEST_F(VertexArrays, EveryDrawingGivesThePlainCallsPixelsByteForByte)
{
    wait_until_the_picture_holds();
    const int grids[] = {10, 37, 100};
    const int sizes[][2] = {{WINDOW_W, WINDOW_H}, {333, 211}};
    for (int grid : grids) {
        start_program(grid);
        load_render_settings();
        ASSERT_EQ(grid_cols, grid);
        ASSERT_TRUE(lattice_ready());
        for (int scene = 0; scene < SCENE_COUNT; scene++) {
            // The largest grid costs the most: the plain scenes run at the
            // smaller ones only.
            if (grid == 100 && scene != SCENE_BUSY && scene != SCENE_RANDOM) continue;
            fill_scene(scene, (unsigned)(grid * 31 + scene));
            // Each grid meets both sizes, the scenes taking turns.
            {
                const int *size = sizes[(scene + grid) % 2];
                // The comparison means something only where the scene shows.
                const int shows = scene == SCENE_BUSY || scene == SCENE_RANDOM;
                density_depth = 0;
                const Shot blank = shows ? background_shot(size[0], size[1]) : Shot{};
                for (int style = 1; style <= 2; style++) {
                    velocity_lines = style;
                    for (const Drawing &d : DRAWINGS) {
                        if (style == 2 && d.program != draw_velocity_lines) continue;
                        // The 3-D view is seen from its tilted eye, the others from above.
                        density_depth = d.program == draw_density_depth ? 1 + scene : 0;
                        std::string where = " at grid " + std::to_string(grid) + ", " +
                                            SCENE_NAMES[scene] + ", " + std::to_string(size[0]) +
                                            " x " + std::to_string(size[1]) + ", style " +
                                            std::to_string(style);
                        std::vector<unsigned char> drawn = compare(d, size[0], size[1], 0, where);
                        if (shows) {
                            EXPECT_NE(drawn, blank.pixels) << d.name << where << " draws nothing";
                        }
                    }
                }
                // Wireframe (key w) outlines the quads of the views.
                if (scene == SCENE_BUSY)
                    for (int v = 0; v < FIELD_VIEW_COUNT; v++) {
                        density_depth = DRAWINGS[v].program == draw_density_depth ? 1 + scene : 0;
                        compare(DRAWINGS[v], size[0], size[1], 1, " in wireframe");
                    }
            }
        }
    }
}

// The chunk is drawn whenever it is full: walls and a ring of particles
// larger than one chunk (the lattices of grid 100 already are) still give
// the same pixels, on a grid that is not square.
TEST_F(VertexArrays, DrawingsLargerThanOneChunkAreDrawnWhole)
{
    Params p;
    set_default_params(&p);
    p.grid_cols = 140;
    p.grid_rows = 120;
    p.max_particles = DRAW_CHUNK_VERTICES + 99;
    start_program_with(p);
    load_render_settings();
    fill_scene(SCENE_BUSY, 7);
    for (int k = 0; k < solver.cell_count; k++) wall[k] = CELL_WALL;
    ASSERT_GT((grid_cols + 1) * (grid_rows + 1), DRAW_CHUNK_VERTICES);
    for (int s = 0; s < jet_settings.max_particles; s++) {
        particle_ring[s].style = s < DRAW_CHUNK_VERTICES + 50 ? 0 : 1;
        particle_ring[s].size = 2.0f;
    }
    density_depth = 0;
    for (const Drawing &d : DRAWINGS)
        if (d.program == draw_walls || d.program == draw_plasma_shader || d.program == draw_velocity_grid ||
            d.program == DRAWINGS[11].program)
            compare(d, 333, 211, 0, " beyond a chunk");
    // A new grid from the options page: the lattice's fixed corners are made
    // anew for it, narrower and taller.
    ASSERT_TRUE(remake_grid_storage(90, 130, jet_settings.max_particles));
    ASSERT_TRUE(lattice_ready());
    fill_scene(SCENE_BUSY, 8);
    for (int v = 0; v < FIELD_VIEW_COUNT; v++)
        if (DRAWINGS[v].program != draw_density_depth)
            compare(DRAWINGS[v], WINDOW_W, WINDOW_H, 0, " on a grid made anew");
}

// Lines of text in both fonts, whole and cut by the edges of the view, at
// raster positions between pixels, with and without blending, one with
// characters past 127 and one with a line break.
template <void (*text)(const char *, void *, float, float, float, float, float)>
void draw_text_block(void)
{
    static const char *const LINES[] = {
        "FPS: 59", "Welcome to Fluxball! 0123456789 ~!@#$%^&*()_+{}|:<>?",
        "-Hold the right mouse button to suck the ball back into your paddle-",
        "caf\xe9 \xa9 \xff\xfe", "two\nlines", " ", ""};
    void *fonts[] = {small_font, large_font};
    int n = 0;
    for (int blend = 0; blend < 2; blend++) {
        if (blend) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        }
        for (void *font : fonts)
            for (const char *line : LINES) {
                float x = -0.05f + 0.137f * (float)(n % 9), y = 0.03f + 0.0331f * (float)n;
                text(line, font, x, y, 0.2f + 0.1f * (float)(n % 8), 1.0f, 0.5f);
                n++;
            }
    }
    glDisable(GL_BLEND);
}

// A line's characters drawn in one call give the pixels of one call each.
TEST_F(VertexArrays, TextGivesTheCharacterByCharacterPixels)
{
    wait_until_the_picture_holds();
    start_program(37);
    load_render_settings();
    ASSERT_TRUE(small_font && large_font);
    const Drawing text{"text", draw_text_block<draw_text>, draw_text_block<reference_draw::draw_text>};
    compare(text, WINDOW_W, WINDOW_H, 0, " in the whole window");
    compare(text, 333, 211, 0, " in a small view");
    EXPECT_NE(compare(text, WINDOW_W, WINDOW_H, 0, ""), background_shot(WINDOW_W, WINDOW_H).pixels)
        << "no text drawn";
}

}  // namespace
