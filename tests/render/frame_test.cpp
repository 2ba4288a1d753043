// Whole frames: the status lines and hints, the mouse cell and the probe,
// text placement and colour, the view's projection, the wireframe switch;
// the help page and its hint over the frame.
#include "tests/render/render_fixture.h"

#include "game/game.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace render_test;

using DrawFrame = RenderTest;

// A frame in the full window, for the text checks.
class DrawFrameText : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        win_width = WINDOW_W;
        win_height = WINDOW_H;
        show_text = 1;
    }
    // Pixel box of a text position in view units, reaching `ascent` pixels
    // above the baseline and 3 below it.
    static int text_pixels(const Picture &p, float x, float y, int width, int ascent)
    {
        int px = (int)(x * WINDOW_W), py = (int)(y * WINDOW_H);
        return p.lit(px, py - 3, std::min(px + width, WINDOW_W), std::min(py + ascent, WINDOW_H));
    }
};

TEST_F(DrawFrame, StatusLinesNameTheDrawnViewAndOverlays)
{
    density_depth = 0;
    draw_frame();
    EXPECT_STREQ(status_line_1, "");
    EXPECT_STREQ(status_line_2, "");
    EXPECT_STREQ(status_line_3, "");
    EXPECT_EQ(grab().lit(0, 0, FIELD_PX, FIELD_PX), 0) << "no view: black";

    density_depth = 3;
    draw_frame();
    EXPECT_STREQ(status_line_1, "Density Shader - Depth: 3");

    density_depth = 0;
    velocity_shader = 1;
    draw_frame();
    EXPECT_STREQ(status_line_1, "Velocity Shader");
    velocity_shader = 0;

    // Several views on: all drawn in order, the last one named.
    dye_shader = 1;
    plasma_shader = 1;
    draw_frame();
    EXPECT_STREQ(status_line_1, "Plasma Shader");
    dye_shader = 0;
    curl_shader = 1;
    divergence_shader = 1;
    plasma_shader = 0;
    draw_frame();
    EXPECT_STREQ(status_line_1, "Curl Shader");

    velocity_lines = 2;
    draw_frame();
    EXPECT_STREQ(status_line_2, "Velocity Lines");
    vorticity_lines = 1;
    velocity_grid = 1;
    draw_frame();
    EXPECT_STREQ(status_line_2, "Vorticity Lines");
    EXPECT_STREQ(status_line_3, "Velocity Grid");

    // Switched off again, the names go with the next frame.
    velocity_lines = vorticity_lines = velocity_grid = 0;
    curl_shader = divergence_shader = 0;
    draw_frame();
    EXPECT_STREQ(status_line_1, "");
    EXPECT_STREQ(status_line_2, "");
    EXPECT_STREQ(status_line_3, "");
}

TEST_F(DrawFrame, PhysicsLineAndMouseModeHints)
{
    vorticity_on = 1;
    gravity_on = 0;
    buoyancy_on = 1;
    particles_on = 0;
    dye_hue = 120.5f;
    hue1 = 0;
    hue2 = 359.25f;
    draw_frame();
    EXPECT_STREQ(status_line_4,
                 "Vorticity = 1 | Gravity = 0 | Buoyancy = 1 | Particles = 0 | "
                 "Dye Hue = 120.500000 | Hue 1 = 0.000000 | Hue 2 = 359.250000");

    jet_mode = 1;
    draw_frame();
    EXPECT_STREQ(status_line_4, "Left click to set particle jet; Right click to set density jet");
    jet_mode = 0;
    wall_mode = 1;
    draw_frame();
    EXPECT_STREQ(status_line_4, "Wall Mode: Left click to set walls; Right click to clear walls");
    pressure_mode = 1;
    draw_frame();
    EXPECT_STREQ(status_line_4,
                 "Pressure Mode: Left click to create sinkholes; Right click to create shockwaves");
}

TEST_F(DrawFrame, GameModeStatusLinesReplaceEverythingElse)
{
    game_mode = 1;
    game.level = 4;
    game.lives = 7;
    velocity_shader = 1;
    velocity_lines = 1;
    velocity_grid = 1;
    wall_mode = 1;
    draw_frame();
    EXPECT_STREQ(status_line_1, "FLUXBALL v1.0");
    EXPECT_STREQ(status_line_2, "Level: 4");
    EXPECT_STREQ(status_line_3, "Lives: 7");
    EXPECT_STREQ(status_line_4, CREDIT_LINE);
    EXPECT_GT(strlen(CREDIT_LINE), 0u);
}

