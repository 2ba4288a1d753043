// Vector overlays: where the lines go, the direction style's fixed length and
// its still cells, the vorticity lines, and the velocity grid's clamp.
#include "tests/render/render_fixture.h"

#include <algorithm>

namespace {

using namespace render_test;

using Overlays = RenderTest;

// Lines on a pixel boundary may land on either side of it: look at the
// 3 x 3 pixels around (x, y).
bool lit_near(const Picture &p, int x, int y) { return p.lit(x - 1, y - 1, x + 2, y + 2) > 0; }

// The channel-wise brightest of those 3 x 3 pixels.
Rgb max_near(const Picture &p, int x, int y)
{
    Rgb m{0, 0, 0};
    for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++) {
            Rgb c = p.at(x + dx, y + dy);
            m.r = std::max(m.r, c.r);
            m.g = std::max(m.g, c.g);
            m.b = std::max(m.b, c.b);
        }
    return m;
}

TEST_F(Overlays, StillFluidDrawsNoVelocityOrVorticityLines)
{
    fill_all(u, 0);
    fill_all(v, 0);
    fill_all(vort_force_u, 0);
    fill_all(vort_force_v, 0);
    for (int style = 1; style <= 2; style++) {
        velocity_lines = style;
        Picture p = draw_view(draw_velocity_lines);
        EXPECT_EQ(p.lit(0, 0, FIELD_PX, FIELD_PX), 0) << "style " << style;
    }
    Picture p = draw_view(draw_vorticity_lines);
    EXPECT_EQ(p.lit(0, 0, FIELD_PX, FIELD_PX), 0) << "vorticity";
}

TEST_F(Overlays, VelocityLinesRunFromTheCellCentreAlongTheVelocity)
{
    fill_all(u, 0);
    fill_all(v, 0);
    u[cell_index(3, 5)] = 0.25f;       // 50 pixels to the right
    v[cell_index(7, 2)] = 0.3f;        // 60 pixels up
    velocity_lines = 1;
    Picture p = draw_view(draw_velocity_lines);
    const int x0 = cell_px(3), y0 = cell_px(5);
    EXPECT_GT(max_near(p, x0 + 2, y0).g, 0.4f) << "green root";
    EXPECT_LT(max_near(p, x0 + 2, y0).b, 0.1f);
    EXPECT_GT(max_near(p, x0 + 47, y0).b, 0.4f) << "blue tip";
    EXPECT_LT(max_near(p, x0 + 47, y0).g, 0.1f);
    EXPECT_EQ(p.lit(x0 + 53, y0 - 2, x0 + 75, y0 + 3), 0) << "past the tip";
    EXPECT_EQ(p.lit(x0 - 20, y0 - 2, x0 - 1, y0 + 3), 0) << "behind the root";
    EXPECT_GT(p.lit(cell_px(7) - 1, cell_px(2) + 5, cell_px(7) + 2, cell_px(2) + 55), 40)
        << "vertical line";
    EXPECT_EQ(p.lit(cell_px(7) - 1, cell_px(2) + 63, cell_px(7) + 2, cell_px(2) + 90), 0);
    // Lines blend additively and end with blending off and width 1.
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    float width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 1.0f);
}

TEST_F(Overlays, DirectionStyleDrawsEveryLineOneTenthLong)
{
    fill_all(u, 0);
    fill_all(v, 0);
    u[cell_index(3, 3)] = 0.3f;        // to (X + 0.06, Y + 0.08): 12 and 16 pixels
    v[cell_index(3, 3)] = 0.4f;
    u[cell_index(7, 3)] = 3e-5f;       // the same direction, far shorter
    v[cell_index(7, 3)] = 4e-5f;
    u[cell_index(5, 8)] = -1e-30f;     // a length below single precision
    velocity_lines = 2;
    Picture p = draw_view(draw_velocity_lines);
    for (int cell : {3, 7}) {
        const int x0 = cell_px(cell), y0 = cell_px(3);
        EXPECT_TRUE(lit_near(p, x0 + 6, y0 + 8)) << "cell " << cell << " midway";
        EXPECT_GT(p.lit(x0 + 10, y0 + 13, x0 + 14, y0 + 17), 0) << "cell " << cell << " tip";
        EXPECT_EQ(p.lit(x0 + 14, y0 + 19, x0 + 30, y0 + 40), 0) << "cell " << cell << " past";
    }
    // Only the two lines: nothing at the still cells or the tiny one.
    EXPECT_EQ(p.lit(0, cell_px(5), FIELD_PX, FIELD_PX), 0);
}

