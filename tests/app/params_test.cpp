// Reading "params.txt": matching, values, console echo and hostile files.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

// ---------------------------------------------------------------------------
// Writing one value back (the options page)
// ---------------------------------------------------------------------------

// text with key `name` set to value, as the writer makes it.
std::string rewrite(const std::string &text, const char *name, const char *value)
{
    size_t size = 0;
    unsigned char *out = rewrite_param_text((const unsigned char *)text.data(), text.size(),
                                            param_key_row(name), value, &size);
    EXPECT_NE(out, nullptr);
    std::string result((const char *)out, size);
    free(out);
    return result;
}

// The lines of text, each with its line end.
std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        size_t end = nl == std::string::npos ? text.size() : nl + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

// How many lines differ between two texts of the same number of lines.
int lines_differing(const std::string &a, const std::string &b)
{
    std::vector<std::string> la = lines_of(a), lb = lines_of(b);
    EXPECT_EQ(la.size(), lb.size());
    int n = 0;
    for (size_t i = 0; i < la.size() && i < lb.size(); i++) n += la[i] != lb[i];
    return n;
}

// The record read_params makes of text.
Params params_of(ParamFile *f, const std::string &text)
{
    f->read(text);
    return params;
}

// Every setting of the page, changed in the shipped file: one line differs,
// and the file read back gives the new value and every other value as before.
TEST_F(ParamFile, WriterChangesOneLineOfTheShippedFileForEverySetting)
{
    std::string shipped = read_file(FLUXBALL_SOURCE_DIR "/params.txt");
    ASSERT_GT(shipped.size(), 1000u);
    Params before = params_of(this, shipped);
    for (int k = 0; k < OPTION_COUNT; k++) {
        params = before;
        // Three steps up; a switch the other way.
        int steps = option_settings[k].type == OPTION_SWITCH && option_value(k) > 0 ? -1 : 3;
        double v = option_stepped(k, option_value(k), steps);
        ASSERT_NE(v, option_value(k)) << option_settings[k].key;
        char text[OPTION_VALUE_LEN];
        format_option_value(k, v, text, sizeof text);
        std::string changed = rewrite(shipped, option_settings[k].key, text);
        EXPECT_EQ(lines_differing(shipped, changed), 1) << option_settings[k].key;
        Params after = params_of(this, changed);
        params = after;
        EXPECT_EQ(option_value(k), (option_settings[k].type == OPTION_FLOAT ? (double)(float)v : v))
            << option_settings[k].key;
        // Put back, the record is the one read before.
        params = before;
        double old = option_value(k);
        params = after;
        Params restored = after;
        char *field = (char *)&restored + option_settings[k].offset;
        if (option_settings[k].type == OPTION_FLOAT)
            *(float *)field = (float)old;
        else
            *(int *)field = (int)old;
        if (option_settings[k].apply == APPLY_GRID) restored.grid_rows = restored.grid_cols;
        EXPECT_EQ(memcmp(&restored, &before, sizeof before), 0)
            << option_settings[k].key << " changed another value";
    }
}

TEST_F(ParamFile, WriterKeepsLineEndsCommentsAndTheMissingFinalLineEnd)
{
    // CRLF: the value goes, the line end stays; a new line takes CRLF too.
    EXPECT_EQ(rewrite("# lives\r\nmax_lives = 5\r\n\r\ngrid_res = 80\r\n", "max_lives", "7"),
              "# lives\r\nmax_lives = 7\r\n\r\ngrid_res = 80\r\n");
    EXPECT_EQ(rewrite("grid_res = 80\r\n", "max_lives", "7"), "grid_res = 80\r\nmax_lives = 7\r\n");
    // No final line end: none is added, also when a line is added.
    EXPECT_EQ(rewrite("grid_res = 80\nmax_lives = 5", "max_lives", "12"),
              "grid_res = 80\nmax_lives = 12");
    EXPECT_EQ(rewrite("grid_res = 80", "max_lives", "7"), "grid_res = 80\nmax_lives = 7");
    EXPECT_EQ(rewrite("", "max_lives", "7"), "max_lives = 7\n");
    // Remarks after the value, tabs, and the spacing of the line stay.
    EXPECT_EQ(rewrite("max_lives\t=\t5   # five lives = 5\n", "max_lives", "10"),
              "max_lives\t=\t10   # five lives = 5\n");
    // Comment lines naming the key are not the key's; an indented "#" line is
    // read by the parser, but as no key.
    EXPECT_EQ(rewrite("# max_lives = 3\nmax_lives = 5\n  # max_lives = 9\n", "max_lives", "7"),
              "# max_lives = 3\nmax_lives = 7\n  # max_lives = 9\n");
    // A line with the key and no value, or no '=', gets them.
    EXPECT_EQ(rewrite("max_lives =\n", "max_lives", "7"), "max_lives = 7\n");
    EXPECT_EQ(rewrite("max_lives 4 lives\n", "max_lives", "7"), "max_lives = 7 4 lives\n");
    // Lines the parser cannot read are kept byte for byte.
    std::string junk = std::string("\x01\xff = = =\n", 10) + std::string("a\0b\n", 4);
    EXPECT_EQ(rewrite(junk + "max_lives = 5\n", "max_lives", "6"), junk + "max_lives = 6\n");
}

