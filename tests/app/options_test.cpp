// The options page: its keys and clicks, when each class of setting takes
// effect, a grid there is no memory for, and saving each change into the
// parameter file it was read from (and what the page says when it cannot).
#include "tests/support/test_util.h"

#include "render/render.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void key(unsigned char k) { on_keyboard(k, 0, 0); }
void special(int k) { on_special_key(k, 0, 0); }

int setting(const char *name)
{
    for (int k = 0; k < OPTION_COUNT; k++)
        if (strcmp(option_settings[k].key, name) == 0) return k;
    ADD_FAILURE() << "no setting " << name;
    return 0;
}

// A program on a small grid in a fresh working directory whose params.txt
// it read at start-up.
class Options : public ::testing::Test {
protected:
    std::string dir;
    char cwd[4096];
    void SetUp() override
    {
        dir = make_temp_dir();
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        write_file("params.txt", "grid_res = 40   # small\nmax_lives = 4\n");
        capture_stdout([] { read_params("params.txt"); });
        Params p = params;
        start_program_with(p);
        snprintf(params_file_name, sizeof params_file_name, "params.txt");
    }
    void TearDown() override
    {
        EXPECT_EQ(chdir(cwd), 0);
        std::string cmd = "chmod -R u+w '" + dir + "'; rm -rf '" + dir + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    static void choose(const char *name)
    {
        options_selected = setting(name);
    }
};

// ---------------------------------------------------------------------------
// Keys and clicks
// ---------------------------------------------------------------------------

TEST_F(Options, OOpensAndClosesThePageAndPausesOnlyARunningGame)
{
    key('o');
    EXPECT_EQ(options_shown, 1);
    EXPECT_EQ(paused, 0);                   // the title page runs on
    key('O');
    EXPECT_EQ(options_shown, 0);
    key(' ');
    ASSERT_EQ(game.playing, 1);
    key('o');
    EXPECT_EQ(paused, 1);
    key(27);                                // closes; an exit would end this test
    EXPECT_EQ(options_shown, 0);
    EXPECT_EQ(paused, 1);                   // closing leaves the pause
    // One page at a time: each opens over the other by closing it.
    key('h');
    key('o');
    EXPECT_EQ(help_shown, 0);
    EXPECT_EQ(options_shown, 1);
    key('h');
    EXPECT_EQ(options_shown, 0);
    EXPECT_EQ(help_shown, 1);
}

TEST_F(Options, ThePageTakesArrowsAndDeleteOnlyWhileItShows)
{
    float hue = hue2;
    special(KEY_UP);                        // closed: the plasma hue's key
    EXPECT_NE(hue2, hue);
    key('o');
    hue = hue2;
    float hue_1 = hue1;
    special(KEY_DOWN);
    special(KEY_DOWN);
    EXPECT_EQ(options_selected, 2);
    special(KEY_UP);
    EXPECT_EQ(options_selected, 1);
    special(KEY_UP);
    special(KEY_UP);                        // wraps to the last line
    EXPECT_EQ(options_selected, OPTION_COUNT - 1);
    special(KEY_RIGHT);
    special(KEY_LEFT);
    EXPECT_EQ(hue2, hue);
    EXPECT_EQ(hue1, hue_1);
    // A name being typed: o is a letter while the page is closed, and the
    // page's keys are the page's while it is open.
    key('o');
    name_entry = 1;
    key('o');
    EXPECT_STREQ(name_buffer, "o");
    EXPECT_EQ(options_shown, 0);
    special(KEY_F1);                        // leaves the entry, into the solver mode
    name_entry = 1;
    key('A');
    options_shown = 1;
    choose("max_lives");
    key('o');
    EXPECT_EQ(options_shown, 0);
    options_shown = 1;
    key(8);                                 // Backspace: the default, not the letter
    EXPECT_STREQ(name_buffer, "A");
    EXPECT_EQ(params.max_lives, 10);
}

TEST_F(Options, StepsStayOnTheirGridAndInTheirRangeAndDeleteGivesTheDefault)
{
    key('o');
    choose("max_lives");
    special(KEY_RIGHT);
    EXPECT_EQ(params.max_lives, 5);
    special(KEY_PAGE_UP);
    EXPECT_EQ(params.max_lives, 15);
    for (int i = 0; i < 20; i++) special(KEY_PAGE_UP);
    EXPECT_EQ(params.max_lives, 99);
    key(127);
    EXPECT_EQ(params.max_lives, 10);
    choose("viscosity");
    for (int i = 0; i < 3; i++) special(KEY_RIGHT);
    EXPECT_EQ(params.viscosity, 0.0003f);
    special(KEY_PAGE_DOWN);
    EXPECT_EQ(params.viscosity, 0.0f);      // never below its range
    choose("auto_pause");
    special(KEY_RIGHT);
    EXPECT_EQ(params.auto_pause, 1);
    special(KEY_RIGHT);
    EXPECT_EQ(params.auto_pause, 1);
    special(KEY_LEFT);
    EXPECT_EQ(params.auto_pause, 0);
    // Values are written as a player writes them, and read back the same.
    char text[OPTION_VALUE_LEN];
    format_option_value(setting("paddle_force"), 60, text, sizeof text);
    EXPECT_STREQ(text, "60");
    format_option_value(setting("diffusion"), 0.00001, text, sizeof text);
    EXPECT_STREQ(text, "0.00001");
    format_option_value(setting("timestep"), 0.1f, text, sizeof text);
    EXPECT_STREQ(text, "0.1");
    format_option_value(setting("buoyancy_force"), -0.003, text, sizeof text);
    EXPECT_STREQ(text, "-0.003");
    format_option_value(setting("max_particles"), 100000, text, sizeof text);
    EXPECT_STREQ(text, "100000");
    // The file says what was last set, in the steps' own decimals.
    EXPECT_EQ(read_file("params.txt"),
              "grid_res = 40   # small\nmax_lives = 10\nviscosity = 0\nauto_pause = 0\n");
}

// Clicks: a press on a line chooses it; on the value's halves it steps; the
// press never reaches the tools, and a release lets go of a button held
// from before the page opened.
TEST_F(Options, ClicksChooseAndStepAndAreNotTheTools)
{
    win_width = 800;
    win_height = 600;
    OptionsLayout l;
    options_layout(800, 600, &l);
    OptionPlace places[OPTION_PLACES];
    int n = options_flow(&l, places);
    const OptionPlace *lives = nullptr;
    for (int i = 0; i < n; i++)
        if (places[i].setting == setting("max_lives")) lives = &places[i];
    ASSERT_NE(lives, nullptr);
    int y = 600 - lives->y - 3;             // window y from the top, on the text
    int value_x = lives->x + OPTION_NAME_CHARS * 8;

    on_mouse(BUTTON_RIGHT, MOUSE_PRESSED, 10, 10);
    key('o');
    on_mouse(BUTTON_LEFT, MOUSE_PRESSED, lives->x + 4, y);
    EXPECT_EQ(options_selected, setting("max_lives"));
    EXPECT_EQ(mouse_down[BUTTON_LEFT], 0);
    EXPECT_EQ(params.max_lives, 4);
    on_mouse(BUTTON_LEFT, MOUSE_RELEASED, lives->x + 4, y);
    on_mouse(BUTTON_LEFT, MOUSE_PRESSED, value_x + 8, y);
    EXPECT_EQ(params.max_lives, 3);
    on_mouse(BUTTON_LEFT, MOUSE_PRESSED, lives->x + l.column_px - 8, y);
    EXPECT_EQ(params.max_lives, 4);
    on_mouse(BUTTON_RIGHT, MOUSE_RELEASED, 10, 10);
    EXPECT_EQ(mouse_down[BUTTON_RIGHT], 0);
    // Between two lines' bands nothing is chosen twice: the line below.
    int below = 600 - (lives->y - l.line_px) - 3;
    on_mouse(BUTTON_LEFT, MOUSE_PRESSED, lives->x + 4, below);
    EXPECT_EQ(options_selected, setting("max_lives") + 1);
    EXPECT_EQ(option_at_pixel(800, 600, 0, 1, 1, &n), -1) << "the corner is no line";
}

// ---------------------------------------------------------------------------
// When each class of setting takes effect
// ---------------------------------------------------------------------------

TEST_F(Options, SolverForceAndToolSettingsReachTheNextStep)
{
    EXPECT_TRUE(options_set(setting("iterations"), 7));
    EXPECT_TRUE(options_set(setting("timestep"), 0.2));
    EXPECT_TRUE(options_set(setting("viscosity"), 0.002));
    EXPECT_TRUE(options_set(setting("gravity_force"), -0.05));
    EXPECT_TRUE(options_set(setting("jet_force"), 0.7));
    EXPECT_TRUE(options_set(setting("emitter_rate"), 0.3));
    EXPECT_TRUE(options_set(setting("paddle_blast"), 400));
    EXPECT_TRUE(options_set(setting("ball_top_speed"), 4));
    EXPECT_EQ(solver.iterations, 7);
    EXPECT_EQ(solver.timestep, 0.2f);
    EXPECT_EQ(solver.viscosity, 0.002f);
    EXPECT_EQ(solver.gravity_force, -0.05f);
    EXPECT_EQ(jet_settings.timestep, 0.2f);
    EXPECT_EQ(jet_settings.jet_force, 0.7f);
    EXPECT_EQ(jet_settings.emitter_rate, 0.3f);
    EXPECT_EQ(player_paddle.blast, 400.0f);
    EXPECT_EQ(opponent_paddle.blast, 400.0f);
    EXPECT_EQ(game.ball_top_speed, 4.0f);
    EXPECT_EQ(solver.grid_width, 40) << "the grid stays";
    // The stirring force is read by the tool itself: the next drag pushes more.
    EXPECT_TRUE(options_set(setting("velocity_force"), 30));
    stir_cell(5, 5, 2.0, 0.0);
    EXPECT_EQ(u_prev[cell_index(5, 5)], 60.0f);
}

TEST_F(Options, WindowSettingsTakeEffectAtOnce)
{
    EXPECT_TRUE(options_set(setting("frame_rate"), 50));
    EXPECT_EQ(frame_period_ns, 20000000LL);
    EXPECT_EQ(next_frame_ns, 0);
    EXPECT_TRUE(options_set(setting("frame_rate"), 0));
    EXPECT_EQ(frame_period_ns, 0);
    // Auto pause: a game in play pauses at the next time the pointer leaves.
    key(' ');
    ASSERT_EQ(game.playing, 1);
    on_entry(0);
    EXPECT_EQ(paused, 0);
    EXPECT_TRUE(options_set(setting("auto_pause"), 1));
    on_entry(0);
    EXPECT_EQ(paused, 1);
}

TEST_F(Options, LivesAtTheNextGameAndPaddleSizesAtTheNextServe)
{
    key(' ');
    ASSERT_EQ(game.lives, 4);
    EXPECT_TRUE(options_set(setting("max_lives"), 6));
    EXPECT_EQ(game.lives, 4) << "the game in play keeps its lives";
    EXPECT_TRUE(options_set(setting("paddle_width"), 5));
    EXPECT_TRUE(options_set(setting("paddle_height"), 9));
    EXPECT_EQ(player_paddle.width, 3) << "not before the next serve";
    EXPECT_EQ(opponent_paddle.height, 15);
    // The old stamp's columns go at the serve: none of the player's paddle
    // cells is left outside the new size.
    stamp_paddles();
    game_serve();
    EXPECT_EQ(player_paddle.width, 5);
    EXPECT_EQ(opponent_paddle.width, 5);
    EXPECT_EQ(player_paddle.height, 9);
    for (int k = 0; k < solver.cell_count; k++)
        ASSERT_NE(wall[k], CELL_PLAYER_PADDLE) << "an old stamp at cell " << k;
    game_start();
    EXPECT_EQ(game.lives, 6);
}

TEST_F(Options, NextStartSettingsOnlyGoIntoTheFile)
{
    EXPECT_TRUE(options_set(setting("fullscreen"), 1));
    EXPECT_TRUE(options_set(setting("record_replays"), 1));
    EXPECT_EQ(fullscreen, 0) << "no switch to full screen now";
    EXPECT_EQ(replay_mode, REPLAY_OFF) << "no recording now";
    std::string text = read_file("params.txt");
    EXPECT_NE(text.find("\nfullscreen = 1\n"), std::string::npos);
    EXPECT_NE(text.find("\nrecord_replays = 1\n"), std::string::npos);
}

TEST_F(Options, AGridResolutionIsMadeAnewClearedAndTheGameGoesToItsTitle)
{
    key(' ');
    ASSERT_EQ(game.playing, 1);
    dens[cell_index(3, 3)] = 5.0f;
    spawn_particle(3, 3, 1, 10, 0, 0, 0);
    ASSERT_NE(particle_ring[0].life, 0.0f);
    EXPECT_TRUE(options_set(setting("grid_res"), 60));
    EXPECT_EQ(solver.grid_width, 60);
    EXPECT_EQ(solver.grid_height, 60);
    EXPECT_EQ(solver.cell_count, 62 * 62);
    EXPECT_EQ(params.grid_rows, 60);
    EXPECT_EQ(grid_cols, 60);
    EXPECT_EQ(cell_w, 1.0f / 60);
    EXPECT_EQ(draw_shade_cells, 62 * 62) << "the drawing's shades follow the grid";
    EXPECT_EQ(game.court_width, 60);
    EXPECT_EQ(game.playing, 0);
    EXPECT_EQ(ball.x, 30.0f) << "served on the new court";
    for (int k = 0; k < solver.cell_count; k++) ASSERT_EQ(dens[k], 0.0f);
    EXPECT_EQ(particle_ring[0].life, 0.0f);
    // The new fields are used whole by a step and the game.
    for (int i = 0; i < 3; i++) on_idle();
    EXPECT_NE(read_file("params.txt").find("grid_res = 60   # small"), std::string::npos);
    // The particles: a new ring at once, empty.
    dens[cell_index(3, 3)] = 5.0f;
    EXPECT_TRUE(options_set(setting("max_particles"), 300));
    EXPECT_EQ(jet_settings.max_particles, 300);
    EXPECT_EQ(dens[cell_index(3, 3)], 5.0f) << "the fluid stays";
    // The same size again is no change: the fluid stays, nothing is saved.
    std::string saved = read_file("params.txt");
    EXPECT_TRUE(options_set(setting("grid_res"), 60));
    EXPECT_EQ(dens[cell_index(3, 3)], 5.0f);
    EXPECT_EQ(read_file("params.txt"), saved);
    for (int i = 0; i < 400; i++) spawn_particle(1, 1, 1, 10, 0, 0, 0);
    EXPECT_EQ(particle_next, 100);
    EXPECT_EQ(solver.grid_width, 60);
}

TEST_F(Options, AGridTooLargeForMemoryKeepsTheOldGrid)
{
    float *fields_before = dens;
    dens[cell_index(2, 2)] = 3.0f;
    // Far past any machine's memory, and past an int's count of cells.
    EXPECT_FALSE(options_set(setting("grid_res"), 3000000));
    EXPECT_FALSE(options_set(setting("grid_res"), 40000));
    EXPECT_EQ(dens, fields_before);
    EXPECT_EQ(dens[cell_index(2, 2)], 3.0f);
    EXPECT_EQ(solver.grid_width, 40);
    EXPECT_EQ(params.grid_cols, 40);
    EXPECT_EQ(params.grid_rows, 40);
    EXPECT_EQ(grid_cols, 40);
    EXPECT_NE(std::string(options_notice).find("the old one stays"), std::string::npos);
    EXPECT_EQ(read_file("params.txt"), "grid_res = 40   # small\nmax_lives = 4\n");
    on_idle();
    EXPECT_FALSE(remake_grid_storage(40, 40, 2000000000));
    EXPECT_EQ(jet_settings.max_particles, 1000);
    EXPECT_EQ(dens, fields_before);
}

// ---------------------------------------------------------------------------
// Saving
// ---------------------------------------------------------------------------

TEST_F(Options, AFailedSaveIsToldAndTheChangeStillApplies)
{
    ASSERT_EQ(chmod("params.txt", 0444), 0);
    EXPECT_TRUE(options_set(setting("max_lives"), 7));
    EXPECT_EQ(game.max_lives, 7);
    EXPECT_EQ(std::string(options_notice),
              std::string("The options could not be saved: ") + strerror(EACCES));
    EXPECT_EQ(read_file("params.txt"), "grid_res = 40   # small\nmax_lives = 4\n");
    // A later change that is saved takes the notice away.
    ASSERT_EQ(chmod("params.txt", 0644), 0);
    EXPECT_TRUE(options_set(setting("max_lives"), 8));
    EXPECT_STREQ(options_notice, "");
    EXPECT_EQ(read_file("params.txt"), "grid_res = 40   # small\nmax_lives = 8\n");
}

TEST_F(Options, WithoutAFileAtStartTheFirstChangeWritesOnlyTheChangedKeys)
{
    ASSERT_EQ(unlink("params.txt"), 0);
    capture_stdout([] { read_params("params.txt"); });
    start_program_with(params);
    snprintf(params_file_name, sizeof params_file_name, "params.txt");
    EXPECT_TRUE(options_set(setting("paddle_force"), 75));
    EXPECT_TRUE(options_set(setting("dissipation"), 0.004));
    EXPECT_EQ(read_file("params.txt"), "paddle_force = 75\ndissipation = 0.004\n");
}

}  // namespace
