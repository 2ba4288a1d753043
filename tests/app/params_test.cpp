// Reading "params.txt": matching, values, console echo and hostile files.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads text as a parameter file from a fresh directory and returns the
// console output; the directory becomes the working directory meanwhile.
struct ParamFile : ::testing::Test {
    std::string dir, saved_cwd;
    void SetUp() override
    {
        char buf[4096];
        saved_cwd = getcwd(buf, sizeof buf);
        dir = make_temp_dir();
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir(saved_cwd.c_str()), 0);
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::string read(const std::string &text)
    {
        write_file("params.txt", text);
        return capture_stdout([] { read_params("params.txt"); });
    }
};

TEST_F(ParamFile, MissingFileKeepsDefaultsAndSaysSo)
{
    std::string out = capture_stdout([] { read_params("params.txt"); });
    EXPECT_EQ(out.find("Error: Could not open parameter file.  Using default parameters.\n"), 0u);
    EXPECT_EQ(params.grid_cols, 100);
    EXPECT_EQ(params.grid_rows, 100);
    EXPECT_EQ(params.win_width, 800);
    EXPECT_EQ(params.win_height, 600);
    EXPECT_EQ(params.max_particles, 1000);
    EXPECT_EQ(params.max_jets, 20);
    EXPECT_STREQ(params.full_res, "1024x768:32");
    EXPECT_FLOAT_EQ(params.buoyancy_force, -0.001f);
    EXPECT_EQ(params.frame_rate, 0);
    EXPECT_EQ(params.help_hint, 0);
    EXPECT_EQ(params.auto_pause, 0);
    EXPECT_EQ(params.fullscreen_window, 0);
}

TEST_F(ParamFile, DirectoryCountsAsMissing)
{
    ASSERT_EQ(mkdir("params.txt", 0755), 0);
    std::string out = capture_stdout([] { read_params("params.txt"); });
    EXPECT_NE(out.find("Could not open parameter file"), std::string::npos);
    EXPECT_EQ(params.grid_cols, 100);
}

TEST_F(ParamFile, EmptyFilePrintsOnlyTheHeading)
{
    std::string out = read("");
    EXPECT_EQ(out.substr(0, 13), "Properties: \n");
    EXPECT_EQ(out.find(" = "), std::string::npos);
    EXPECT_EQ(params.iterations, 20);
}