TEST_F(Overlays, VorticityLinesFollowSevenTimesTheForce)
{
    fill_all(vort_force_u, 0);
    fill_all(vort_force_v, 0);
    vort_force_u[cell_index(3, 5)] = 0.01f;   // 0.07: 14 pixels right
    vort_force_v[cell_index(7, 5)] = -0.02f;  // 0.14: 28 pixels down
    Picture p = draw_view(draw_vorticity_lines);
    const int x0 = cell_px(3), y0 = cell_px(5);
    EXPECT_GT(max_near(p, x0 + 1, y0).r, 0.4f) << "red root";
    EXPECT_GT(p.lit(x0 + 10, y0 - 1, x0 + 14, y0 + 2), 0);
    EXPECT_EQ(p.lit(x0 + 16, y0 - 2, x0 + 40, y0 + 3), 0);
    EXPECT_GT(p.lit(cell_px(7) - 1, y0 - 26, cell_px(7) + 2, y0 - 2), 15) << "downward";
    EXPECT_EQ(p.lit(cell_px(7) - 1, y0 + 2, cell_px(7) + 2, y0 + 20), 0) << "not upward";
}

TEST_F(Overlays, VelocityGridIsTheLatticeInAStillFluid)
{
    fill_all(u, 0);
    fill_all(v, 0);
    Picture p = draw_view(draw_velocity_grid);
    // Sides run through the cell centres (pixel 10, 30, ...), not between.
    const int y = cell_px(5) + CELL_PX / 2;
    EXPECT_TRUE(lit_near(p, cell_px(4), y));
    EXPECT_TRUE(lit_near(p, cell_px(5), y));
    EXPECT_FALSE(lit_near(p, cell_px(5) + CELL_PX / 2, y));
    EXPECT_TRUE(lit_near(p, y, cell_px(5)));
    EXPECT_FALSE(lit_near(p, y, cell_px(5) + CELL_PX / 2));
}

TEST_F(Overlays, VelocityGridSidesMoveWithTheFlowAtMostOneTenth)
{
    fill_all(u, 0);
    fill_all(v, 0);
    u[cell_index(3, 7)] = 0.05f;       // vertical side at x 0.25 moves to 0.30
    v[cell_index(7, 3)] = -0.05f;      // horizontal side at y 0.25 moves to 0.20
    u[cell_index(5, 5)] = 0.37f;       // side at x 0.45 moves to 0.55, not 0.82
    v[cell_index(7, 8)] = -0.37f;      // side at y 0.75 moves to 0.65, not 0.38
    Picture p = draw_view(draw_velocity_grid);

    EXPECT_TRUE(lit_near(p, 60, 140)) << "moved right by u";
    EXPECT_FALSE(lit_near(p, 50, 140)) << "old place, right move";
    EXPECT_TRUE(lit_near(p, 140, 40)) << "moved down by v";
    EXPECT_FALSE(lit_near(p, 140, 50)) << "old place, down move";

    EXPECT_FALSE(lit_near(p, 90, 100)) << "old place, large u";
    EXPECT_EQ(p.lit(160, 95, 168, 105), 0) << "unclamped place, large u";
    EXPECT_FALSE(lit_near(p, 140, 150)) << "old place, large v";
    EXPECT_EQ(p.lit(135, 72, 145, 80), 0) << "unclamped place, large v";
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

}  // namespace
