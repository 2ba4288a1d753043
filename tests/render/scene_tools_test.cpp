// Walls and paddles, particles and the two tool cursors, read back from the
// window: where each lands, its colour and fade, and the GL state left behind.
#include "tests/render/render_fixture.h"

#include "game/game.h"

namespace {

using namespace render_test;

using SceneTools = RenderTest;

Picture draw_now(void (*what)(void))
{
    set_projection();
    what();
    return grab();
}

void draw_particles_default(void) { draw_particles(500.0f); }

// One particle alone in the ring, at (x, y) with the given look.
void only_particle(float x, float y, float vx, float vy, float size, float life, int style)
{
    clear_particles();
    Particle p = Particle{};
    p.x = x;
    p.y = y;
    p.vx = vx;
    p.vy = vy;
    p.size = size;
    p.life = life;
    p.style = style;
    particle_ring[0] = p;
}

// Smooth points come out of the software rasteriser with their alpha scaled
// by a coverage ramp (full strength over most of a large point), so the
// tests compare hues and totals rather than the blended value at one pixel.

TEST_F(SceneTools, WallIsAGlowingPointAtTheCellsUpperRightCorner)
{
    wall[cell_index(1, 1)] = CELL_WALL;
    Picture p = draw_now(draw_walls);
    // Centred on (cell_w, cell_h): pixel (20, 20), not the cell centre (10, 10).
    Rgb c = p.at(20, 20);
    EXPECT_GT(c.r, 0.3f);
    EXPECT_NEAR(c.g * 3.0f, c.r, 0.03f);    // the orange (0.6, 0.2, 0)
    EXPECT_EQ(c.b, 0.0f);
    EXPECT_GT(p.brightness(28, 20), 0.0f);
    EXPECT_EQ(p.brightness(6, 6), 0.0f);
    EXPECT_EQ(p.brightness(36, 36), 0.0f);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_POINT_SMOOTH));
    GLfloat size = 0;
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(size, 20.0f);
}

TEST_F(SceneTools, PaddleCellsGlowInTheirPaddlesColourAndOtherValuesAreInvisible)
{
    player_paddle.color = Color{1.0f, 0.0f, 0.5f, 1.0f};
    opponent_paddle.color = Color{0.0f, 1.0f, 0.0f, 1.0f};
    wall[cell_index(2, 2)] = CELL_PLAYER_PADDLE;
    wall[cell_index(6, 2)] = CELL_OPPONENT_PADDLE;
    wall[cell_index(4, 7)] = 4;
    wall[cell_index(7, 7)] = -1;
    Picture p = draw_now(draw_walls);
    Rgb player = p.at(40, 40);
    EXPECT_GT(player.r, 0.3f);
    EXPECT_EQ(player.g, 0.0f);
    EXPECT_NEAR(player.b * 2.0f, player.r, 0.03f);
    Rgb opponent = p.at(120, 40);
    EXPECT_GT(opponent.g, 0.3f);
    EXPECT_EQ(opponent.r + opponent.b, 0.0f);
    EXPECT_EQ(p.lit(60, 120, 180, 180), 0);
}

// Total blue of everything drawn (a still particle is blue only).
float total_blue(const Picture &p)
{
    float sum = 0;
    for (int y = 0; y < FIELD_PX; y++)
        for (int x = 0; x < FIELD_PX; x++) sum += p.at(x, y).b;
    return sum;
}

float point_with_life(float life)
{
    only_particle(5.5f, 5.5f, 0.0f, 0.0f, 6.0f, life, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    return total_blue(draw_now(draw_particles_default));
}

TEST_F(SceneTools, PointParticleFadesWithLifeAndClampsAtFull)
{
    float quarter = point_with_life(125.0f);
    float half = point_with_life(250.0f);
    float full = point_with_life(500.0f);
    EXPECT_GT(quarter, 0.0f);
    EXPECT_NEAR(quarter / half, 0.5f, 0.08f);
    EXPECT_GT(full, half);
    EXPECT_EQ(point_with_life(1000.0f), full);  // alpha 2 is clamped to 1
    EXPECT_EQ(point_with_life(-3.0f), full);    // no fade for a negative life
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_POINT_SMOOTH));
}