TEST_F(ParamFile, EveryKeyIsReadWithItsType)
{
    read("fullscreen = 1\nfull_res = 1280x1024:32\ngrid_res = 64\nwin_width = 640\n"
         "win_height = 480\niterations = 7\ntimestep = 0.05\ndiffusion = 0.5\nviscosity = 0.25\n"
         "dissipation = 0.125\nturbulance = 2\nvelocity_force = 3\ndensity_source = 4\n"
         "gravity_force = 5\nbuoyancy_force = -6\njet_force = 7\nemitter_rate = 8\nmax_jets = 9\n"
         "max_particles = 10\nblock_size = 11\nmax_lives = 12\npaddle_width = 13\n"
         "paddle_height = 14\npaddle_force = 15\npaddle_suck = 16\npaddle_blast = 17\n"
         "ball_top_speed = 18\nball_accel = 19\nframe_rate = 20\nhelp_hint = 21\n"
         "auto_pause = 22\nfullscreen_window = 23\n");
    EXPECT_EQ(params.fullscreen, 1);
    EXPECT_STREQ(params.full_res, "1280x1024:32");
    EXPECT_EQ(params.grid_cols, 64);
    EXPECT_EQ(params.grid_rows, 64);
    EXPECT_EQ(params.win_width, 640);
    EXPECT_EQ(params.win_height, 480);
    EXPECT_EQ(params.iterations, 7);
    EXPECT_FLOAT_EQ(params.timestep, 0.05f);
    EXPECT_FLOAT_EQ(params.diffusion, 0.5f);
    EXPECT_FLOAT_EQ(params.viscosity, 0.25f);
    EXPECT_FLOAT_EQ(params.dissipation, 0.125f);
    EXPECT_FLOAT_EQ(params.turbulance, 2);
    EXPECT_FLOAT_EQ(params.velocity_force, 3);
    EXPECT_FLOAT_EQ(params.density_source, 4);
    EXPECT_FLOAT_EQ(params.gravity_force, 5);
    EXPECT_FLOAT_EQ(params.buoyancy_force, -6);
    EXPECT_FLOAT_EQ(params.jet_force, 7);
    EXPECT_FLOAT_EQ(params.emitter_rate, 8);
    EXPECT_EQ(params.max_jets, 9);
    EXPECT_EQ(params.max_particles, 10);
    EXPECT_EQ(params.block_size, 11);
    EXPECT_EQ(params.max_lives, 12);
    EXPECT_EQ(params.paddle_width, 13);
    EXPECT_EQ(params.paddle_height, 14);
    EXPECT_FLOAT_EQ(params.paddle_force, 15);
    EXPECT_FLOAT_EQ(params.paddle_suck, 16);
    EXPECT_FLOAT_EQ(params.paddle_blast, 17);
    EXPECT_FLOAT_EQ(params.ball_top_speed, 18);
    EXPECT_FLOAT_EQ(params.ball_accel, 19);
    EXPECT_EQ(params.frame_rate, 20);
    EXPECT_EQ(params.help_hint, 21);
    EXPECT_EQ(params.auto_pause, 22);
    EXPECT_EQ(params.fullscreen_window, 23);
}

TEST_F(ParamFile, EchoAndUnknownKeys)
{
    std::string out = read("grid_res = 64\nbogus = 3\n\n# remark\n");
    EXPECT_EQ(out.find("Properties: \ngrid_res = 64\nError - cannot parse: bogus = 3\n"), 0u);
    EXPECT_EQ(out.find("remark"), std::string::npos);
}

TEST_F(ParamFile, KeyMatchesAsSubstringInTableOrder)
{
    read("max_jets_extra = 5\nmy_grid_res_key = 12\n");
    EXPECT_EQ(params.max_jets, 5);
    EXPECT_EQ(params.grid_cols, 12);
    EXPECT_EQ(params.grid_rows, 12);
}

// "fullscreen_window" holds the earlier literal "fullscreen": spelled exactly
// it is its own key, echoed like any other; a longer name still matches the
// first literal inside it.
TEST_F(ParamFile, ANewKeyHoldingAnOlderOneIsItselfWhenSpelledExactly)
{
    std::string out = read("fullscreen_window = 1\nhelp_hint = 1\nauto_pause = 1\n");
    EXPECT_EQ(out.find("Properties: \nfullscreen_window = 1\nhelp_hint = 1\nauto_pause = 1\n"), 0u);
    EXPECT_EQ(params.fullscreen_window, 1);
    EXPECT_EQ(params.fullscreen, 0);
    read("my_fullscreen_window = 1\n");
    EXPECT_EQ(params.fullscreen, 1);
    EXPECT_EQ(params.fullscreen_window, 0);
}

TEST_F(ParamFile, EqualsAgainstTheKeyBelongsToTheKey)
{
    std::string out = read("grid_res=64\n");
    EXPECT_EQ(params.grid_cols, 0);
    EXPECT_NE(out.find("grid_res=64 = \n"), std::string::npos);
}

TEST_F(ParamFile, LinesThatAreNotComments)
{
    std::string out = read("   # not a comment\n   \n");
    EXPECT_NE(out.find("Error - cannot parse: # = \n"), std::string::npos);
    EXPECT_NE(out.find("Error - cannot parse:  = \n"), std::string::npos);
}

