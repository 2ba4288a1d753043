// The keyboard and mouse callbacks: view and line groups, toggles, colour
// keys, the mode switch, full screen, quitting, the spacebar, name typing,
// and the mouse record.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

void key(unsigned char k) { on_keyboard(k, 0, 0); }
void special(int k) { on_special_key(k, 0, 0); }

// The view group as one array, in a fixed order.
struct Views {
    int plasma, depth, dye, velocity, pressure, divergence, curl;
};
Views views(void)
{
    return Views{plasma_shader,   density_depth,     dye_shader, velocity_shader,
                 pressure_shader, divergence_shader, curl_shader};
}

class Input : public ::testing::Test {
protected:
    void SetUp() override { start_program(40); }
};

// The same, in a fresh working directory (where "scores.txt" is saved) with
// an empty table.
class InputInTempDir : public Input {
protected:
    std::string dir;
    char cwd[4096];
    void SetUp() override
    {
        Input::SetUp();
        dir = make_temp_dir();
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        memset(high_scores, 0, sizeof high_scores);
    }
    void TearDown() override { EXPECT_EQ(chdir(cwd), 0); }
};

// ---------------------------------------------------------------------------
// View group and line group
// ---------------------------------------------------------------------------

TEST_F(Input, KeyOneCyclesTheDensityDepthThroughTenAndClearsTheOthers)
{
    ASSERT_EQ(plasma_shader, 1);
    for (int n = 1; n <= 10; n++) {
        dye_shader = 1;                     // any other view is switched off
        key('1');
        EXPECT_EQ(density_depth, n);
        EXPECT_EQ(dye_shader, 0);
        EXPECT_EQ(plasma_shader, 0);
    }
    key('1');
    EXPECT_EQ(density_depth, 0);
}

TEST_F(Input, EachViewKeyTogglesItsViewAlone)
{
    struct Case {
        unsigned char key;
        int Views::*member;
    };
    const Case cases[] = {{'0', &Views::plasma},   {'2', &Views::dye},
                          {'3', &Views::velocity}, {'4', &Views::pressure},
                          {'5', &Views::divergence}, {'6', &Views::curl}};
    for (const Case &c : cases) {
        plasma_shader = 0;
        density_depth = 3;
        key(c.key);
        Views on = views();
        EXPECT_EQ(on.*c.member, 1) << c.key;
        EXPECT_EQ(on.plasma + on.depth + on.dye + on.velocity + on.pressure + on.divergence +
                      on.curl,
                  1)
            << c.key;
        key(c.key);
        Views off = views();
        EXPECT_EQ(off.plasma + off.depth + off.dye + off.velocity + off.pressure +
                      off.divergence + off.curl,
                  0)
            << c.key;
    }
}

TEST_F(Input, PlasmaKeyFromAnUnusualValueGoesUp)
{
    plasma_shader = 5;
    key('0');
    EXPECT_EQ(plasma_shader, 6);
}

TEST_F(Input, LineKeysFormAGroupOfTwoAndTheGridStandsAlone)
{
    key('9');
    EXPECT_EQ(vorticity_lines, 1);
    key('8');
    EXPECT_EQ(velocity_lines, 1);
    EXPECT_EQ(vorticity_lines, 0);
    key('8');
    EXPECT_EQ(velocity_lines, 2);
    key('7');
    EXPECT_EQ(velocity_grid, 1);
    EXPECT_EQ(velocity_lines, 2);
    key('8');
    EXPECT_EQ(velocity_lines, 0);
    key('9');
    key('9');
    EXPECT_EQ(vorticity_lines, 0);
    key('7');
    EXPECT_EQ(velocity_grid, 0);
    EXPECT_EQ(plasma_shader, 1);            // the view group is not touched
}

// ---------------------------------------------------------------------------
// Toggles and other letters
// ---------------------------------------------------------------------------

TEST_F(Input, LetterTogglesWorkInBothCases)
{
    struct Case {
        unsigned char lower;
        int *flag;
    };
    const Case cases[] = {{'b', &buoyancy_on}, {'d', &mouse_probe},   {'e', &wireframe},
                          {'f', &show_text},   {'g', &gravity_on},    {'p', &particles_on},
                          {'s', &pressure_mode}, {'t', &show_trajectory}, {'v', &vorticity_on},
                          {'w', &wall_mode}};
    for (const Case &c : cases) {
        *c.flag = 7;                        // any non-zero value becomes 0
        key(c.lower);
        EXPECT_EQ(*c.flag, 0) << c.lower;
        key(c.lower);
        EXPECT_EQ(*c.flag, 1) << c.lower;
        key((unsigned char)(c.lower - 'a' + 'A'));
        EXPECT_EQ(*c.flag, 0) << c.lower;
    }
}

