// The top-ten table: insertion order, the name typed at the keyboard, and the
// file "scores.txt" (round trips, console echo, hostile files, failed saves).
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class Scores : public ::testing::Test {
protected:
    std::string dir;
    std::string file;
    const char *saved_name = nullptr;

    void SetUp() override
    {
        stub_elapsed_ms = 0;
        start_program(40);
        dir = make_temp_dir();
        file = dir + "/scores.txt";
        saved_name = score_file_name;
        score_file_name = file.c_str();
        memset(high_scores, 0, sizeof high_scores);
    }
    void TearDown() override
    {
        score_file_name = saved_name;
        memset(high_scores, 0, sizeof high_scores);
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << "could not remove " << dir;
    }

    void set_row(int r, const char *name, int level)
    {
        snprintf(high_scores[r].name, sizeof high_scores[r].name, "%s", name);
        high_scores[r].level = level;
    }
    void insert(const char *name, int level)
    {
        snprintf(name_buffer, sizeof name_buffer, "%s", name);
        insert_high_score(level);
        memset(name_buffer, 0, sizeof name_buffer);
    }
    std::string table(void)
    {
        std::string out;
        for (const ScoreEntry &row : high_scores)
            out += std::string(row.name) + ":" + std::to_string(row.level) + " ";
        return out;
    }
};

const std::string EMPTY_ROW = " = 0\n";

std::string repeat(const std::string &s, int n)
{
    std::string out;
    for (int i = 0; i < n; i++) out += s;
    return out;
}

TEST_F(Scores, FirstEntryCreatesTheFileWithNineEmptyRows)
{
    insert("ann", 4);
    EXPECT_EQ(read_file(file), "ann = 4\n" + repeat(EMPTY_ROW, 9));
    struct stat st;
    EXPECT_NE(stat((file + ".tmp").c_str(), &st), 0) << "temporary file left behind";
}

TEST_F(Scores, NewRowGoesAboveEqualRowsAndRotatesTheRunAboveIt)
{
    set_row(0, "a", 5);
    set_row(1, "b", 5);
    set_row(2, "c", 5);
    set_row(3, "d", 3);
    insert("new", 5);
    EXPECT_EQ(table(), "new:5 a:5 b:5 c:5 d:3 :0 :0 :0 :0 :0 ");

    memset(high_scores, 0, sizeof high_scores);
    ASSERT_EQ(unlink(file.c_str()), 0);
    set_row(0, "a", 5);
    set_row(1, "b", 5);
    set_row(2, "c", 5);
    set_row(3, "d", 3);
    insert("new", 4);
    EXPECT_EQ(table(), "c:5 a:5 b:5 new:4 d:3 :0 :0 :0 :0 :0 ");
}

TEST_F(Scores, TopLevelTakesRowOneAndAFullTableDropsTheLastRow)
{
    const char *names[SCORE_ROWS] = {"r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9", "r10"};
    for (int r = 0; r < SCORE_ROWS; r++) set_row(r, names[r], 20 - r);
    insert("top", 20);
    EXPECT_EQ(table(), "top:20 r1:20 r2:19 r3:18 r4:17 r5:16 r6:15 r7:14 r8:13 r9:12 ");
    insert("low", 12);
    EXPECT_EQ(std::string(high_scores[9].name), "low");
}

TEST_F(Scores, SavedTableReloadsEqualAndIsEchoed)
{
    set_row(0, "Ada Lovelace", 12);
    set_row(1, " lead and trail ", 9);
    set_row(2, "x = 3", 7);
    set_row(3, "#hash", 5);
    set_row(4, "", 4);
    set_row(5, "=", 2);
    ASSERT_EQ(save_high_scores(), 1);
    ScoreEntry saved[SCORE_ROWS];
    memcpy(saved, high_scores, sizeof saved);
    memset(high_scores, 0x55, sizeof high_scores);
    std::string console = capture_stdout(load_high_scores);
    for (int r = 0; r < SCORE_ROWS; r++) {
        EXPECT_STREQ(high_scores[r].name, saved[r].name) << "row " << r + 1;
        EXPECT_EQ(high_scores[r].level, saved[r].level) << "row " << r + 1;
    }
    EXPECT_EQ(console.rfind("\nHigh Scores: \nAda Lovelace = 12\n", 0), 0u) << console;
    EXPECT_NE(console.find("\n = 0\n"), std::string::npos);
}

TEST_F(Scores, MissingFileLeavesAnEmptyTable)
{
    set_row(0, "stale", 3);
    std::string console = capture_stdout(load_high_scores);
    EXPECT_EQ(console, "Error: Could not open score file.\n");
    EXPECT_EQ(table(), repeat(":0 ", 10));
}

