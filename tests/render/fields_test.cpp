// Field views: colour maps read back at cell centres, the plasma view's
// halves, the 3-D density view's sheets, the lattice's reach, and the
// number of quads each view sends.
// The query calls of GL 1.5 and later are declared only on request.
#define GL_GLEXT_PROTOTYPES 1
#include "tests/render/render_fixture.h"

#include "game/game.h"

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

// Counted by the GL itself: every quad the view hands to the driver, drawn
// or not, is one primitive generated.
TEST_F(FieldViews, EveryViewSendsTheWholeLatticeEvenWhenEmpty)
{
    for (int k = 0; k < solver.cell_count; k++) {
        u[k] = v[k] = dens[k] = pressure[k] = divergence[k] = curl[k] = 0;
        color[k] = Color{0, 0, 0, 0};
    }
    density_depth = 5;
    const GLuint lattice = (GLuint)((grid_cols + 1) * (grid_rows + 1));
    GLuint query = 0;
    glGenQueries(1, &query);
    ASSERT_NE(query, 0u);
    for (const NamedView &view : ALL_VIEWS) {
        set_projection();
        glBeginQuery(GL_PRIMITIVES_GENERATED, query);
        view.draw();
        glEndQuery(GL_PRIMITIVES_GENERATED);
        GLuint quads = 0;
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &quads);
        const GLuint expected = view.draw == draw_density_depth ? 2 * lattice : lattice;
        EXPECT_EQ(quads, expected) << view.name;
    }
    glDeleteQueries(1, &query);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

}  // namespace