TEST_F(DrawFrame, PauseReplacesTheCentreTextInBothModes)
{
    draw_frame();
    EXPECT_STREQ(center_text, "");
    paused = 1;
    draw_frame();
    EXPECT_STREQ(center_text, "-PAUSED-");

    game_mode = 1;
    game.playing = 1;
    game.countdown = 2;
    draw_frame();
    EXPECT_STREQ(center_text, "-PAUSED-");
}

TEST_F(DrawFrame, MouseCellFollowsThePointerWithRowsFromTheBottom)
{
    mouse_x = 0;
    mouse_y = FIELD_PX - 1;
    draw_frame();
    EXPECT_EQ(mouse_cell_x, 1);
    EXPECT_EQ(mouse_cell_y, 1);

    mouse_x = FIELD_PX - 1;
    mouse_y = 0;                       // the top pixel row: the border row
    draw_frame();
    EXPECT_EQ(mouse_cell_x, GRID);
    EXPECT_EQ(mouse_cell_y, GRID + 1);

    mouse_x = 85;                      // 85 / 200 * 10 + 1 = 5.25
    mouse_y = 129;                     // 71 / 200 * 10 + 1 = 4.55
    draw_frame();
    EXPECT_EQ(mouse_cell_x, 5);
    EXPECT_EQ(mouse_cell_y, 4);
}

TEST_F(DrawFrame, ProbeShowsTheValuesOfTheCellUnderThePointer)
{
    mouse_probe = 1;
    const int k = cell_index(5, GRID + 1);
    color[k] = Color{0.25f, 0.5f, 0.75f, 1};
    dens[k] = 7.5f;
    u[k] = -0.125f;
    v[k] = 2.0f;
    curl[k] = -3.5f;
    mouse_x = 85;
    mouse_y = 0;
    draw_frame();
    EXPECT_STREQ(probe_line,
                 "R=0.250000, G=0.500000, B=0.750000, Dens=7.500000, U=-0.125000, "
                 "V=2.000000, Curl=-3.500000, X=5, Y=11");

    mouse_probe = 0;
    draw_frame();
    EXPECT_STREQ(probe_line, "");
}

// Outside the window (while a button is held) the probe reads the nearest
// cell of the arrays, border ring included, and names that cell.
TEST_F(DrawFrame, ProbeOutsideTheWindowReadsTheNearestArrayCell)
{
    mouse_probe = 1;
    dens[cell_index(0, 0)] = 1.5f;
    dens[cell_index(GRID + 1, GRID + 1)] = 2.5f;
    dens[cell_index(GRID + 1, 3)] = 3.5f;

    mouse_x = -500;
    mouse_y = 5000;
    draw_frame();
    EXPECT_EQ(mouse_cell_x, -24);
    EXPECT_EQ(mouse_cell_y, -239);
    EXPECT_NE(strstr(probe_line, "Dens=1.500000"), nullptr) << probe_line;
    EXPECT_NE(strstr(probe_line, "X=0, Y=0"), nullptr) << probe_line;

    mouse_x = 100000;
    mouse_y = -100000;
    draw_frame();
    EXPECT_NE(strstr(probe_line, "Dens=2.500000"), nullptr) << probe_line;
    EXPECT_NE(strstr(probe_line, "X=11, Y=11"), nullptr) << probe_line;

    mouse_x = INT_MAX;
    mouse_y = 150;                     // 50 / 200 * 10 + 1 = 3.5
    win_width = 1;
    draw_frame();
    EXPECT_GT(mouse_cell_x, GRID);
    EXPECT_NE(strstr(probe_line, "Dens=3.500000"), nullptr) << probe_line;
    EXPECT_NE(strstr(probe_line, "X=11, Y=3"), nullptr) << probe_line;
}

