// Field views: colour maps read back at cell centres, the plasma view's
// halves, the 3-D density view's sheets, and the lattice's reach.
#include "tests/render/render_fixture.h"

#include "game/game.h"

#include <cstdlib>

namespace {

using namespace render_test;

using FieldViews = RenderTest;

struct NamedView {
    const char *name;
    void (*draw)(void);
};

const NamedView ALL_VIEWS[] = {
    {"plasma", draw_plasma_shader},         {"density depth", draw_density_depth},
    {"velocity", draw_velocity_shader},     {"pressure", draw_pressure_shader},
    {"divergence", draw_divergence_shader}, {"curl", draw_curl_shader},
    {"dye", draw_dye_shader},
};

TEST_F(FieldViews, AllZeroGridIsBlackInEveryViewAndBlendingEndsOff)
{
    for (int k = 0; k < solver.cell_count; k++) {
        u[k] = v[k] = dens[k] = pressure[k] = divergence[k] = curl[k] = 0;
        color[k] = Color{0, 0, 0, 0};
    }
    density_depth = 5;
    for (const NamedView &view : ALL_VIEWS) {
        Picture p = draw_view(view.draw);
        EXPECT_EQ(p.lit(0, 0, WINDOW_W, WINDOW_H), 0) << view.name;
        EXPECT_FALSE(glIsEnabled(GL_BLEND)) << view.name;
    }
}

TEST_F(FieldViews, VelocityViewMapsBothComponents)
{
    fill_block(u, 3, 3, 0.05f);        // (0.5, 0.5, 0)
    fill_block(v, 7, 7, 0.05f);        // (0, 0, 0.5): red clamped from -0.5
    fill_block(u, 3, 7, -0.05f);       // all negative: black
    fill_block(u, 7, 3, 0.05f);
    fill_block(v, 7, 3, 0.05f);        // (0, 0.5, 0.5)
    Picture p = draw_view(draw_velocity_shader);
    expect_color(p.at(cell_px(3), cell_px(3)), 0.5f, 0.5f, 0, "u = 0.05");
    expect_color(p.at(cell_px(7), cell_px(7)), 0, 0, 0.5f, "v = 0.05");
    expect_color(p.at(cell_px(3), cell_px(7)), 0, 0, 0, "u = -0.05");
    expect_color(p.at(cell_px(7), cell_px(3)), 0, 0.5f, 0.5f, "u = v = 0.05");
    // Far from every block the fluid is still: black.
    expect_color(p.at(cell_px(5), cell_px(10)), 0, 0, 0, "still");
}

TEST_F(FieldViews, PressureDivergenceAndCurlColourMaps)
{
    fill_block(pressure, 3, 3, 0.0001f);
    fill_block(pressure, 7, 7, -0.0001f);
    Picture p = draw_view(draw_pressure_shader);
    expect_color(p.at(cell_px(3), cell_px(3)), 0, 0, 0.4f, "pressure 0.0001");
    expect_color(p.at(cell_px(7), cell_px(7)), 0.4f, 0.08f, 0, "pressure -0.0001");

    fill_block(divergence, 3, 3, 0.00004f);    // d = 0.6
    fill_block(divergence, 7, 7, -0.00004f);   // d = -0.6
    p = draw_view(draw_divergence_shader);
    expect_color(p.at(cell_px(3), cell_px(3)), 0.6f, 0, 0, "divergence +");
    expect_color(p.at(cell_px(7), cell_px(7)), 0, 0.2f, 0.3f, "divergence -");

    fill_block(curl, 3, 3, 1.0f);
    fill_block(curl, 7, 7, -1.0f);
    p = draw_view(draw_curl_shader);
    expect_color(p.at(cell_px(3), cell_px(3)), 0, 0.5f, 0.25f, "curl +");
    expect_color(p.at(cell_px(7), cell_px(7)), 0.5f, 0, 0, "curl -");
}

TEST_F(FieldViews, DyeViewScalesTheInkColourByTwiceTheDensity)
{
    fill_block(dens, 4, 4, 0.25f);
    for (int i = 3; i <= 5; i++)
        for (int j = 3; j <= 5; j++) color[cell_index(i, j)] = Color{1, 0.5f, 0.2f, 0};
    Picture p = draw_view(draw_dye_shader);
    // The ink's alpha is not used: the view draws at alpha 1.
    expect_color(p.at(cell_px(4), cell_px(4)), 0.5f, 0.25f, 0.1f, "dye");
}

// A single cell's colour reaches halfway to each neighbour's centre and
// fades there: the lattice joins cell centres.
TEST_F(FieldViews, ColoursBlendSmoothlyBetweenCellCentres)
{
    fill(curl, 5, 5, 5, 5, 2.0f);      // green 1 at the cell's centre only
    Picture p = draw_view(draw_curl_shader);
    float centre = p.at(cell_px(5), cell_px(5)).g;
    float halfway = p.at(cell_px(5) + CELL_PX / 2, cell_px(5)).g;
    float next = p.at(cell_px(6) + 1, cell_px(5)).g;
    EXPECT_GT(centre, 0.9f);
    EXPECT_NEAR(halfway, 0.5f, 0.06f);
    EXPECT_LT(next, 0.06f);
}

// The border ring is drawn too: half a cell of it shows at every edge.
TEST_F(FieldViews, BorderCellsShowAtTheEdgesOfTheWindow)
{
    fill(curl, 0, 0, 0, GRID + 1, 2.0f);              // left border column
    fill(curl, 0, GRID + 1, GRID + 1, GRID + 1, 2.0f); // top border row
    Picture p = draw_view(draw_curl_shader);
    EXPECT_GT(p.at(0, FIELD_PX / 2).g, 0.4f) << "left border";
    EXPECT_GT(p.at(FIELD_PX / 2, FIELD_PX - 1).g, 0.4f) << "top border";
    EXPECT_LT(p.at(FIELD_PX - 1, FIELD_PX / 2).g, 0.01f) << "right side untouched";
    EXPECT_LT(p.at(FIELD_PX / 2, 0).g, 0.01f) << "bottom untouched";
}

TEST_F(FieldViews, PlasmaClampsDensityAndAddsSpeed)
{
    game.level = 1;   // density scale 1.2, speed scale 0.3
    player_paddle.held_frames = opponent_paddle.held_frames = 0;
    fill_block(dens, 3, 3, 100.0f);      // D = 30, not 120
    for (int i = 2; i <= 4; i++)
        for (int j = 2; j <= 4; j++) color[cell_index(i, j)] = Color{0.01f, 0.02f, 0.03f, 1};
    fill_block(dens, 7, 7, 0.5f);        // D = 0.6
    for (int i = 6; i <= 8; i++)
        for (int j = 6; j <= 8; j++) color[cell_index(i, j)] = Color{1, 0.5f, 0.25f, 1};
    fill_block(u, 3, 7, -1.0f);          // U = 0.3
    fill_block(v, 7, 3, -1.0f);          // V = 0.3
    Picture p = draw_view(draw_plasma_shader);
    expect_color(p.at(cell_px(3), cell_px(3)), 0.3f, 0.6f, 0.9f, "dense");
    expect_color(p.at(cell_px(7), cell_px(7)), 0.6f, 0.3f, 0.15f, "thin ink");
    expect_color(p.at(cell_px(3), cell_px(7)), 0.3f, 0, 0, "horizontal speed");
    expect_color(p.at(cell_px(7), cell_px(3)), 0.015f, 0.3f, 0.3f, "vertical speed");

    game.level = 3;   // density scale 1.6, speed scale 0.5
    p = draw_view(draw_plasma_shader);
    expect_color(p.at(cell_px(7), cell_px(7)), 0.8f, 0.4f, 0.2f, "thin ink, level 3");
    expect_color(p.at(cell_px(3), cell_px(7)), 0.5f, 0, 0, "horizontal speed, level 3");
}

TEST_F(FieldViews, PlasmaPressureFactorFollowsTheQuadColumn)
{
    game.level = 1;
    fill_all(pressure, 0.1f);
    // Quad column 4 spans cell centres 4..5, column 5 spans 5..6; GRID / 2 = 5.
    const int player_quad_x = cell_px(4) + CELL_PX / 2;
    const int opponent_quad_x = cell_px(5) + CELL_PX / 2;
    const int y = cell_px(5);

    player_paddle.held_frames = opponent_paddle.held_frames = 0;
    Picture p = draw_view(draw_plasma_shader);
    expect_color(p.at(player_quad_x, y), 0, 0.2f, 0, "player half, A = 2");
    expect_color(p.at(opponent_quad_x, y), 0, 0.2f, 0, "opponent half, A = 2");

    player_paddle.held_frames = 1;     // A = 3
    opponent_paddle.held_frames = 3;   // A = -1: pressure shows blue instead
    p = draw_view(draw_plasma_shader);
    expect_color(p.at(player_quad_x, y), 0, 0.3f, 0, "player half, A = 3");
    expect_color(p.at(opponent_quad_x, y), 0, 0, 0.1f, "opponent half, A = -1");
    // The whole quad shares the factor, up to the cell centre of column 5.
    expect_color(p.at(cell_px(5) - 2, y), 0, 0.3f, 0, "left of column 5's centre");
    expect_color(p.at(cell_px(5) + 2, y), 0, 0, 0.1f, "right of column 5's centre");
}

TEST_F(FieldViews, DensityDepthHidesThinDensity)
{
    density_depth = 5;
    plasma_color1[0] = 0.05f; plasma_color1[1] = 0; plasma_color1[2] = 0;
    plasma_color2[0] = 0; plasma_color2[1] = 0; plasma_color2[2] = 0.05f;

    game.playing = 0;
    fill_all(dens, 2.0f);              // d = 1: alpha 0
    Picture p = draw_view(draw_density_depth);
    EXPECT_EQ(p.lit(0, 0, FIELD_PX, FIELD_PX), 0) << "density 2";

    fill_all(dens, 6.0f);              // d = 3: colour 0.15 at alpha 2/3, both sheets
    p = draw_view(draw_density_depth);
    expect_color(p.at(FIELD_PX / 2, FIELD_PX / 2), 0.1f, 0, 0.1f, "density 6");

    game.playing = 1;                  // d = 0.9 during play
    p = draw_view(draw_density_depth);
    EXPECT_EQ(p.lit(0, 0, FIELD_PX, FIELD_PX), 0) << "density 6 during play";

    fill_all(dens, 100.0f);            // d = 15 during play, clamped to 5: alpha 0.8
    p = draw_view(draw_density_depth);
    expect_color(p.at(FIELD_PX / 2, FIELD_PX / 2), 0.2f, 0, 0.2f, "density 100 during play");
}

// Mean height (pixel row) of one channel over the field square.
float channel_centroid_y(const Picture &p, int channel)
{
    double sum = 0, weight = 0;
    for (int y = 0; y < FIELD_PX; y++)
        for (int x = 0; x < FIELD_PX; x++) {
            Rgb c = p.at(x, y);
            float w = channel == 0 ? c.r : c.b;
            sum += w * y;
            weight += w;
        }
    return weight > 0 ? (float)(sum / weight) : -1.0f;
}

TEST_F(FieldViews, DensityDepthRaisesTheUpperSheetAndLowersTheLowerOne)
{
    plasma_color1[0] = 1; plasma_color1[1] = 0; plasma_color1[2] = 0;
    plasma_color2[0] = 0; plasma_color2[1] = 0; plasma_color2[2] = 1;
    fill(dens, 4, 4, 6, 6, 10.0f);     // d = 5 on a block centred on pixel row 90

    density_depth = 1;
    Picture low = draw_view(draw_density_depth);
    density_depth = 10;
    Picture high = draw_view(draw_density_depth);

    float red_low = channel_centroid_y(low, 0), blue_low = channel_centroid_y(low, 2);
    float red_high = channel_centroid_y(high, 0), blue_high = channel_centroid_y(high, 2);
    ASSERT_GT(red_low, 0);
    ASSERT_GT(blue_low, 0);
    // At depth 10 the ridge height is 50: about 0.1 of the view, 20 pixels.
    EXPECT_GT(red_high - red_low, 8.0f);
    EXPECT_GT(blue_low - blue_high, 8.0f);
    // Same ridge, mirrored: the two sheets sit symmetrically about the block.
    EXPECT_NEAR((red_high + blue_high) / 2, (red_low + blue_low) / 2, 2.0f);
    // Horizontally nothing moves.
    EXPECT_GT(high.at(cell_px(5), cell_px(5) + CELL_PX).r, 0.5f);
    EXPECT_EQ(high.at(cell_px(8) + 5, cell_px(5)).r, 0.0f);
}

// The views leave out quads too faint to change a pixel; the picture must be
// the same as with every quad drawn. The references below draw them all, at
// the lattice's corners (X, Y), (X + cell_w, Y), (X + cell_w, Y + cell_h),
// (X, Y + cell_h).
void lattice_corner(int i, int j, int n, float *x, float *y)
{
    float x0 = ((float)i - 0.5f) * cell_w, y0 = ((float)j - 0.5f) * cell_h;
    *x = n == 1 || n == 2 ? x0 + cell_w : x0;
    *y = n >= 2 ? y0 + cell_h : y0;
}

void draw_every_curl_quad(void)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBegin(GL_QUADS);
    for (int i = 0; i <= GRID; i++)
        for (int j = 0; j <= GRID; j++) {
            const int ci[4] = {i, i + 1, i + 1, i}, cj[4] = {j, j, j + 1, j + 1};
            for (int n = 0; n < 4; n++) {
                float c = curl[cell_index(ci[n], cj[n])];
                float x, y;
                lattice_corner(i, j, n, &x, &y);
                glColor3f(-c / 2.0f, c / 2.0f, c / 4.0f);
                glVertex2f(x, y);
            }
        }
    glEnd();
    glDisable(GL_BLEND);
}