TEST_F(Scores, ReaderSkipsCommentsBlankAndMalformedLinesAndStopsAtTen)
{
    std::string text = "# best first\n\n# name = level\n#rows = 10 or so\nann = 9\nno separator here\nbob = \nbo b = 8x\r\n"
                       "cy =7\n   = -3\n";
    for (int i = 0; i < 12; i++) text += "p" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    write_file(file, text);
    load_high_scores();
    EXPECT_EQ(table(), "ann:9 bo b:8   :-3 p0:0 p1:1 p2:2 p3:3 p4:4 p5:5 p6:6 ");
}

TEST_F(Scores, LongNamesAndLevelsAreCutToFit)
{
    std::string name(600, 'n');
    write_file(file, name + " = 99999999999\nshort = -99999999999\n" + std::string(3000, 'z') + " = 5\n");
    load_high_scores();
    EXPECT_EQ(strlen(high_scores[0].name), 255u);
    EXPECT_EQ(high_scores[0].level, 2147483647);
    EXPECT_STREQ(high_scores[1].name, "short");
    EXPECT_EQ(high_scores[1].level, -2147483647 - 1);
    // A line past the reader's 1023 characters loses its separator and
    // level: it is skipped, and its tail is not read as another line.
    EXPECT_EQ(high_scores[2].level, 0);
    EXPECT_STREQ(high_scores[2].name, "");
}

TEST_F(Scores, HostileFilesDoNotCrashTheReader)
{
    std::string garbage;
    for (int i = 0; i < 70000; i++) garbage += (char)((i * 7919 + 13) % 256);
    write_file(file, garbage);
    load_high_scores();
    for (const ScoreEntry &row : high_scores) EXPECT_LT(strlen(row.name), 256u);

    write_file(file, std::string(4 << 20, 'x'));    // 4 MB without a line end
    load_high_scores();
    EXPECT_EQ(table(), repeat(":0 ", 10));

    write_file(file, std::string("a\0b = 4\n", 8));
    load_high_scores();
    EXPECT_EQ(table(), repeat(":0 ", 10)) << "a NUL cuts the line before its separator";

    score_file_name = dir.c_str();      // a directory
    std::string console = capture_stdout(load_high_scores);
    EXPECT_EQ(console, "Error: Could not open score file.\n");
}