TEST_F(Input, UnboundKeysChangeNothing)
{
    const unsigned char keys[] = {'a', 'z', 'x', 'Z', '\t', 200, '-', 13, 8};
    Views before = views();
    int flags_before[] = {paused, wall_mode, show_text, particles_on, music_on, game_mode};
    float hue_before = dye_hue;
    for (unsigned char k : keys) key(k);
    Views after = views();
    EXPECT_EQ(memcmp(&before, &after, sizeof before), 0);
    int flags_after[] = {paused, wall_mode, show_text, particles_on, music_on, game_mode};
    EXPECT_EQ(memcmp(flags_before, flags_after, sizeof flags_before), 0);
    EXPECT_EQ(dye_hue, hue_before);
}

TEST_F(Input, KeyCClearsTheSimulationAndClosesAPlacement)
{
    int k = cell_index(5, 5);
    dens[k] = 3.0f;
    wall[k] = CELL_WALL;
    open_jet(5, 5);
    complete_jet(6, 5, 800.0f, Color{1, 1, 1, 1}, Particle{});
    spawn_particle(5, 5, 2, 100, 1, 1, 0);
    jet_mode = 1;
    key('C');
    EXPECT_EQ(dens[k], 0.0f);
    EXPECT_EQ(wall[k], 0);
    EXPECT_EQ(jet_table[0].density_amount, 0.0f);
    EXPECT_EQ(particle_ring[0].life, 0.0f);
    EXPECT_EQ(jet_mode, 0);
    EXPECT_EQ(jet_count, 1);                // indexes survive a clear
}

TEST_F(Input, KeyLRaisesTheLevelInAnyMode)
{
    game_mode = 0;
    int level = game.level;
    key('l');
    key('L');
    EXPECT_EQ(game.level, level + 2);
}

TEST_F(Input, KeyMTogglesTheMusic)
{
    key('m');
    EXPECT_EQ(music_on, 0);
    key('M');
    EXPECT_EQ(music_on, 1);
}

TEST_F(Input, KeyRDrawsBothPlasmaHuesInOrder)
{
    program_srand(5);
    float h1 = (float)(program_rand() % 360);
    float h2 = (float)(program_rand() % 360);
    program_srand(5);
    key('r');
    EXPECT_EQ(hue1, h1);
    EXPECT_EQ(hue2, h2);
    Color c1 = hsl_to_rgb(h1, 1.0f, 0.5f);
    EXPECT_EQ(hue1_color.g, c1.g);
    float saved[3] = {plasma_color1[0], plasma_color1[1], plasma_color1[2]};
    set_plasma_colors(c1, hsl_to_rgb(h2, 1.0f, 0.5f));
    EXPECT_EQ(plasma_color1[0], saved[0]);
    EXPECT_EQ(plasma_color1[1], saved[1]);
    EXPECT_EQ(plasma_color1[2], saved[2]);
}

TEST_F(Input, BracketsStepTheDyeHueWithoutWrapping)
{
    dye_hue = 359.0f;
    key('[');
    key('[');
    EXPECT_EQ(dye_hue, 361.0f);
    Color c = hsl_to_rgb(361.0f, 1.0f, 0.5f);
    EXPECT_EQ(dye_color.r, c.r);
    EXPECT_EQ(dye_color.g, c.g);
    dye_hue = 0.0f;
    key(']');
    EXPECT_EQ(dye_hue, -1.0f);
    EXPECT_EQ(dye_color.b, hsl_to_rgb(-1.0f, 1.0f, 0.5f).b);
}

// ---------------------------------------------------------------------------
// Arrows, F1, F2
// ---------------------------------------------------------------------------