TEST_F(SceneTools, FreeSlotsAndUnknownStylesDrawNothing)
{
    only_particle(5.5f, 5.5f, 0.0f, 0.0f, 8.0f, 500.0f, 2);
    particle_ring[1] = particle_ring[0];
    particle_ring[1].x = particle_ring[1].y = 3.5f;
    particle_ring[1].style = 0;
    particle_ring[1].life = 0.0f;           // a free slot
    Picture p = draw_now(draw_particles_default);
    EXPECT_EQ(p.lit(0, 0, FIELD_PX, FIELD_PX), 0);
}

TEST_F(SceneTools, StreakLengthIsClampedAndItFadesToItsEnd)
{
    // Starts at pixel (60, 100); vx = 10 would reach 0.15 (30 px), clamped to 0.08 (16 px).
    only_particle(3.5f, 5.5f, 10.0f, 0.0f, 2.0f, 500.0f, 1);
    Picture p = draw_now(draw_particles_default);
    EXPECT_GT(p.lit(60, 98, 64, 102), 0);
    EXPECT_EQ(p.lit(80, 96, 100, 104), 0);
    float near_start = p.brightness(61, 100) + p.brightness(61, 99);
    float near_end = p.brightness(73, 100) + p.brightness(73, 99);
    EXPECT_GT(near_start, near_end);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
}

TEST_F(SceneTools, StreaksDimDuringAGameAndPointsDoNot)
{
    only_particle(3.5f, 5.5f, 0.0f, 4.0f, 3.0f, 500.0f, 1);    // up to y = 100 + 12
    Picture bright = draw_now(draw_particles_default);
    game.playing = 1;
    glClear(GL_COLOR_BUFFER_BIT);
    Picture dim = draw_now(draw_particles_default);
    float b0 = 0, b1 = 0;
    for (int y = 100; y < 104; y++)
        for (int x = 58; x < 63; x++) {
            b0 += bright.brightness(x, y);
            b1 += dim.brightness(x, y);
        }
    ASSERT_GT(b0, 0.0f);
    EXPECT_NEAR(b1 / b0, 0.15f, 0.05f);
    game.playing = 0;
    game.game_over = 1;
    only_particle(5.5f, 5.5f, 0.0f, 0.0f, 6.0f, 500.0f, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    Picture point = draw_now(draw_particles_default);
    expect_color(point.at(100, 100), 0.0f, 0.0f, 0.8f, "point during game over");
}

TEST_F(SceneTools, JetAimRunsFromTheJetCellInWhiteToTheMouseCell)
{
    open_jet(2, 2);
    Picture p = draw_now([] { draw_jet_aim(8, 2); });
    // From the centre of (2, 2), pixel (30, 30), to the centre of (8, 2), (150, 30).
    expect_color(p.at(31, 30), 1.0f, 1.0f, 1.0f, "jet end");
    Rgb end = p.at(149, 30);
    EXPECT_NEAR(end.r, 0.08f, 0.05f);
    EXPECT_NEAR(end.g, 0.8f, 0.05f);
    EXPECT_NEAR(end.b, 1.0f, 0.05f);
    EXPECT_EQ(p.lit(0, 50, FIELD_PX, FIELD_PX), 0);
    GLfloat width = 0;
    glGetFloatv(GL_LINE_WIDTH, &width);
    EXPECT_EQ(width, 3.0f);
}

TEST_F(SceneTools, JetAimWithoutATableDrawsNothing)
{
    Params p = params;
    p.max_jets = 0;
    start_program_with(p);
    Picture pic = draw_now([] { draw_jet_aim(8, 2); });
    EXPECT_EQ(pic.lit(0, 0, FIELD_PX, FIELD_PX), 0);
}

TEST_F(SceneTools, WallBrushCoversBlockSizeCellsFromTheMouseCellCentre)
{
    params.block_size = 3;
    Picture p = draw_now([] { draw_wall_brush(4, 4); });
    // From (70, 70) to (130, 130).
    expect_color(p.at(100, 100), 0.3f, 0.1f, 0.0f, "brush");
    expect_color(p.at(72, 128), 0.3f, 0.1f, 0.0f, "brush corner");
    EXPECT_EQ(p.brightness(66, 100), 0.0f);
    EXPECT_EQ(p.brightness(134, 100), 0.0f);
    EXPECT_EQ(p.brightness(100, 134), 0.0f);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    params.block_size = 0;
    glClear(GL_COLOR_BUFFER_BIT);
    p = draw_now([] { draw_wall_brush(4, 4); });
    EXPECT_EQ(p.lit(0, 0, FIELD_PX, FIELD_PX), 0);
}

} // namespace