TEST_F(ParamFile, WriterChangesTheLineTheParserAppliesLast)
{
    // Set twice: the later line.
    EXPECT_EQ(rewrite("max_lives = 5\nmax_lives = 6\nx = 1\n", "max_lives", "7"),
              "max_lives = 5\nmax_lives = 7\nx = 1\n");
    // A key holding another's name: spelled exactly, each is itself.
    std::string both = "fullscreen_window = 1\nfullscreen = 0\n";
    EXPECT_EQ(rewrite(both, "fullscreen", "1"), "fullscreen_window = 1\nfullscreen = 1\n");
    EXPECT_EQ(rewrite(both, "fullscreen_window", "0"), "fullscreen_window = 0\nfullscreen = 0\n");
    // Any other spelling that holds a key is that key, so it is the line
    // that wins; reading back proves it.
    std::string odd = "fullscreen = 0\nmy_fullscreen_at_start = 1\n";
    std::string changed = rewrite(odd, "fullscreen", "0");
    EXPECT_EQ(changed, "fullscreen = 0\nmy_fullscreen_at_start = 0\n");
    EXPECT_EQ(params_of(this, changed).fullscreen, 0);
    // A key past the part of an overlong line the parser reads is not read:
    // the key is added at the end instead.
    std::string longline = std::string(1100, 'z') + " max_lives = 3\n";
    changed = rewrite(longline, "max_lives", "8");
    EXPECT_EQ(changed, longline + "max_lives = 8\n");
    EXPECT_EQ(params_of(this, changed).max_lives, 8);
    // A line the parser reads only in part, which a new value would make it
    // read otherwise: the key's run past the part it reads (the '=' would
    // land beyond it), and a NUL byte whose split of the line would move
    // onto another key. A line of its own at the end instead.
    std::string cut_key = "max_lives" + std::string(1100, 'x') + "\n";
    EXPECT_EQ(rewrite(cut_key, "max_lives", "6"), cut_key + "max_lives = 6\n");
    std::string split = std::string("max_lives = 15\0", 15) + std::string(1008, 'a') + "fullscreen = 1\n";
    ASSERT_EQ(params_of(this, split).fullscreen, 1);
    changed = rewrite(split, "max_lives", "7");
    EXPECT_EQ(changed, split + "max_lives = 7\n");
    EXPECT_EQ(params_of(this, changed).fullscreen, 1);
    EXPECT_EQ(params.max_lives, 7);
    // An overlong value is replaced whole, not only its first part.
    std::string longvalue = "max_lives = " + std::string(2000, '9') + "\n";
    changed = rewrite(longvalue, "max_lives", "4");
    EXPECT_EQ(changed, "max_lives = 4\n");
}

// The file on disk: through a link, made when missing, and every failure
// leaves the old file whole.
TEST_F(ParamFile, SavingGoesThroughLinksAndMakesAMissingFile)
{
    int row = param_key_row("max_lives");
    ASSERT_EQ(mkdir("real", 0755), 0);
    write_file("real/params.txt", "# mine\nmax_lives = 5 # five\n");
    ASSERT_EQ(symlink("real/params.txt", "params.txt"), 0);
    ASSERT_EQ(save_param_value("params.txt", row, "9"), 0);
    struct stat st;
    ASSERT_EQ(lstat("params.txt", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    EXPECT_EQ(read_file("real/params.txt"), "# mine\nmax_lives = 9 # five\n");
    EXPECT_NE(access("real/params.txt.tmp", F_OK), 0);

    ASSERT_EQ(save_param_value("new.txt", row, "3"), 0);
    EXPECT_EQ(read_file("new.txt"), "max_lives = 3\n");
    ASSERT_EQ(save_param_value("new.txt", param_key_row("grid_res"), "120"), 0);
    EXPECT_EQ(read_file("new.txt"), "max_lives = 3\ngrid_res = 120\n");
}

TEST_F(ParamFile, SavingFailuresLeaveTheFileWhole)
{
    int row = param_key_row("max_lives");
    const std::string old = "max_lives = 5\n" + std::string(4000, '#') + "\n";
    // Read-only: not replaced, even where the folder would let it be.
    write_file("ro.txt", old);
    ASSERT_EQ(chmod("ro.txt", 0444), 0);
    EXPECT_EQ(save_param_value("ro.txt", row, "9"), EACCES);
    EXPECT_EQ(read_file("ro.txt"), old);
    // A folder at the name.
    ASSERT_EQ(mkdir("dir.txt", 0755), 0);
    EXPECT_EQ(save_param_value("dir.txt", row, "9"), EISDIR);
    // A full disk: the writes stop short (a file size limit makes them stop
    // as a full file system does, without a file system of its own).
    write_file("full.txt", old);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 1000;
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int err = save_param_value("full.txt", row, "9");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(err, EFBIG);
    EXPECT_EQ(read_file("full.txt"), old);
    EXPECT_NE(access("full.txt.tmp", F_OK), 0) << "the half-written file is gone";
}

} // namespace