TEST_F(ParamFile, WindowsLineEndsAndANegativeGrid)
{
    std::string out = read("grid_res = -7\r\n\r\n# remark\r\nmax_lives = 3\r\n");
    EXPECT_EQ(out.substr(0, out.find("Error: Could not open score")),
              "Properties: \ngrid_res = -7\nmax_lives = 3\n");
    EXPECT_EQ(params.max_lives, 3);
    EXPECT_EQ(params.grid_cols, 0);
    EXPECT_EQ(params.grid_rows, 0);
    game_load_parameters();
    EXPECT_EQ(game.court_width, 0);
    EXPECT_EQ(game.court_height, 0);
}

TEST_F(ParamFile, RemarksAfterTheValueAndLaterLinesWin)
{
    read("timestep = 0.05 # remark\ntimestep = 0.07\ngrid_res = 32 64\n");
    EXPECT_FLOAT_EQ(params.timestep, 0.07f);
    EXPECT_EQ(params.grid_cols, 32);
}

TEST_F(ParamFile, NumbersReadFromTheirStartOnly)
{
    read("iterations = 12abc\nmax_lives = abc\ntimestep = -.5e1x\nviscosity = 0x10\n"
         "diffusion = inf\ndissipation = nan\nmax_jets = 99999999999999\n"
         "max_particles = -99999999999999\n");
    EXPECT_EQ(params.iterations, 12);
    EXPECT_EQ(params.max_lives, 0);
    EXPECT_FLOAT_EQ(params.timestep, -5.0f);
    EXPECT_FLOAT_EQ(params.viscosity, 0.0f);
    EXPECT_FLOAT_EQ(params.diffusion, 0.0f);
    EXPECT_FLOAT_EQ(params.dissipation, 0.0f);
    EXPECT_EQ(params.max_jets, 2147483647);
    EXPECT_EQ(params.max_particles, -2147483647 - 1);
}

TEST_F(ParamFile, OverlongKeysValuesAndLinesAreCut)
{
    std::string long_value(400, '7');
    std::string long_key = "full_res" + std::string(300, 'x');
    std::string long_line = "grid_res = 5 " + std::string(3000, 'y') + "\nmax_lives = 4\n";
    std::string out = read(long_key + " = " + long_value + "\n" + "full_res = " + long_value +
                           "\n" + long_line);
    EXPECT_EQ(strlen(params.full_res), 255u);
    EXPECT_EQ(std::string(params.full_res), std::string(255, '7'));
    EXPECT_EQ(params.grid_cols, 5);
    // The rest of the overlong line is dropped, not read as a line of its own.
    EXPECT_EQ(out.find("yyyy = "), std::string::npos);
    EXPECT_EQ(params.max_lives, 4);
}

TEST_F(ParamFile, NoFinalLineEndAndBinaryGarbage)
{
    std::string garbage;
    for (int i = 0; i < 5000; i++) garbage += (char)((i * 7919) % 256);
    read(garbage + "\nmax_lives = 3");
    EXPECT_EQ(params.max_lives, 3);
}

TEST(KeyReference, ExactLinesAndSeparators)
{
    std::string out = capture_stdout(print_key_reference);
    std::string separator(76, '-');
    EXPECT_EQ(out.find("\n\nFluid Solver Keybinds:\n\n  Key                  Description\n" +
                       separator + "\nRight Mouse Button  |  Inject densities (ink)\n"),
              0u);
    EXPECT_NE(out.find("Middle Mouse Button |  Create jets (LMB emits particles, RMB emits "
                       "densities) \n"),
              std::string::npos);
    EXPECT_NE(out.find("'q'                 |  Quit\n" + separator + "\n\nFluxball"),
              std::string::npos);
    EXPECT_EQ(out.back(), '\n');
    int lines = 0;
    for (char c : out) lines += c == '\n';
    // 4 heading, 1 + 1 + 23 + 1 table, 2 around the credit
    EXPECT_EQ(lines, 32);
}

} // namespace