TEST_F(DrawFrame, WindowWithoutAreaKeepsTheLastMouseCell)
{
    mouse_probe = 1;
    mouse_x = 85;
    mouse_y = 129;
    draw_frame();
    ASSERT_EQ(mouse_cell_x, 5);
    ASSERT_EQ(mouse_cell_y, 4);
    win_width = 0;
    win_height = 0;
    mouse_x = 10;
    mouse_y = 10;
    draw_frame();
    EXPECT_EQ(mouse_cell_x, 5);
    EXPECT_EQ(mouse_cell_y, 4);
    EXPECT_NE(strstr(probe_line, "X=5, Y=4"), nullptr) << probe_line;
}

TEST_F(DrawFrame, OverlongProbeLineIsCutToTheBuffer)
{
    mouse_probe = 1;
    mouse_x = 85;
    mouse_y = 129;
    const int k = cell_index(5, 4);
    color[k] = Color{3e38f, -3e38f, 3e38f, 1};
    dens[k] = u[k] = v[k] = curl[k] = -3e38f;
    draw_frame();
    EXPECT_EQ(strlen(probe_line), (size_t)TEXT_LEN - 1);
    EXPECT_EQ(std::string(probe_line).rfind("R=300000000", 0), 0u) << probe_line;
}

TEST_F(DrawFrame, WireframeOutlinesTheQuadsFromTheNextFrameOn)
{
    velocity_shader = 1;
    fill_all(u, 0.05f);                // (0.5, 0.5, 0) everywhere
    // A point inside a quad, off its edges and its diagonal.
    const int x = cell_px(5) + 12, y = cell_px(5) + 3;
    draw_frame();
    expect_color(grab().at(x, y), 0.5f, 0.5f, 0, "filled");

    wireframe = 1;
    draw_frame();
    expect_color(grab().at(x, y), 0.5f, 0.5f, 0, "still filled in the switching frame");
    draw_frame();
    Picture p = grab();
    expect_color(p.at(x, y), 0, 0, 0, "outlined");
    EXPECT_GT(p.lit(cell_px(5) - 1, y - 1, cell_px(5) + 2, y + 2), 0) << "edge";

    wireframe = 0;
    draw_frame();
    draw_frame();
    expect_color(grab().at(x, y), 0.5f, 0.5f, 0, "filled again");
}

TEST_F(DrawFrame, OverlaysLieOverTheFieldView)
{
    pressure_shader = 1;
    fill_all(pressure, 0.0001f);       // (0, 0, 0.4)
    velocity_grid = 1;
    draw_frame();
    Picture p = grab();
    // The grid's horizontal sides are red and replace what lies under them.
    int x = cell_px(5) + CELL_PX / 2, best = 0;
    float red = 0, blue = 1;
    for (int y = cell_px(5) - 1; y <= cell_px(5) + 1; y++)
        if (p.at(x, y).r > red) {
            red = p.at(x, y).r;
            blue = p.at(x, y).b;
            best = y;
        }
    EXPECT_GT(red, 0.95f) << "row " << best;
    EXPECT_LT(blue, 0.05f) << "row " << best;
    expect_color(p.at(x, cell_px(5) + 5), 0, 0, 0.4f, "between the sides");
}

TEST_F(DrawFrame, VelocityGridLiesOverTheLineOverlays)
{
    fill_all(u, 0);
    fill_all(v, 0);
    fill_all(vort_force_u, 0);
    fill_all(vort_force_v, 0);
    // A vorticity line from the centre of cell (3, 3) up and right; it
    // crosses the grid's red side at row 70 near x = 57.
    vort_force_u[cell_index(3, 3)] = 0.1f / 7.0f;
    vort_force_v[cell_index(3, 3)] = 0.3f / 7.0f;
    vorticity_lines = 1;
    velocity_grid = 1;
    draw_frame();
    Picture p = grab();
    int grid_red = 0, mixed = 0;
    for (int y = 67; y <= 72; y++)
        for (int x = 52; x <= 62; x++) {
            Rgb c = p.at(x, y);
            if (c.r > 0.95f && c.g < 0.02f) grid_red++;
            if (c.r > 0.95f && c.g >= 0.02f) mixed++;
        }
    EXPECT_GT(grid_red, 5);
    EXPECT_EQ(mixed, 0) << "a line was drawn over the grid";
    // The line itself is there below and above the crossing.
    EXPECT_GT(p.lit(52, 55, 56, 65), 0);
    EXPECT_GT(p.lit(58, 75, 64, 90), 0);
}