TEST_F(Scores, BlockedTemporaryFileSavesInPlaceAndAFolderCannotBeSaved)
{
    write_file(file, "old = 3\n" + repeat(EMPTY_ROW, 9));
    ASSERT_EQ(mkdir((file + ".tmp").c_str(), 0700), 0);     // blocks the temporary file
    snprintf(name_buffer, sizeof name_buffer, "%s", "kept");
    score_save_failed = 1;
    std::string console = capture_stdout([] { insert_high_score(8); });
    EXPECT_EQ(console, "");
    EXPECT_EQ(score_save_failed, 0);
    EXPECT_EQ(read_file(file), "kept = 8\nold = 3\n" + repeat(EMPTY_ROW, 8));
    struct stat st;
    ASSERT_EQ(stat((file + ".tmp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode)) << "the folder in the way was touched";

    score_file_name = dir.c_str();      // a folder is replaced neither way
    console = capture_stdout([] { save_high_scores(); });
    EXPECT_EQ(console, "Error: Could not open score file.\n");
    EXPECT_EQ(score_save_failed, 1);
    EXPECT_STREQ(high_scores[0].name, "kept") << "the row stays in memory";
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_NE(stat((dir + ".tmp").c_str(), &st), 0) << "temporary file left behind";
}

// A table kept elsewhere through a link: the link stays, its target (a chain
// of a relative and an absolute link) gets the table with its own mode, and
// the temporary file is made beside the target.
TEST_F(Scores, SaveThroughLinksKeepsTheLinksAndThePermissionBits)
{
    ASSERT_EQ(mkdir((dir + "/store").c_str(), 0700), 0);
    std::string target = dir + "/store/table.txt";
    write_file(target, "old = 3\n");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(symlink(target.c_str(), (dir + "/store/middle").c_str()), 0);
    ASSERT_EQ(symlink("store/middle", file.c_str()), 0);
    mode_t old_mask = umask(077);
    insert("lin", 4);
    umask(old_mask);
    struct stat st;
    ASSERT_EQ(lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    ASSERT_EQ(lstat((dir + "/store/middle").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_file(target), "lin = 4\nold = 3\n" + repeat(EMPTY_ROW, 8));
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_NE(stat((target + ".tmp").c_str(), &st), 0) << "temporary file left behind";
    EXPECT_NE(lstat((file + ".tmp").c_str(), &st), 0) << "temporary file beside the link";
    EXPECT_EQ(stat((target + ".lock").c_str(), &st), 0) << "no lock file beside the target";
    EXPECT_NE(lstat((file + ".lock").c_str(), &st), 0) << "lock file beside the link";

    // A link to nothing yet: the first save makes its target. A link planted
    // at the lock's name is not followed: no lock, the save goes on.
    ASSERT_EQ(unlink(target.c_str()), 0);
    ASSERT_EQ(unlink((target + ".lock").c_str()), 0);
    ASSERT_EQ(symlink((dir + "/planted").c_str(), (target + ".lock").c_str()), 0);
    insert("new", 2);
    EXPECT_NE(lstat((dir + "/planted").c_str(), &st), 0) << "the lock followed a link";
    EXPECT_EQ(read_file(target), "lin = 4\nold = 3\nnew = 2\n" + repeat(EMPTY_ROW, 7));
    ASSERT_EQ(lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // A loop of links is reported and writes nothing.
    ASSERT_EQ(unlink(file.c_str()), 0);
    ASSERT_EQ(symlink("scores.txt", file.c_str()), 0);
    std::string console = capture_stdout([] { save_high_scores(); });
    EXPECT_EQ(console, "Error: Could not open score file.\n");
}

// Another copy of the program saved rows after this one read the file: the
// new row goes into the file's table, the mark follows it, and a row that no
// longer ranks there pushes out none of the other copy's rows.
TEST_F(Scores, RowsAnotherCopySavedAreKeptAndTheMarkFollowsTheNewRow)
{
    set_row(0, "mine", 7);
    write_file(file, "other = 9\nmine = 7\n");      // saved by the other copy
    game.level = 8;
    game.final_rank = 1;
    name_entry = 1;
    for (const char *c = "me"; *c; c++) on_keyboard((unsigned char)*c, 0, 0);
    on_keyboard(13, 0, 0);
    EXPECT_EQ(game.final_rank, 2);
    EXPECT_EQ(table(), "other:9 me:8 mine:7 :0 :0 :0 :0 :0 :0 :0 ");
    EXPECT_EQ(read_file(file), "other = 9\nme = 8\nmine = 7\n" + repeat(EMPTY_ROW, 7));

    std::string full;
    for (int r = 0; r < SCORE_ROWS; r++) full += "pro" + std::to_string(r) + " = 50\n";
    write_file(file, full);
    score_save_failed = 1;
    EXPECT_EQ(insert_high_score(8), 0);
    EXPECT_EQ(read_file(file), full);
    EXPECT_EQ(table(), "pro0:50 pro1:50 pro2:50 pro3:50 pro4:50 pro5:50 pro6:50 pro7:50 pro8:50 pro9:50 ");
    EXPECT_EQ(score_save_failed, 0) << "the file holds the table shown";
}

// Two processes that read the same table and save at the same moment: both
// rows reach the file, every time.
TEST_F(Scores, TwoCopiesSavingAtOnceKeepBothRows)
{
    const int TRIES = 40;
    for (int t = 0; t < TRIES; t++) {
        SCOPED_TRACE("try " + std::to_string(t));
        write_file(file, "old = 1\n");
        memset(high_scores, 0, sizeof high_scores);
        set_row(0, "old", 1);
        int go[2];
        ASSERT_EQ(pipe(go), 0);
        fflush(stdout);
        pid_t pids[2];
        const char *names[2] = {"Alice", "Bob"};
        for (int c = 0; c < 2; c++) {
            pids[c] = fork();
            ASSERT_GE(pids[c], 0);
            if (pids[c] == 0) {
                close(go[1]);
                char byte;
                // Both wait here until the parent closes the pipe.
                if (read(go[0], &byte, 1) != 0) _exit(3);
                snprintf(name_buffer, sizeof name_buffer, "%s", names[c]);
                insert_high_score(3);
                _exit(0);
            }
        }
        close(go[0]);
        close(go[1]);
        for (pid_t pid : pids) {
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        std::string saved = read_file(file);
        ASSERT_TRUE(saved == "Alice = 3\nBob = 3\nold = 1\n" + repeat(EMPTY_ROW, 7) ||
                    saved == "Bob = 3\nAlice = 3\nold = 1\n" + repeat(EMPTY_ROW, 7))
            << saved;
    }
}

// Runs fn in a child process with dir mounted read-only (a private bind
// mount, since root ignores permission bits) and the file at keep_writable,
// if any, mounted writable over it. Returns fn's result, or -1 when this
// machine makes no mount namespaces.
int in_read_only_folder(const std::string &dir, const std::string &keep_writable, int (*fn)(void))
{
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            _exit(2);
        if (mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            _exit(2);
        // A bind mount starts with the flags of the mount it lies in.
        if (!keep_writable.empty() &&
            (mount(keep_writable.c_str(), keep_writable.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
             mount(nullptr, keep_writable.c_str(), nullptr, MS_REMOUNT | MS_BIND, nullptr) != 0))
            _exit(2);
        int ok = fn();
        fflush(stdout);
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) == 2 ? -1 : WEXITSTATUS(status) == 0;
}

TEST_F(Scores, ReadOnlyFolderRewritesAWritableFileInPlaceOrReportsIt)
{
    write_file(file, "old = 3\n" + repeat(EMPTY_ROW, 9));
    set_row(0, "ro", 9);
    int saved = in_read_only_folder(dir, file, save_high_scores);
    if (saved < 0) GTEST_SKIP() << "no mount namespaces on this machine";
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(read_file(file), "ro = 9\n" + repeat(EMPTY_ROW, 9));

    // The file read-only too: neither way works, the file stays as it was.
    set_row(0, "no", 1);
    EXPECT_EQ(in_read_only_folder(dir, "", save_high_scores), 0);
    EXPECT_EQ(read_file(file), "ro = 9\n" + repeat(EMPTY_ROW, 9));

    // A lock file left from before still locks there: the entry joins the
    // table read back from the file, the save is reported as failed, and
    // the file stays as it was.
    write_file(file + ".lock", "");
    auto insert_into_file_table = []() -> int {
        snprintf(name_buffer, sizeof name_buffer, "%s", "new");
        int rank = insert_high_score(5);
        return rank == 2 && strcmp(high_scores[0].name, "ro") == 0 && score_save_failed == 1;
    };
    EXPECT_EQ(in_read_only_folder(dir, "", insert_into_file_table), 1);
    EXPECT_EQ(read_file(file), "ro = 9\n" + repeat(EMPTY_ROW, 9));
}

TEST_F(Scores, TypedNameIsLimitedAndEnterSavesIt)
{
    game.level = 6;
    game.final_rank = 1;
    name_entry = 1;
    for (const char *c = "Grace Hopper of the Navy"; *c; c++) on_keyboard((unsigned char)*c, 0, 0);
    EXPECT_EQ(name_length, 20);
    EXPECT_STREQ(name_buffer, "Grace Hopper of the ");
    EXPECT_EQ(game.playing, 0) << "space typed a blank instead of starting a game";
    on_keyboard(8, 0, 0);
    on_keyboard(127, 0, 0);
    on_keyboard(9, 0, 0);       // tab: ignored
    on_keyboard(200, 0, 0);     // beyond ASCII: ignored
    EXPECT_STREQ(name_buffer, "Grace Hopper of th");
    on_keyboard(13, 0, 0);
    EXPECT_EQ(name_entry, 0);
    EXPECT_EQ(score_saved, 1);
    EXPECT_EQ(name_length, 0);
    EXPECT_EQ(name_buffer[0], 0);
    EXPECT_STREQ(high_scores[0].name, "Grace Hopper of th");
    EXPECT_EQ(high_scores[0].level, 6);
    EXPECT_EQ(read_file(file), "Grace Hopper of th = 6\n" + repeat(EMPTY_ROW, 9));
}

TEST_F(Scores, BackspaceOnAnEmptyNameAndAnEmptyEntry)
{
    game.level = 2;
    name_entry = 1;
    on_keyboard(8, 0, 0);
    EXPECT_EQ(name_length, 0);
    on_keyboard(13, 0, 0);
    EXPECT_EQ(high_scores[0].level, 2);
    EXPECT_STREQ(high_scores[0].name, "");
    EXPECT_EQ(read_file(file), " = 2\n" + repeat(EMPTY_ROW, 9));
}

TEST_F(Scores, RankedGameOverArmsNameEntryInTheNextFrame)
{
    set_row(0, "best", 30);
    game_start();
    game.level = 4;
    game.lives = 1;
    game.countdown = -1;
    ball.x = 3.0f;
    ball.vx = -1.5f;
    on_idle();      // the point takes the last life
    EXPECT_EQ(game.game_over, 1);
    EXPECT_EQ(game.final_rank, 2);
    EXPECT_EQ(name_entry, 0);
    on_idle();
    EXPECT_EQ(name_entry, 1);
}

TEST_F(Scores, UnrankedGameOverAsksForNoName)
{
    for (int r = 0; r < SCORE_ROWS; r++) set_row(r, "pro", 50);
    game_start();
    game.lives = 0;
    on_idle();
    EXPECT_EQ(game.game_over, 1);
    EXPECT_EQ(game.final_rank, 0);
    on_idle();
    EXPECT_EQ(name_entry, 0);
}

}  // namespace