TEST_F(Input, ArrowsStepThePlasmaHuesAndWrapAtBothEnds)
{
    hue1 = 0.0f;
    special(KEY_LEFT);
    EXPECT_EQ(hue1, 360.0f);
    special(KEY_RIGHT);
    EXPECT_EQ(hue1, 0.0f);
    special(KEY_RIGHT);
    EXPECT_EQ(hue1, 1.0f);
    EXPECT_EQ(hue1_color.g, hsl_to_rgb(1.0f, 1.0f, 0.5f).g);
    hue2 = 360.0f;
    special(KEY_UP);
    EXPECT_EQ(hue2, 0.0f);
    special(KEY_DOWN);
    EXPECT_EQ(hue2, 360.0f);
    special(KEY_DOWN);
    EXPECT_EQ(hue2, 359.0f);
    EXPECT_EQ(hue2_color.b, hsl_to_rgb(359.0f, 1.0f, 0.5f).b);
    Color c1 = hue1_color, c2 = hue2_color;
    float p2[3] = {plasma_color2[0], plasma_color2[1], plasma_color2[2]};
    set_plasma_colors(c1, c2);
    EXPECT_EQ(plasma_color2[0], p2[0]);
    EXPECT_EQ(plasma_color2[2], p2[2]);
    EXPECT_EQ(hue1, 1.0f);                  // the other hue is untouched
}

TEST_F(Input, F1IntoTheSolverModeEmptiesTheGridAndShowsDepthFive)
{
    int k = cell_index(10, 10);
    dens[k] = 9.0f;
    spawn_particle(10, 10, 2, 50, 1, 1, 0);
    open_jet(3, 3);
    jet_mode = 1;
    dye_shader = 1;
    special(KEY_F1);
    EXPECT_EQ(game_mode, 0);
    EXPECT_EQ(dens[k], 0.0f);
    EXPECT_EQ(particle_ring[0].life, 0.0f);
    EXPECT_EQ(jet_table[0].col, 0);
    EXPECT_EQ(jet_mode, 0);
    EXPECT_EQ(plasma_shader, 0);
    EXPECT_EQ(density_depth, 5);
}

TEST_F(Input, F1BackIntoTheGameShowsPlasmaAndEndsNameEntry)
{
    special(KEY_F1);
    game.playing = 1;
    name_entry = 1;
    score_saved = 1;
    curl_shader = 1;
    density_depth = 4;
    special(KEY_F1);
    EXPECT_EQ(game_mode, 1);
    EXPECT_EQ(plasma_shader, 1);
    EXPECT_EQ(curl_shader, 0);
    EXPECT_EQ(density_depth, 0);
    EXPECT_EQ(name_entry, 0);
    EXPECT_EQ(score_saved, 0);
    EXPECT_EQ(game.playing, 0);             // back at the title
}

TEST_F(Input, F2EntersAndLeavesFullScreen)
{
    stub_fullscreen_requests = stub_fullscreen_leaves = 0;
    is_fullscreen = 0;
    special(KEY_F2);
    EXPECT_EQ(stub_fullscreen_requests, 1);
    EXPECT_EQ(is_fullscreen, 1);
    win_width = 1024;
    win_height = 768;
    special(KEY_F2);
    EXPECT_EQ(stub_fullscreen_leaves, 1);
    EXPECT_EQ(is_fullscreen, 0);
    EXPECT_EQ(win_width, 800);
    EXPECT_EQ(win_height, 600);
}

// ---------------------------------------------------------------------------
// Spacebar and quitting
// ---------------------------------------------------------------------------

TEST_F(Input, SpaceStartsAGameOnlyWhenNoneIsRunning)
{
    score_saved = 1;
    key(' ');
    EXPECT_EQ(game.playing, 1);
    EXPECT_EQ(score_saved, 0);
    EXPECT_EQ(paused, 0);
    key(' ');                               // during a game it pauses
    EXPECT_EQ(paused, 1);
    key(' ');
    EXPECT_EQ(paused, 0);
}

TEST_F(Input, SpacePausesInTheSolverMode)
{
    game_mode = 0;
    key(' ');
    EXPECT_EQ(paused, 1);
    EXPECT_EQ(game.playing, 0);
    key(' ');
    EXPECT_EQ(paused, 0);
}