TEST_F(DrawFrame, TiltedViewOnlyForTheDensityDepthView)
{
    float m[16];
    density_depth = 0;
    set_projection();
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_FLOAT_EQ(m[0], 2.0f);       // x: 0..1 onto -1..1
    EXPECT_FLOAT_EQ(m[5], 2.0f);
    EXPECT_FLOAT_EQ(m[9], 0.0f);       // z does not move y
    EXPECT_FLOAT_EQ(m[12], -1.0f);
    EXPECT_FLOAT_EQ(m[13], -1.0f);

    density_depth = 4;
    set_projection();
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    EXPECT_NEAR(m[0], 2.0f, 1e-5);
    EXPECT_NEAR(m[5], 2.0f, 1e-5);
    // A unit of z lifts a vertex by about 0.002 view units (0.004 in clip units).
    EXPECT_NEAR(m[9], 0.004f, 2e-4);
    EXPECT_NEAR(m[8], 0.0f, 1e-6);

    draw_frame();
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; i++) EXPECT_FLOAT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << i;
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], FIELD_PX);
    EXPECT_EQ(viewport[3], FIELD_PX);
}

TEST_F(DrawFrameText, TextLinesAppearInTheirPlaces)
{
    mouse_probe = 1;
    paused = 1;
    velocity_shader = 1;               // a still fluid: black, but named
    fps = 60;
    draw_frame();
    Picture p = grab();
    EXPECT_GT(text_pixels(p, 0.0f, 0.98f, 120, 12), 20) << "status line 1";
    EXPECT_GT(text_pixels(p, 0.01f, 0.01f, 300, 10), 50) << "status line 4";
    EXPECT_GT(text_pixels(p, 0.0f, 0.95f, 300, 10), 50) << "probe";
    EXPECT_GT(text_pixels(p, 0.46f, 0.6f, 80, 14), 50) << "-PAUSED-";
    EXPECT_GT(text_pixels(p, 0.85f, 0.98f, 60, 12), 20) << "FPS";
    // White: every lit pixel of the status line is grey.
    for (int y = 2; y < 16; y++)
        for (int x = 8; x < 300; x++) {
            Rgb c = p.at(x, y);
            ASSERT_NEAR(c.r, c.g, 0.01f) << x << "," << y;
            ASSERT_NEAR(c.g, c.b, 0.01f) << x << "," << y;
        }
    // Nothing where no text goes: the middle of status lines 2 and 3 (empty
    // in the solver mode without overlays).
    EXPECT_EQ(text_pixels(p, 0.31f, 0.98f, 200, 12), 0);
    EXPECT_EQ(text_pixels(p, 0.61f, 0.98f, 120, 12), 0);

    paused = 0;
    mouse_probe = 0;
    draw_frame();
    p = grab();
    EXPECT_EQ(text_pixels(p, 0.46f, 0.6f, 80, 14), 0) << "no -PAUSED-";
    EXPECT_EQ(text_pixels(p, 0.0f, 0.95f, 300, 8), 0) << "no probe";
}

TEST_F(DrawFrameText, NoTextAtAllWhenTextIsOff)
{
    show_text = 0;
    mouse_probe = 1;
    paused = 1;
    fps = 60;
    draw_frame();
    EXPECT_STREQ(center_text, "-PAUSED-");
    Picture p = grab();
    EXPECT_EQ(text_pixels(p, 0.0f, 0.95f, 800, 30), 0) << "top lines";
    EXPECT_EQ(text_pixels(p, 0.46f, 0.6f, 80, 14), 0) << "centre";
    EXPECT_EQ(text_pixels(p, 0.01f, 0.01f, 780, 10), 0) << "bottom line";
}

TEST_F(DrawFrameText, LevelUpBannerIsLargeAndGreen)
{
    game_mode = 1;
    game.playing = 1;
    game.countdown = -1;
    game.banner_frames = 10;
    game.banner_level_up = 1;
    draw_frame();
    ASSERT_STREQ(banner_text, "  LEVEL UP!");
    Picture p = grab();
    int px = (int)(0.44f * WINDOW_W), py = (int)(0.7f * WINDOW_H);
    int green = 0;
    for (int y = py - 3; y < py + 16; y++)
        for (int x = px; x < px + 140; x++) {
            Rgb c = p.at(x, y);
            if (c.g > 0.9f && c.r > 0.45f && c.r < 0.55f && c.b > 0.45f && c.b < 0.55f) green++;
        }
    // HELVETICA_18 capitals are about 13 pixels tall.
    EXPECT_GT(green, 100);
    EXPECT_GT(p.lit(px, py + 10, px + 140, py + 14), 0) << "taller than the small font";
}