void draw_every_depth_quad(void)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glBegin(GL_QUADS);
    for (int i = 0; i <= GRID; i++)
        for (int j = 0; j <= GRID; j++) {
            const int ci[4] = {i, i + 1, i + 1, i}, cj[4] = {j, j, j + 1, j + 1};
            for (int sheet = 0; sheet < 2; sheet++) {
                const float *hue = sheet == 0 ? plasma_color1 : plasma_color2;
                const float side = sheet == 0 ? 1.0f : -1.0f;
                for (int n = 0; n < 4; n++) {
                    float d = 0.5f * dens[cell_index(ci[n], cj[n])];
                    if (d > 5) d = 5;
                    float alpha = d == 0 ? 0.0f : 1.0f - 1.0f / d;
                    float x, y;
                    lattice_corner(i, j, n, &x, &y);
                    glColor4f(d * hue[0], d * hue[1], d * hue[2], alpha);
                    glVertex3f(x, y, side * (float)density_depth * d);
                }
            }
        }
    glEnd();
    glDisable(GL_BLEND);
}

TEST_F(FieldViews, LeavingOutFaintQuadsKeepsThePictureTheSame)
{
    // Values around the size of half a pixel step, and a few bright ones.
    program_srand(7);
    const float step = 1.0f / 255.0f;
    for (int k = 0; k < solver.cell_count; k++) {
        float r = (float)(program_rand() % 2001 - 1000) / 1000.0f;   // -1 .. 1
        curl[k] = r * 3.0f * step;
        if (program_rand() % 10 == 0) curl[k] *= 100.0f;
    }
    Picture faint_left_out = draw_view(draw_curl_shader);
    Picture all_drawn = draw_view(draw_every_curl_quad);
    ASSERT_GT(all_drawn.lit(0, 0, FIELD_PX, FIELD_PX), 1000);
    EXPECT_TRUE(faint_left_out.data == all_drawn.data) << "curl view";

    density_depth = 3;
    plasma_color1[0] = 0.004f; plasma_color1[1] = 0.0015f; plasma_color1[2] = 0.5f;
    plasma_color2[0] = 0.001f; plasma_color2[1] = 0.3f; plasma_color2[2] = 0.0005f;
    for (int k = 0; k < solver.cell_count; k++) {
        // Around d = 1, where the alpha rises from 0.
        dens[k] = 2.0f + (float)(program_rand() % 2001 - 1000) / 1000.0f * 0.02f;
        if (program_rand() % 10 == 0) dens[k] = (float)(program_rand() % 12);
    }
    faint_left_out = draw_view(draw_density_depth);
    all_drawn = draw_view(draw_every_depth_quad);
    ASSERT_GT(all_drawn.lit(0, 0, FIELD_PX, FIELD_PX), 1000);
    EXPECT_TRUE(faint_left_out.data == all_drawn.data) << "3-D density view";
}

}  // namespace