TEST(InputDeathTest, QuitKeysExitWithStatusOne)
{
    start_program(10);
    EXPECT_EXIT(key('q'), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(key('Q'), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(key(27), ::testing::ExitedWithCode(1), "");
    name_entry = 1;
    EXPECT_EXIT(key(27), ::testing::ExitedWithCode(1), "");
}

// ---------------------------------------------------------------------------
// Name typing
// ---------------------------------------------------------------------------

TEST_F(Input, NameTypingTakesQAndSpaceAndStopsAtTwenty)
{
    name_entry = 1;
    const char *typed = "q w";
    for (const char *c = typed; *c; c++) key((unsigned char)*c);
    EXPECT_STREQ(name_buffer, "q w");
    EXPECT_EQ(paused, 0);
    EXPECT_EQ(wall_mode, 0);                // w was typed, not bound
    for (int n = 0; n < 17; n++) key('x');
    EXPECT_EQ(name_length, 20);
    key('Y');                               // the 21st is dropped
    EXPECT_EQ(name_length, 20);
    EXPECT_EQ(name_buffer[20], 0);
    key(8);
    EXPECT_EQ(name_length, 19);
    EXPECT_EQ(name_buffer[19], 0);
    EXPECT_EQ(name_buffer[18], 'x');
}

TEST_F(Input, BackspaceAndDeleteOnAnEmptyNameLeaveItEmpty)
{
    name_entry = 1;
    key(8);
    key(127);
    EXPECT_EQ(name_length, 0);
    EXPECT_EQ(name_buffer[0], 0);
    key('A');
    key(127);
    EXPECT_EQ(name_length, 0);
    EXPECT_EQ(name_buffer[0], 0);
    key(9);                                 // not printable: ignored
    key(200);
    EXPECT_EQ(name_length, 0);
}

TEST_F(Input, SpecialKeysAndMouseStayActiveWhileTyping)
{
    name_entry = 1;
    hue1 = 10.0f;
    special(KEY_RIGHT);
    EXPECT_EQ(hue1, 11.0f);
    on_mouse(BUTTON_LEFT, MOUSE_PRESSED, 5, 6);
    EXPECT_EQ(mouse_down[BUTTON_LEFT], 1);
}

TEST_F(InputInTempDir, EnterSavesTheNameWithTheLevelAndEndsTyping)
{
    game.level = 5;
    name_entry = 1;
    key('A');
    key('n');
    key('n');
    key(13);
    EXPECT_EQ(name_entry, 0);
    EXPECT_EQ(score_saved, 1);
    EXPECT_EQ(name_length, 0);
    for (int n = 0; n < SCORE_NAME_LEN; n++) ASSERT_EQ(name_buffer[n], 0);
    EXPECT_STREQ(high_scores[0].name, "Ann");
    EXPECT_EQ(high_scores[0].level, 5);
    EXPECT_NE(read_file(dir + "/scores.txt").find("Ann = 5"), std::string::npos);
}

// Keys typed while a name entry was armed and then left with F1 belong to the
// solver mode, not to the next name: the new entry starts empty.
TEST_F(InputInTempDir, F1LeavesANameEntryAndTheNextOneStartsEmpty)
{
    game.max_lives = 0;
    key(' ');
    on_idle();                              // no life: game over, ranked first
    on_idle();                              // the entry is armed
    ASSERT_EQ(name_entry, 1);
    key('k');                               // a stray key before F1
    special(KEY_F1);
    EXPECT_EQ(name_entry, 0);
    int gravity = gravity_on;
    for (unsigned char c : std::string("xyzg")) key(c);
    EXPECT_EQ(gravity_on, !gravity);        // the solver's keys work again
    on_idle();
    EXPECT_EQ(name_entry, 0);               // never armed in the solver mode
    special(KEY_F1);
    key(' ');
    on_idle();
    on_idle();
    ASSERT_EQ(name_entry, 1);
    EXPECT_EQ(name_length, 0);
    for (unsigned char c : std::string("ACME")) key(c);
    key(13);
    std::string saved = read_file(dir + "/scores.txt");
    EXPECT_STREQ(high_scores[0].name, "ACME");
    EXPECT_EQ(saved.substr(0, saved.find('\n')), "ACME = 1");
}

// ---------------------------------------------------------------------------
// Help page, screenshots and the player away from the window
// ---------------------------------------------------------------------------

TEST_F(Input, HelpKeyTogglesThePageAndPausesOnlyARunningGame)
{
    key('h');
    EXPECT_EQ(help_shown, 1);
    EXPECT_EQ(paused, 0);                   // the title page runs on
    key('H');
    EXPECT_EQ(help_shown, 0);
    key(' ');
    ASSERT_EQ(game.playing, 1);
    key('h');
    EXPECT_EQ(paused, 1);                   // reading costs no life
    key('h');
    EXPECT_EQ(help_shown, 0);
    EXPECT_EQ(paused, 1);                   // closing leaves the pause
    key(' ');
    EXPECT_EQ(paused, 0);
}

TEST_F(Input, EscClosesTheHelpWithoutQuittingAndHIsALetterOfAName)
{
    key('h');
    key(27);                                // an exit would end this test
    EXPECT_EQ(help_shown, 0);
    key('h');
    name_entry = 1;
    key('h');
    EXPECT_STREQ(name_buffer, "h");
    EXPECT_EQ(help_shown, 1);
    key(27);
    EXPECT_EQ(help_shown, 0);
    EXPECT_EQ(name_entry, 1);
    EXPECT_STREQ(name_buffer, "h");
}

TEST_F(Input, HelpTurnsItsPagesBeforeClosing)
{
    help_page_count = 3;                    // as a small window lays it out
    key('h');
    key('h');
    key('h');
    EXPECT_EQ(help_page, 2);
    EXPECT_EQ(help_shown, 1);
    key('h');
    EXPECT_EQ(help_shown, 0);
    key('h');
    EXPECT_EQ(help_page, 0);
}

TEST_F(Input, F12AsksForAPictureAlsoWhileANameIsTyped)
{
    name_entry = 1;
    key('A');
    special(KEY_F12);
    EXPECT_EQ(screenshot_requested, 1);
    EXPECT_STREQ(name_buffer, "A");
}

TEST_F(Input, AGameInPlayPausesWhenThePlayerIsAwayOnlyWithAutoPause)
{
    key(' ');
    ASSERT_EQ(game.playing, 1);
    on_entry(0);
    on_window_status(0);
    EXPECT_EQ(paused, 0);                   // the key is off
    EXPECT_EQ(window_hidden, 1);
    on_window_status(1);

    params.auto_pause = 1;
    on_mouse(BUTTON_LEFT, MOUSE_PRESSED, 5, 5);
    on_entry(0);                            // dragged out: still steering
    EXPECT_EQ(paused, 0);
    on_mouse(BUTTON_LEFT, MOUSE_RELEASED, 900, 5);
    on_entry(0);
    EXPECT_EQ(paused, 1);
    on_entry(1);
    EXPECT_EQ(paused, 1);                   // space resumes, not the pointer
    key(' ');
    on_window_status(0);
    EXPECT_EQ(paused, 1);
    EXPECT_EQ(window_hidden, 1);
    on_window_status(1);
    EXPECT_EQ(window_hidden, 0);
    EXPECT_EQ(paused, 1);
}

TEST_F(Input, AwayFromTheTitlePageOrTheSolverModeNothingPauses)
{
    params.auto_pause = 1;
    on_entry(0);
    on_window_status(0);
    EXPECT_EQ(paused, 0);                   // no game runs on the title page
    key(' ');
    special(KEY_F1);                        // the game record stays "playing"
    on_entry(0);
    on_window_status(0);
    EXPECT_EQ(paused, 0);                   // the solver stops while hidden only
    EXPECT_EQ(window_hidden, 1);
}

// ---------------------------------------------------------------------------
// Mouse record
// ---------------------------------------------------------------------------

TEST_F(Input, PressAndReleaseSetBothPositionsAndTheButton)
{
    on_motion(10, 20);
    EXPECT_EQ(mouse_x, 10);
    EXPECT_EQ(prev_mouse_x, 0);             // motion leaves the previous position
    on_mouse(BUTTON_RIGHT, MOUSE_PRESSED, 30, 40);
    EXPECT_EQ(mouse_down[BUTTON_RIGHT], 1);
    EXPECT_EQ(prev_mouse_x, 30);
    EXPECT_EQ(prev_mouse_y, 40);
    on_mouse(BUTTON_MIDDLE, MOUSE_PRESSED, 31, 41);
    EXPECT_EQ(mouse_down[BUTTON_MIDDLE], 1);
    on_mouse(BUTTON_RIGHT, MOUSE_RELEASED, 50, 60);
    EXPECT_EQ(mouse_down[BUTTON_RIGHT], 0);
    EXPECT_EQ(mouse_down[BUTTON_MIDDLE], 1);
    EXPECT_EQ(mouse_y, 60);
    EXPECT_EQ(prev_mouse_y, 60);
}

TEST_F(Input, WheelButtonsOnlyMoveThePointer)
{
    on_mouse(3, MOUSE_PRESSED, 70, 80);
    on_mouse(4, MOUSE_PRESSED, 71, 81);
    on_mouse(-1, MOUSE_PRESSED, 72, 82);
    EXPECT_EQ(mouse_down[0] + mouse_down[1] + mouse_down[2], 0);
    EXPECT_EQ(mouse_x, 72);
    EXPECT_EQ(prev_mouse_y, 82);
}

} // namespace