TEST_F(DrawFrameText, DrawTextSetsTheColourBeforeThePosition)
{
    set_projection();
    glColor3f(0, 1, 0);
    draw_text("XXXX", small_font, 0.1f, 0.5f, 1, 0, 0);
    Picture p = grab();
    int red = 0, other = 0;
    for (int y = 290; y < 315; y++)
        for (int x = 70; x < 120; x++) {
            Rgb c = p.at(x, y);
            if (c.r > 0.9f && c.g < 0.1f && c.b < 0.1f) red++;
            else if (c.r + c.g + c.b > 0) other++;
        }
    EXPECT_GT(red, 20);
    EXPECT_EQ(other, 0);
}

TEST_F(DrawFrameText, FpsLineShowsTheFigureTruncated)
{
    set_projection();
    fps = 59.9f;
    draw_fps(0.1f, 0.5f, 1, 1, 1);
    Picture shown = grab();

    set_projection();
    draw_text("FPS: 59", small_font, 0.1f, 0.5f, 1, 1, 1);
    Picture expected = grab();
    set_projection();
    draw_text("FPS: 60", small_font, 0.1f, 0.5f, 1, 1, 1);
    Picture rounded = grab();

    ASSERT_GT(expected.lit(0, 0, WINDOW_W, WINDOW_H), 20);
    EXPECT_TRUE(shown.data == expected.data);
    EXPECT_FALSE(shown.data == rounded.data);
}

// ---------------------------------------------------------------------------
// Help page and hint
// ---------------------------------------------------------------------------

// Bright pixels (text; the panel's own colour is dark) in [x0, x1) x [y0, y1).
int bright(const Picture &p, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            if (p.brightness(x, y) > 1.2f) n++;
    return n;
}

// The page over a white view: one page of two columns in 800 x 600, on a
// panel dark enough to read white text on.
TEST_F(DrawFrameText, HelpPageIsOnePageOnADarkPanelAt800By600)
{
    EXPECT_EQ(help_pages(800, 600), 1);
    EXPECT_EQ(help_pages(1920, 1080), 1);
    set_projection();
    glColor3f(1, 1, 1);
    glRectf(0, 0, 1, 1);
    help_shown = 1;
    help_page_count = 0;
    draw_help_page();
    Picture p = grab();
    EXPECT_EQ(help_page_count, 1);
    for (int y = 12; y < WINDOW_H - 12; y += 7)
        ASSERT_LT(p.brightness(WINDOW_W - 12, y), 0.5f) << "panel at height " << y;
    EXPECT_GT(bright(p, 20, 20, 380, 580), 2000) << "left column";
    EXPECT_GT(bright(p, 420, 20, 780, 580), 1500) << "right column";
}

// The title page with every text it has, then a page over it.
Picture page_over_title(void (*page)(void), int white)
{
    game_mode = 1;
    show_text = 1;
    fps = 60;
    help_shown = options_shown = 0;
    draw_frame();
    if (white) {
        set_projection();
        glColor3f(1, 1, 1);
        glRectf(0, 0, 1, 1);
    } else {
        glViewport(0, 0, WINDOW_W, WINDOW_H);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    page();
    return grab();
}

// Nothing beneath a page shows through it or around it: drawn over the
// title page and over a white view, the window is the same as over black.
TEST_F(DrawFrameText, HelpAndOptionsPagesHideAllBeneathThem)
{
    memset(wall, 0, sizeof(int) * (size_t)solver.cell_count);   // no paddles
    void (*pages[])(void) = {draw_help_page, draw_options_page};
    for (int size = 0; size < 2; size++) {
        win_width = size ? 400 : WINDOW_W;
        win_height = size ? 300 : WINDOW_H;
        for (int k = 0; k < 2; k++) {
            // The title page's words where the page's own text is drawn.
            Picture over_title = page_over_title(pages[k], 0);
            glViewport(0, 0, WINDOW_W, WINDOW_H);
            glClear(GL_COLOR_BUFFER_BIT);
            pages[k]();
            Picture alone = grab();
            Picture over_white = page_over_title(pages[k], 1);
            for (int y = 0; y < win_height; y++)
                for (int x = 0; x < win_width; x++) {
                    Rgb a = alone.at(x, y), b = over_title.at(x, y), c = over_white.at(x, y);
                    ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b && a.r == c.r && a.g == c.g &&
                                a.b == c.b)
                        << (k ? "options" : "help") << " page shows what is beneath at " << x << ", "
                        << y << " in " << win_width << " x " << win_height;
                }
        }
    }
    game_mode = 0;
}

