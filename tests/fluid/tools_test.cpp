// The mouse tools: mapping the mouse to a cell, stirring, ink, walls, sinks
// and shockwaves, jet placement, and the player's paddle actions in the game.
// The mouse is driven through the input callbacks, as the window delivers it.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <climits>
#include <cstdlib>

namespace {

const int WIN_W = 800;
const int WIN_H = 600;

// Pixel at the middle of cell (i, j) in an 800 x 600 window over a 100 x 100 grid.
int px(int i) { return (i - 1) * 8 + 4; }
int py(int j) { return WIN_H - ((j - 1) * 6 + 3); }

void move_to_cell(int i, int j) { on_motion(px(i), py(j)); }
void press_at(int button, int i, int j) { on_mouse(button, MOUSE_PRESSED, px(i), py(j)); }
void release_at(int button, int i, int j) { on_mouse(button, MOUSE_RELEASED, px(i), py(j)); }

int walls_set(void)
{
    int n = 0;
    for (int k = 0; k < solver.cell_count; k++)
        if (wall[k] != 0) n++;
    return n;
}

int sources_written(const float *field)
{
    int n = 0;
    for (int k = 0; k < solver.cell_count; k++)
        if (field[k] != 0.0f) n++;
    return n;
}

class Tools : public ::testing::Test {
protected:
    void SetUp() override
    {
        start_program(100);
        win_width = WIN_W;
        win_height = WIN_H;
        game_mode = 0;
    }
};

// ---------------------------------------------------------------------------
// Mouse to cell
// ---------------------------------------------------------------------------

TEST_F(Tools, MouseMapsToCellsFromTheBottomLeft)
{
    int i = 0, j = 0;
    ASSERT_TRUE(mouse_to_cell(0, 599, &i, &j));
    EXPECT_EQ(i, 1);
    EXPECT_EQ(j, 1);
    mouse_to_cell(799, 1, &i, &j);
    EXPECT_EQ(i, 100);
    EXPECT_EQ(j, 100);
    mouse_to_cell(400, 300, &i, &j);
    EXPECT_EQ(i, 51);
    EXPECT_EQ(j, 51);
    mouse_to_cell(400, 0, &i, &j);
    EXPECT_EQ(j, 101);                      // the top pixel row is past the grid
    mouse_to_cell(-5, 605, &i, &j);         // truncation toward zero
    EXPECT_EQ(i, 0);
    EXPECT_EQ(j, 0);
    // 232 / 800 * 100 + 1 is 30 exactly; in double precision it falls just
    // short and truncates to 29 (likewise the row of pixel 426 of 600).
    mouse_to_cell(232, 426, &i, &j);
    EXPECT_EQ(i, 30);
    EXPECT_EQ(j, 30);
}

TEST_F(Tools, TopPixelRowDoesNothing)
{
    on_mouse(BUTTON_RIGHT, MOUSE_PRESSED, 400, 0);
    prev_mouse_x = 7;
    tool_pass();
    EXPECT_EQ(sources_written(dens_prev), 0);
    EXPECT_EQ(prev_mouse_x, 7);
}

TEST_F(Tools, WindowWithoutAreaMapsToNoCell)
{
    int i = -1, j = -1;
    win_width = 0;
    EXPECT_FALSE(mouse_to_cell(10, 10, &i, &j));
    win_width = WIN_W;
    win_height = 0;
    EXPECT_FALSE(mouse_to_cell(10, 10, &i, &j));
    press_at(BUTTON_RIGHT, 50, 50);
    prev_mouse_y = 3;
    tool_pass();
    EXPECT_EQ(sources_written(dens_prev), 0);
    EXPECT_EQ(prev_mouse_y, 3);
}

TEST_F(Tools, FarOffPixelsInATinyWindowStayOutside)
{
    win_width = 1;
    win_height = 1;
    mouse_down[BUTTON_LEFT] = mouse_down[BUTTON_RIGHT] = 1;
    wall_mode = 1;
    const int coords[][2] = {{INT_MAX, 0}, {INT_MIN, 0}, {0, INT_MAX}, {0, INT_MIN},
                             {INT_MAX, INT_MIN}};
    for (const auto &c : coords) {
        on_motion(c[0], c[1]);
        tool_pass();
    }
    EXPECT_EQ(walls_set(), 0);
}

// ---------------------------------------------------------------------------
// Stirring
// ---------------------------------------------------------------------------

TEST_F(Tools, DragBecomesTheVelocitySourceAndAPressDoesNot)
{
    on_motion(100, 100);
    tool_pass();
    on_mouse(BUTTON_LEFT, MOUSE_PRESSED, 400, 300);  // far from the last position
    tool_pass();
    int k = cell_index(51, 51);
    EXPECT_EQ(u_prev[k], 0.0f);
    EXPECT_EQ(v_prev[k], 0.0f);
    on_motion(412, 291);
    tool_pass();
    int k2 = cell_index(52, 52);
    EXPECT_EQ(u_prev[k2], 12.0f * 10.0f);
    EXPECT_EQ(v_prev[k2], 9.0f * 10.0f);  // y points up
    EXPECT_EQ(prev_mouse_x, 412);
    EXPECT_EQ(prev_mouse_y, 291);
    // Holding still writes a zero source each frame.
    u_prev[k2] = 5.0f;
    tool_pass();
    EXPECT_EQ(u_prev[k2], 0.0f);
}

TEST_F(Tools, ExcursionOutsideTheGridIsOneStirOnReturn)
{
    on_mouse(BUTTON_LEFT, MOUSE_PRESSED, 400, 300);
    tool_pass();
    on_motion(400, 0);          // above the grid
    tool_pass();
    on_motion(-40, 300);        // left of the window
    tool_pass();
    on_motion(900, 700);
    tool_pass();
    EXPECT_EQ(prev_mouse_x, 400);
    EXPECT_EQ(prev_mouse_y, 300);
    EXPECT_EQ(sources_written(u_prev), 0);
    on_motion(420, 310);
    tool_pass();
    int i, j;
    mouse_to_cell(420, 310, &i, &j);
    EXPECT_EQ(u_prev[cell_index(i, j)], 200.0f);
    EXPECT_EQ(v_prev[cell_index(i, j)], -100.0f);
}

// ---------------------------------------------------------------------------
// Ink, sinks and shockwaves
// ---------------------------------------------------------------------------

TEST_F(Tools, RightButtonInjectsInkInTheDyeColour)
{
    dye_color = Color{0.2f, 0.4f, 0.6f, 0.3f};
    press_at(BUTTON_RIGHT, 30, 70);
    tool_pass();
    int k = cell_index(30, 70);
    EXPECT_EQ(dens_prev[k], 200.0f);
    EXPECT_EQ(color_prev[k].r, 0.2f);
    EXPECT_EQ(color_prev[k].b, 0.6f);
    EXPECT_EQ(color_prev[k].a, 1.0f);
    EXPECT_EQ(sources_written(dens_prev), 1);
    EXPECT_EQ(sources_written(u_prev), 0);
}

TEST_F(Tools, PressureModeMakesSinksAndShockwaves)
{
    pressure_mode = 1;
    press_at(BUTTON_LEFT, 20, 20);
    tool_pass();
    EXPECT_EQ(pressure_source[cell_index(20, 20)], -10.0f);
    EXPECT_EQ(sources_written(u_prev), 0);
    release_at(BUTTON_LEFT, 20, 20);
    press_at(BUTTON_RIGHT, 40, 60);
    tool_pass();
    EXPECT_EQ(pressure_source[cell_index(40, 60)], 5.0f);
    EXPECT_EQ(sources_written(dens_prev), 0);
}

// ---------------------------------------------------------------------------
// Walls
// ---------------------------------------------------------------------------

TEST_F(Tools, WallSquareIsDrawnAndErasedAtTheLowerLeftCell)
{
    wall_mode = 1;
    press_at(BUTTON_LEFT, 10, 10);
    tool_pass();
    EXPECT_EQ(walls_set(), 9);
    for (int i = 10; i <= 12; i++)
        for (int j = 10; j <= 12; j++) EXPECT_EQ(wall[cell_index(i, j)], CELL_WALL);
    EXPECT_EQ(sources_written(u_prev), 0);  // no stirring in the wall mode
    release_at(BUTTON_LEFT, 10, 10);
    wall[cell_index(13, 10)] = CELL_WALL;
    press_at(BUTTON_RIGHT, 10, 10);
    tool_pass();
    EXPECT_EQ(walls_set(), 1);              // only the cell outside the square
    EXPECT_EQ(sources_written(dens_prev), 0);
}

TEST_F(Tools, WallSquareIsClippedAtEveryEdgeOfTheArrays)
{
    wall_mode = 1;
    mouse_down[BUTTON_LEFT] = 1;
    struct Case {
        int i, j, expected;
    };
    // Lower-left corner cell; square 3 x 3 clipped to the border ring (101).
    const Case cases[] = {{1, 1, 9}, {100, 50, 6}, {50, 100, 6}, {100, 100, 4}, {99, 99, 9}};
    for (const Case &c : cases) {
        clear_grid();
        move_to_cell(c.i, c.j);
        tool_pass();
        EXPECT_EQ(walls_set(), c.expected) << c.i << "," << c.j;
        for (int k = 0; k < solver.cell_count; k++) {
            if (!wall[k]) continue;
            int i = k % 102, j = k / 102;
            EXPECT_GE(i, c.i);
            EXPECT_GE(j, c.j);
        }
    }
}

TEST_F(Tools, HugeOrEmptyBrushStaysInsideTheArrays)
{
    wall_mode = 1;
    mouse_down[BUTTON_LEFT] = 1;
    params.block_size = INT_MAX;
    move_to_cell(1, 1);
    tool_pass();
    EXPECT_EQ(walls_set(), 101 * 101);      // everything but column 0 and row 0
    EXPECT_EQ(wall[cell_index(0, 5)], 0);
    EXPECT_EQ(wall[cell_index(101, 101)], CELL_WALL);
    clear_grid();
    params.block_size = 0;
    tool_pass();
    params.block_size = -4;
    tool_pass();
    EXPECT_EQ(walls_set(), 0);
}

// ---------------------------------------------------------------------------
// Jet placement
// ---------------------------------------------------------------------------

// Presses the middle button at (i0, j0), moves to (i1, j1), presses the left
// and/or right button there and releases the middle button.
void place_jet_with(int i0, int j0, int i1, int j1, int left, int right)
{
    press_at(BUTTON_MIDDLE, i0, j0);
    tool_pass();
    move_to_cell(i1, j1);
    tool_pass();
    if (left) press_at(BUTTON_LEFT, i1, j1);
    if (right) press_at(BUTTON_RIGHT, i1, j1);
    tool_pass();
    release_at(BUTTON_MIDDLE, i1, j1);
    tool_pass();
    if (left) release_at(BUTTON_LEFT, i1, j1);
    if (right) release_at(BUTTON_RIGHT, i1, j1);
}

TEST_F(Tools, MiddleButtonOpensAPlacementAtThePressedCell)
{
    press_at(BUTTON_MIDDLE, 20, 30);
    tool_pass();
    EXPECT_EQ(jet_mode, 1);
    EXPECT_EQ(jet_count, 0);
    EXPECT_EQ(jet_table[0].col, 20);
    EXPECT_EQ(jet_table[0].row, 30);
    move_to_cell(25, 30);                   // moving keeps the origin
    tool_pass();
    EXPECT_EQ(jet_table[0].col, 20);
}

TEST_F(Tools, ParticleJetWithTheLeftButton)
{
    place_jet_with(20, 30, 24, 33, 1, 0);
    EXPECT_EQ(jet_mode, 0);
    ASSERT_EQ(jet_count, 1);
    const Jet &jet = jet_table[0];
    EXPECT_EQ(jet.push_x, 4.0f);
    EXPECT_EQ(jet.push_y, 3.0f);
    EXPECT_EQ(jet.density_amount, 0.0f);
    EXPECT_EQ(jet.color.r + jet.color.g + jet.color.b + jet.color.a, 0.0f);
    const Particle &t = jet.particle_template;
    EXPECT_EQ(t.size, 4.0f);
    EXPECT_EQ(t.life, 1000.0f);
    EXPECT_EQ(t.flow_gain, 1.0f);
    EXPECT_EQ(t.flow_scale, 10.0f);
    EXPECT_EQ(t.style, 1);
    EXPECT_EQ(t.x, 20.0f);
    EXPECT_EQ(t.y, 30.0f);
}

TEST_F(Tools, DensityJetWithTheRightButton)
{
    program_srand(11);
    Color expected = random_hue_color();
    program_srand(11);
    place_jet_with(20, 30, 20, 25, 0, 1);
    ASSERT_EQ(jet_count, 1);
    const Jet &jet = jet_table[0];
    EXPECT_EQ(jet.density_amount, 800.0f);
    EXPECT_EQ(jet.color.r, expected.r);
    EXPECT_EQ(jet.color.g, expected.g);
    EXPECT_EQ(jet.color.b, expected.b);
    EXPECT_EQ(jet.particle_template.life, 0.0f);
    EXPECT_EQ(jet.push_x, 0.0f);
    EXPECT_EQ(jet.push_y, -5.0f);
}

TEST_F(Tools, JetWithBothButtonsAndWithNeither)
{
    place_jet_with(10, 10, 12, 10, 1, 1);
    place_jet_with(40, 40, 40, 45, 0, 0);
    ASSERT_EQ(jet_count, 2);
    EXPECT_EQ(jet_table[0].density_amount, 800.0f);
    EXPECT_EQ(jet_table[0].particle_template.life, 1000.0f);
    EXPECT_GT(jet_table[0].color.r + jet_table[0].color.g + jet_table[0].color.b, 0.0f);
    EXPECT_EQ(jet_table[1].density_amount, 0.0f);
    EXPECT_EQ(jet_table[1].particle_template.life, 0.0f);
    EXPECT_EQ(jet_table[1].color.g, 0.0f);
    EXPECT_EQ(jet_table[1].push_y, 5.0f);
}

TEST_F(Tools, ReleaseOutsideTheGridKeepsThePlacementOpen)
{
    press_at(BUTTON_MIDDLE, 50, 50);
    tool_pass();
    on_mouse(BUTTON_MIDDLE, MOUSE_RELEASED, 400, 0);   // the row above the grid
    tool_pass();
    tool_pass();
    EXPECT_EQ(jet_mode, 1);
    EXPECT_EQ(jet_count, 0);
    move_to_cell(60, 55);
    tool_pass();
    EXPECT_EQ(jet_mode, 0);
    EXPECT_EQ(jet_count, 1);
    EXPECT_EQ(jet_table[0].push_x, 10.0f);
    EXPECT_EQ(jet_table[0].push_y, 5.0f);
}

TEST_F(Tools, NoPlacementInWallPressureOrGameMode)
{
    int *modes[] = {&wall_mode, &pressure_mode, &game_mode};
    for (int *mode : modes) {
        *mode = 1;
        press_at(BUTTON_MIDDLE, 50, 50);
        tool_pass();
        EXPECT_EQ(jet_mode, 0);
        release_at(BUTTON_MIDDLE, 50, 50);
        tool_pass();
        *mode = 0;
    }
    EXPECT_EQ(jet_table[0].col, 0);
    // A placement open when the wall mode comes on stays open until it goes off.
    press_at(BUTTON_MIDDLE, 50, 50);
    tool_pass();
    wall_mode = 1;
    release_at(BUTTON_MIDDLE, 52, 50);
    tool_pass();
    EXPECT_EQ(jet_mode, 1);
    wall_mode = 0;
    tool_pass();
    EXPECT_EQ(jet_mode, 0);
    EXPECT_EQ(jet_table[0].push_x, 2.0f);
}

TEST_F(Tools, PlacementIntoATableWithoutSlotsWritesNothing)
{
    Params p = params;
    p.max_jets = 0;
    start_program_with(p);
    win_width = WIN_W;
    win_height = WIN_H;
    game_mode = 0;
    place_jet_with(20, 30, 24, 33, 1, 1);
    EXPECT_EQ(jet_count, 0);
    EXPECT_EQ(jet_mode, 0);
}

// ---------------------------------------------------------------------------
// The game mode: paddle actions instead of the tools while a game is on
// ---------------------------------------------------------------------------

TEST_F(Tools, SolverToolsAreOffInTheGameUntilGameOver)
{
    game_mode = 1;
    on_mouse(BUTTON_LEFT, MOUSE_PRESSED, 100, 300);
    on_motion(140, 300);
    tool_pass();
    int i, j;
    mouse_to_cell(140, 300, &i, &j);
    EXPECT_EQ(u_prev[cell_index(i, j)], 0.0f);
    game.game_over = 1;
    on_motion(180, 300);
    tool_pass();
    mouse_to_cell(180, 300, &i, &j);
    EXPECT_EQ(u_prev[cell_index(i, j)], 400.0f);
    wall_mode = 1;
    tool_pass();
    for (int a = i; a < i + 3; a++)
        for (int b = j; b < j + 3; b++) EXPECT_EQ(wall[cell_index(a, b)], CELL_WALL);
}

// The player's mouth cell: three columns in front of the paddle.
int mouth_index(void)
{
    EXPECT_GT(player_paddle.force, 0.0f);
    EXPECT_GT(player_paddle.suck, 0.0f);
    EXPECT_GT(player_paddle.blast, 0.0f);
    EXPECT_GT(player_paddle.dens_amount, 0.0f);
    int col = (int)player_paddle.x + player_paddle.width + 3;
    return cell_index(col, (int)player_paddle.y);
}

TEST_F(Tools, LeftButtonShootsAndRightButtonSucksInTheGame)
{
    game_mode = 1;
    int k = mouth_index();
    press_at(BUTTON_LEFT, 80, 80);
    tool_pass();
    EXPECT_EQ(u_prev[k], player_paddle.force);
    EXPECT_EQ(dens_prev[k], player_paddle.dens_amount);
    release_at(BUTTON_LEFT, 80, 80);
    press_at(BUTTON_RIGHT, 80, 80);
    tool_pass();
    EXPECT_EQ(pressure_source[k], -player_paddle.suck);
}

TEST_F(Tools, ServeCountdownBlocksShootingAndSucking)
{
    game_mode = 1;
    game.playing = 1;
    game.countdown = 1;
    int k = mouth_index();
    press_at(BUTTON_LEFT, 80, 80);
    press_at(BUTTON_RIGHT, 80, 80);
    tool_pass();
    EXPECT_EQ(u_prev[k], 0.0f);
    EXPECT_EQ(pressure_source[k], 0.0f);
    game.countdown = 0;
    tool_pass();
    EXPECT_EQ(u_prev[k], player_paddle.force);
    EXPECT_EQ(pressure_source[k], -player_paddle.suck);
}

TEST_F(Tools, ReleasingTheRightButtonBlastsAHeldBall)
{
    game_mode = 1;
    int k = mouth_index();
    move_to_cell(80, 80);
    player_paddle.held_frames = 1;          // one frame is not a hold yet
    tool_pass();
    EXPECT_EQ(pressure_source[k], 0.0f);
    player_paddle.held_frames = 2;
    game.game_over = 1;                     // no blast at game over
    tool_pass();
    EXPECT_EQ(pressure_source[k], 0.0f);
    game.game_over = 0;
    tool_pass();
    EXPECT_EQ(pressure_source[k], player_paddle.blast);
    EXPECT_EQ(player_paddle.held_frames, 0);
}

} // namespace