struct TextBox {
    int x0, y0, x1, y1;     // [x0, x1) x [y0, y1), pixels from the lower left
    std::string what;
};

// A line of the small font at baseline (x, y), chars characters long.
TextBox small_text_box(int x, int y, int chars, const std::string &what)
{
    return TextBox{x, y - 3, x + 8 * chars, y + 11, what};
}

// The options page's texts, each in the box the layout gives it: no two
// overlap, none leaves the window, and nothing lit lies outside them, on
// every page of the page at 800 x 600 and 400 x 300, with a notice long
// enough to take its two lines.
TEST_F(DrawFrameText, OptionsPageCoversNoTextOfItsOwn)
{
    snprintf(options_notice, sizeof options_notice,
             "The options could not be saved: No space left on device, twice over");
    for (int size = 0; size < 2; size++) {
        int w = size ? 400 : WINDOW_W, h = size ? 300 : WINDOW_H;
        win_width = w;
        win_height = h;
        OptionsLayout l;
        options_layout(w, h, &l);
        OptionPlace places[OPTION_PLACES];
        int n = options_flow(&l, places);
        int pages = options_pages(w, h);
        EXPECT_EQ(pages, size ? places[n - 1].page + 1 : 1);
        for (int page = 0; page < pages; page++) {
            options_selected = -1;
            for (int i = 0; i < n && options_selected < 0; i++)
                if (places[i].page == page && places[i].setting >= 0) options_selected = places[i].setting;
            ASSERT_GE(options_selected, 0);
            glViewport(0, 0, WINDOW_W, WINDOW_H);
            glClear(GL_COLOR_BUFFER_BIT);
            draw_options_page();
            Picture p = grab();
            EXPECT_EQ(options_page_count, pages);

            std::vector<TextBox> boxes;
            char title[TEXT_LEN];
            if (pages > 1)
                snprintf(title, sizeof title, "Fluxball: options (%d of %d)", page + 1, pages);
            else
                snprintf(title, sizeof title, "Fluxball: options");
            int title_w = glutBitmapLength(large_font, (const unsigned char *)title);
            boxes.push_back(TextBox{l.left, l.title_y - 5, l.left + title_w, l.title_y + 18, title});
            for (int i = 0; i < n; i++) {
                const OptionPlace &q = places[i];
                if (q.page != page) continue;
                if (q.setting < 0) {
                    boxes.push_back(small_text_box(q.x, q.y, (int)strlen(option_group_names[q.group]),
                                                   option_group_names[q.group]));
                    continue;
                }
                const OptionSetting &s = option_settings[q.setting];
                boxes.push_back(small_text_box(q.x, q.y, (int)strlen(s.words), s.words));
                char value[OPTION_VALUE_LEN];
                describe_option_value(q.setting, option_value(q.setting), value, sizeof value);
                boxes.push_back(small_text_box(q.x + OPTION_NAME_CHARS * 8, q.y, (int)strlen(value) + 4,
                                               std::string("value of ") + s.words));
            }
            const OptionSetting &s = option_settings[options_selected];
            char range[TEXT_LEN];
            describe_option_range(options_selected, range, sizeof range);
            const char *below[] = {s.about, range, option_when_words[s.apply], options_notice,
                                   options_notice};
            for (int b = 0; b < 5; b++) {
                int chars = std::min((int)strlen(below[b]), l.text_chars);
                boxes.push_back(small_text_box(l.left, l.bottom_y + (5 - b) * l.line_px, chars,
                                               std::string("below: ") + below[b]));
            }
            boxes.push_back(small_text_box(l.left, l.bottom_y, l.text_chars, "keys"));

            for (size_t a = 0; a < boxes.size(); a++) {
                const TextBox &A = boxes[a];
                EXPECT_TRUE(A.x0 >= 0 && A.y0 >= 0 && A.x1 <= w && A.y1 <= h)
                    << A.what << " leaves the " << w << " x " << h << " window";
                for (size_t b = a + 1; b < boxes.size(); b++) {
                    const TextBox &B = boxes[b];
                    int apart = A.x1 <= B.x0 || B.x1 <= A.x0 || A.y1 <= B.y0 || B.y1 <= A.y0;
                    EXPECT_TRUE(apart) << A.what << " and " << B.what << " overlap, page " << page
                                       << " of " << w << " x " << h;
                }
            }
            int stray = 0;
            for (int y = 0; y < WINDOW_H; y++)
                for (int x = 0; x < WINDOW_W; x++) {
                    if (p.brightness(x, y) <= 1.2f) continue;
                    int inside = 0;
                    for (const TextBox &B : boxes)
                        inside |= x >= B.x0 && x < B.x1 && y >= B.y0 && y < B.y1;
                    stray += !inside;
                }
            EXPECT_EQ(stray, 0) << "text outside its place, page " << page << " of " << w << " x " << h;
            EXPECT_GT(bright(p, 0, 0, w, h), 1000) << "page " << page;
        }
    }
    options_notice[0] = 0;
    options_selected = 0;
}

// A small window takes the page in parts, one column at a time; no line
// runs out of the window on any of them.
TEST_F(DrawFrameText, HelpPageTurnsPagesInASmallWindowAndStaysInside)
{
    const int w = 400, h = 300;
    win_width = w;
    win_height = h;
    int pages = help_pages(w, h);
    EXPECT_GT(pages, 2);
    help_shown = 1;
    for (help_page = 0; help_page < pages; help_page++) {
        glViewport(0, 0, WINDOW_W, WINDOW_H);
        glClear(GL_COLOR_BUFFER_BIT);
        draw_help_page();
        Picture p = grab();
        EXPECT_EQ(help_page_count, pages);
        EXPECT_GT(bright(p, 0, 0, w, h), 800) << "page " << help_page;
        EXPECT_EQ(p.lit(w, 0, WINDOW_W, WINDOW_H) + p.lit(0, h, w, WINDOW_H), 0)
            << "page " << help_page << " runs out of the window";
    }
    // A window too small for any line still draws a page, and no more.
    EXPECT_EQ(help_pages(1, 1), help_pages(1, 50));
    win_width = win_height = 1;
    help_page = 0;
    draw_help_page();
    help_shown = 0;
}

// The hint lies where the title page and the solver mode draw no text: the
// pixels it changes are black without it, in a big and a small window.
TEST_F(DrawFrameText, HelpHintCoversNoTextOfTheTitlePageOrTheSolverMode)
{
    memset(wall, 0, sizeof(int) * (size_t)solver.cell_count);   // no paddles
    fps = 60;
    for (int scene = 0; scene < 2; scene++) {
        game_mode = scene == 0;
        // The solver mode with every line of text it has.
        mouse_probe = wall_mode = velocity_lines = paused = scene == 1;
        for (int size = 0; size < 2; size++) {
            win_width = size ? 400 : WINDOW_W;
            win_height = size ? 300 : WINDOW_H;
            params.help_hint = 0;
            draw_frame();                   // the first frame sets GL state of its own
            draw_frame();
            Picture without = grab();
            params.help_hint = 1;
            draw_frame();
            Picture with = grab();
            int x0 = WINDOW_W, y0 = WINDOW_H, x1 = -1, y1 = -1;
            for (int y = 0; y < WINDOW_H; y++)
                for (int x = 0; x < WINDOW_W; x++) {
                    Rgb a = without.at(x, y), b = with.at(x, y);
                    if (a.r == b.r && a.g == b.g && a.b == b.b) continue;
                    x0 = std::min(x0, x);
                    y0 = std::min(y0, y);
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                }
            ASSERT_GE(x1, 0) << "no hint, scene " << scene << ", size " << size;
            EXPECT_LT(x1, win_width);
            EXPECT_EQ(without.lit(std::max(x0 - 2, 0), std::max(y0 - 2, 0), x1 + 3, y1 + 3), 0)
                << "scene " << scene << ", size " << size;
        }
    }
    params.help_hint = 0;
}

}  // namespace
