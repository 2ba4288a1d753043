// Replays without a window: a scripted session (games, name entry, solver
// tools, reshapes, pause) recorded and played back with the state compared
// frame by frame; a planted changed event reported at its checksum; the file
// written at exit; hostile files; live input during a replay; the keys.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const int GRID = 24;
const int WIN_W = 240, WIN_H = 180;
const int SESSION_FRAMES = 3000;
const int CHECK_INTERVAL = 60;
const size_t TAIL_BYTES = 10;       // end record (tag, flags, checksum) and CRC

const char PARAMS_TEXT[] =
    "grid_res = 24\nwin_width = 240\nwin_height = 180\nmax_lives = 1\nmax_particles = 200\n"
    "max_jets = 6\npaddle_height = 7\nrecord_replays = 1\n";
const char SCORES_TEXT[] = "Bob = 3\n";

std::vector<std::string> list_dir(const std::string &dir)
{
    std::vector<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (!d) return names;
    while (struct dirent *e = readdir(d))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
    return names;
}

class Replay : public ::testing::Test {
protected:
    std::string saved_cwd;
    std::string rec_dir, play_dir;

    void SetUp() override
    {
        char cwd[4096];
        ASSERT_TRUE(getcwd(cwd, sizeof cwd));
        saved_cwd = cwd;
        rec_dir = make_temp_dir();
        play_dir = make_temp_dir();
        replay_reset();
    }
    void TearDown() override
    {
        replay_reset();
        if (chdir(saved_cwd.c_str()) != 0) ADD_FAILURE() << "cannot return to " << saved_cwd;
        std::string cmd = "rm -rf '" + rec_dir + "' '" + play_dir + "'";
        if (system(cmd.c_str()) != 0) ADD_FAILURE() << "could not remove the folders";
        start_program(GRID);
    }

    // Start-up as main does it, in dir, from its params.txt and scores.txt.
    void start_in(const std::string &dir)
    {
        ASSERT_EQ(chdir(dir.c_str()), 0);
        program_srand(1);                   // what an unseeded program_rand() starts from
        stub_elapsed_ms = 0;
        stub_clock_ns = 0;
        capture_stdout([] { read_params("params.txt"); });
        Params p = params;
        start_program_with(p);
        ASSERT_TRUE(replay_start("params.txt"));
        replay_set_window_size();
    }

    // One frame as GLUT runs it: the events, then the idle call.
    void frame(int f)
    {
        stub_elapsed_ms += 16 + (f % 3 == 0);
        on_idle();
    }
};

void key(unsigned char k) { on_keyboard(k, 0, 0); }
void special(int k) { on_special_key(k, 0, 0); }
void press(int button, int x, int y) { on_mouse(button, MOUSE_PRESSED, x, y); }
void release(int button, int x, int y) { on_mouse(button, MOUSE_RELEASED, x, y); }

// What the scripted session went through, to show it did.
struct SessionLog {
    int name_saved, walls_drawn, jets_placed, frames_paused, reshaped, games;
    int grid_after;                 // grid columns after the options page's change
    float viscosity_after;
    int planted_frame;              // frame index before which 'g' was pressed
    size_t planted_at;              // its bytes in the replay file
};

// The events of frame f of the session. The script follows the program's
// state (it waits for name entry), so it is played only while recording.
void session_events(int f, int *phase_start, int *phase, SessionLog *log)
{
    int t = f - *phase_start;
    int wave_y = WIN_H / 2 + (int)(WIN_H / 3 * std::sin(f * 0.07));
    switch (*phase) {
    case 0:                         // the game: play until the name is asked
        if (f == 0) on_reshape(WIN_W, WIN_H);
        if (t == 5) key(' ');
        on_motion(40, wave_y);
        if (t % 90 == 30) press(BUTTON_LEFT, 40, wave_y);
        if (t % 90 == 45) release(BUTTON_LEFT, 40, wave_y);
        if (t % 150 == 60) press(BUTTON_RIGHT, 40, wave_y);
        if (t % 150 == 100) release(BUTTON_RIGHT, 40, wave_y);
        if (t == 200) key('l');
        if (t == 250) key('t');
        if (name_entry) {
            *phase = 1;
            *phase_start = f;
        }
        break;
    case 1:                         // name entry: typed, corrected, saved
        if (t == 3) key('A');
        if (t == 4) key('d');
        if (t == 5) key('x');
        if (t == 6) key(8);
        if (t == 7) key('a');
        if (t == 9) key(13);
        if (t == 40) {
            log->name_saved = score_saved;
            special(KEY_F1);        // to the solver
            *phase = 2;
            *phase_start = f;
        }
        break;
    case 2:                         // the solver's tools
        if (t == 5) press(BUTTON_LEFT, 60, 60);
        if (t > 5 && t < 40) on_motion(60 + t * 3, 60 + t);
        if (t == 40) release(BUTTON_LEFT, 165, 95);
        if (t == 45) press(BUTTON_RIGHT, 120, 90);
        if (t > 45 && t < 80) on_motion(120 - (t - 45), 90 + (t - 45));
        if (t == 80) release(BUTTON_RIGHT, 85, 125);
        if (t == 90) key('w');
        if (t == 92) press(BUTTON_LEFT, 100, 40);
        if (t > 92 && t < 110) on_motion(100 + (t - 92) * 2, 40);
        if (t == 110) {
            release(BUTTON_LEFT, 136, 40);
            for (int k = 0; k < solver.cell_count; k++) log->walls_drawn += wall[k] == CELL_WALL;
            key('w');
        }
        if (t == 120) key('s');
        if (t == 122) press(BUTTON_LEFT, 50, 140);
        if (t == 130) release(BUTTON_LEFT, 50, 140);
        if (t == 132) press(BUTTON_RIGHT, 190, 140);
        if (t == 136) release(BUTTON_RIGHT, 190, 140);
        if (t == 138) key('s');
        if (t == 150) press(BUTTON_MIDDLE, 70, 100);      // a jet
        if (t == 155) on_motion(90, 80);
        if (t == 156) press(BUTTON_LEFT, 90, 80);
        if (t == 157) press(BUTTON_RIGHT, 90, 80);
        if (t == 160) release(BUTTON_MIDDLE, 90, 80);
        if (t == 161) {
            release(BUTTON_LEFT, 90, 80);
            release(BUTTON_RIGHT, 90, 80);
        }
        if (t == 200) log->jets_placed = jet_count;
        // The options page: a finer grid (made anew, cleared) and a thicker
        // fluid, both recorded as option changes.
        if (t == 201) key('o');
        if (t == 202)
            for (int k = 0; k < 5; k++) special(KEY_DOWN);
        if (t == 203) special(KEY_RIGHT);
        if (t == 204) {
            log->grid_after = solver.grid_width;
            for (int k = 0; k < 3; k++) special(KEY_DOWN);
        }
        if (t == 205) special(KEY_PAGE_UP);
        if (t == 206) {
            log->viscosity_after = solver.viscosity;
            key('o');
        }
        if (t == 210) log->planted_frame = f;             // 'g', see below
        if (t == 220) key('v');
        if (t == 230) key('r');
        if (t == 231) key('[');
        if (t == 232) special(KEY_RIGHT);
        if (t == 233) special(KEY_DOWN);
        if (t == 240) {
            on_reshape(300, 200);
            log->reshaped = 1;
        }
        if (t > 240 && t < 300) on_motion(150 + (t % 20), 100 - (t % 15));
        if (t == 300) key(' ');     // pause
        if (t > 300 && t < 330) log->frames_paused += paused;
        if (t == 330) key(' ');
        if (t == 350) key('1');
        if (t == 360) key('c');
        if (t == 370) special(KEY_F2);
        if (t == 380) special(KEY_F2);
        if (t == 390) on_reshape(WIN_W, WIN_H);
        if (t == 400) {
            special(KEY_F1);        // back to the game
            *phase = 3;
            *phase_start = f;
        }
        break;
    default:                        // another game, until the session ends
        if (t == 10) {
            key(' ');
            log->games = 2;
        }
        on_motion(40, wave_y);
        if (name_entry && t % 50 == 0) key(13);
        break;
    }
}

// The session, recorded; the state checksum after each frame in sums. The
// replay file's bytes are returned.
std::vector<unsigned char> record_session(std::vector<unsigned> *sums, SessionLog *log)
{
    int phase = 0, phase_start = 0;
    *log = SessionLog{};
    log->planted_frame = -1;
    for (int f = 0; f < SESSION_FRAMES; f++) {
        session_events(f, &phase_start, &phase, log);
        if (f == log->planted_frame) {
            size_t before = 0, after = 0;
            free(replay_recording_bytes(&before));
            key('g');
            free(replay_recording_bytes(&after));
            log->planted_at = before - TAIL_BYTES;
            EXPECT_EQ(after - before, 3u) << "tag and a two-byte key";
        }
        stub_elapsed_ms += 16 + (f % 3 == 0);
        on_idle();
        sums->push_back(replay_state_checksum());
    }
    size_t size = 0;
    unsigned char *bytes = replay_recording_bytes(&size);
    EXPECT_TRUE(bytes);
    std::vector<unsigned char> file(bytes, bytes + size);
    free(bytes);
    return file;
}

// Plays the replay in the current folder's replay.fxr; the checksum after each
// frame it plays in sums. Live input between the frames must change nothing.
void play_session(std::vector<unsigned> *sums, int live_input)
{
    int played = 0;
    for (int calls = 0; calls < 4 * SESSION_FRAMES && !replay_over(); calls++) {
        stub_elapsed_ms = 1000000 + calls * 7919;     // the live clock is not used
        if (live_input) {
            on_motion(calls % WIN_W, calls % WIN_H);
            on_mouse(BUTTON_LEFT, calls % 2 ? MOUSE_PRESSED : MOUSE_RELEASED, 5, 5);
            // The viewer may look at the options page; it changes nothing.
            key("cgwo 1"[calls % 6]);
            special(KEY_F1);
            special(calls % 2 ? KEY_DOWN : KEY_RIGHT);
            on_reshape(640, 480);
        }
        on_idle();
        if (replay_frames_played() > played) {
            played = replay_frames_played();
            sums->push_back(replay_state_checksum());
        }
    }
}

// Playing for capture_stdout, which takes a plain function.
std::vector<unsigned> g_sums;
int g_live;
void play_to_end(void)
{
    g_sums.clear();
    play_session(&g_sums, g_live);
}
void play_and_hold(void)
{
    play_to_end();
    for (int k = 0; k < 5; k++) on_idle();    // held: no more frames
}

uint32_t u32_at(const std::vector<unsigned char> &b, size_t at)
{
    return (uint32_t)b[at] | (uint32_t)b[at + 1] << 8 | (uint32_t)b[at + 2] << 16 | (uint32_t)b[at + 3] << 24;
}

void put_u32_at(std::vector<unsigned char> *b, size_t at, uint32_t v)
{
    for (int k = 0; k < 4; k++) (*b)[at + k] = (unsigned char)(v >> (8 * k));
}

// The CRC at the end made to match the bytes before it again.
void reseal(std::vector<unsigned char> *b)
{
    size_t n = b->size() - 4;
    put_u32_at(b, n, (uint32_t)crc32(crc32(0L, Z_NULL, 0), b->data(), (uInt)n));
}

std::string version_of(const std::vector<unsigned char> &b)
{
    return std::string((const char *)b.data() + 16, u32_at(b, 12));
}

// Where the header holds the number of frames.
size_t frames_at(const std::vector<unsigned char> &b) { return 16 + version_of(b).size() + 12; }

// The first record of a file without params.txt and scores.txt.
size_t first_record_at(const std::vector<unsigned char> &b) { return 16 + version_of(b).size() + 16 + 8; }

// A record as the recorder writes it: the tag, then zigzag varints.
std::vector<unsigned char> record_bytes(unsigned tag, std::initializer_list<int32_t> args)
{
    std::vector<unsigned char> out{(unsigned char)tag};
    for (int32_t a : args) {
        uint32_t u = ((uint32_t)a << 1) ^ (a < 0 ? 0xFFFFFFFFu : 0u);
        while (u >= 0x80) {
            out.push_back((unsigned char)(u | 0x80));
            u >>= 7;
        }
        out.push_back((unsigned char)u);
    }
    return out;
}

// b with the bytes [at, at + cut) replaced by put, the CRC made to match.
std::vector<unsigned char> spliced(const std::vector<unsigned char> &b, size_t at, size_t cut,
                                   const std::vector<unsigned char> &put)
{
    std::vector<unsigned char> out(b.begin(), b.begin() + (long)at);
    out.insert(out.end(), put.begin(), put.end());
    out.insert(out.end(), b.begin() + (long)(at + cut), b.end());
    reseal(&out);
    return out;
}

TEST_F(Replay, SessionPlaysBackIdenticallyEveryFrame)
{
    write_file(rec_dir + "/params.txt", PARAMS_TEXT);
    write_file(rec_dir + "/scores.txt", SCORES_TEXT);
    start_in(rec_dir);
    ASSERT_EQ(replay_mode, REPLAY_RECORD);
    std::vector<unsigned> recorded;
    SessionLog log;
    std::vector<unsigned char> file = record_session(&recorded, &log);
    replay_reset();

    // The session went through what it is meant to test.
    EXPECT_EQ(log.name_saved, 1);
    EXPECT_NE(read_file(rec_dir + "/scores.txt").find("Ada = "), std::string::npos);
    EXPECT_GT(log.walls_drawn, 0);
    EXPECT_GT(log.jets_placed, 0);
    EXPECT_GT(log.frames_paused, 20);
    EXPECT_EQ(log.reshaped, 1);
    EXPECT_EQ(log.games, 2);
    EXPECT_EQ(log.grid_after, 30);
    EXPECT_EQ(log.viscosity_after, 0.001f);
    EXPECT_EQ(solver.grid_width, 30);
    // A few bytes a frame: the clock and the pointer.
    EXPECT_LT(file.size(), (size_t)SESSION_FRAMES * 8);

    // Played back from what the launcher unpacks: the same state every frame.
    write_file(rec_dir + "/copy.fxr", std::string(file.begin(), file.end()));
    ASSERT_TRUE(unpack_replay((rec_dir + "/copy.fxr").c_str(), play_dir.c_str()));
    std::string unpacked = PARAMS_TEXT;     // less the launcher's key
    unpacked.erase(unpacked.find("record_replays = 1\n"));
    EXPECT_EQ(read_file(play_dir + "/params.txt"), unpacked);
    EXPECT_EQ(read_file(play_dir + "/scores.txt"), SCORES_TEXT);
    write_file(play_dir + "/replay.fxr", std::string(file.begin(), file.end()));
    write_file(play_dir + "/params.txt", std::string(PARAMS_TEXT) + "replay = replay.fxr\n");
    start_in(play_dir);
    ASSERT_EQ(replay_mode, REPLAY_PLAY);
    EXPECT_EQ(win_width, WIN_W);
    g_live = 1;
    std::string out = capture_stdout(play_to_end);
    std::vector<unsigned> played = g_sums;
    ASSERT_EQ(played.size(), recorded.size());
    for (size_t f = 0; f < played.size(); f++)
        ASSERT_EQ(played[f], recorded[f]) << "frame " << f + 1;
    EXPECT_NE(out.find("the state matches the recording"), std::string::npos) << out;
    EXPECT_EQ(out.find("does not play back"), std::string::npos) << out;
    EXPECT_EQ(std::string(replay_notice).rfind("End of the replay (3000 frames)", 0), 0u) << replay_notice;
    EXPECT_EQ(solver.grid_width, 30) << "the grid changed in the replay as in the recording";
    EXPECT_EQ(read_file(play_dir + "/params.txt"), std::string(PARAMS_TEXT) + "replay = replay.fxr\n")
        << "a replay saves no options";
    // The table the replay saved is the temporary folder's, as recorded.
    EXPECT_EQ(read_file(play_dir + "/scores.txt"), read_file(rec_dir + "/scores.txt"));

    // One planted changed event ('g' became 'b'): reported once, at the first
    // checksum after it, and the replay holds there.
    ASSERT_GE(log.planted_frame, 0);
    std::vector<unsigned char> planted = file;
    ASSERT_EQ(planted[log.planted_at], EVENT_KEY);
    ASSERT_EQ(planted[log.planted_at + 1], (unsigned char)(('g' << 1) | 0x80));
    planted[log.planted_at + 1] = (unsigned char)(('b' << 1) | 0x80);
    reseal(&planted);
    write_file(play_dir + "/replay.fxr", std::string(planted.begin(), planted.end()));
    write_file(play_dir + "/scores.txt", SCORES_TEXT);
    start_in(play_dir);
    g_live = 0;
    out = capture_stdout(play_and_hold);
    int first_changed = log.planted_frame + 1;        // 1-based: the frame after the key
    int expected = (first_changed + CHECK_INTERVAL - 1) / CHECK_INTERVAL * CHECK_INTERVAL;
    std::string message = "This replay was recorded with version " + version_of(file) +
                          " and does not play back exactly from frame " + std::to_string(expected);
    EXPECT_EQ(out, message + "\n");
    EXPECT_EQ(std::string(replay_notice), message);
    EXPECT_EQ(replay_frames_played(), expected);
}

TEST_F(Replay, ExitWritesTheFileThroughATemporaryOneAndNeverOverwrites)
{
    write_file(rec_dir + "/params.txt", PARAMS_TEXT);
    start_in(rec_dir);
    // Nothing to watch before the first frame: no file.
    capture_stdout([] { replay_finish(); });
    EXPECT_TRUE(list_dir(rec_dir + "/replays").empty());

    std::vector<std::string> first;
    for (int round = 0; round < 2; round++) {
        if (round == 1) first = list_dir(rec_dir + "/replays");
        start_in(rec_dir);
        on_reshape(WIN_W, WIN_H);
        for (int f = 0; f < 130; f++) frame(f);
        key('g');                   // after the last frame
        record_event(EVENT_KEY, 'q', 0, 0, 0);      // what on_keyboard records before it exits
        unsigned final_state = replay_state_checksum();
        std::string out = capture_stdout([] { replay_finish(); });
        char expected[32];
        snprintf(expected, sizeof expected, "final state %08x)", final_state);
        EXPECT_NE(out.find("Replay saved: replays/fluxball-"), std::string::npos) << out;
        EXPECT_NE(out.find(expected), std::string::npos) << out;
        EXPECT_EQ(replay_mode, REPLAY_OFF);
    }
    std::vector<std::string> names = list_dir(rec_dir + "/replays");
    ASSERT_EQ(names.size(), 2u);
    for (const std::string &name : names) {
        EXPECT_EQ(name.rfind("fluxball-", 0), 0u) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".fxr") << name;
        ReplayFile *r = load_replay_file((rec_dir + "/replays/" + name).c_str());
        ASSERT_TRUE(r) << name;
        free_replay_file(r);
    }
    // The one that was written last plays to its end, the key after the
    // last frame included.
    ASSERT_EQ(first.size(), 1u);
    std::string newest = names[0] == first[0] ? names[1] : names[0];
    write_file(play_dir + "/params.txt", std::string(PARAMS_TEXT) + "replay = " + rec_dir + "/replays/" + newest + "\n");
    start_in(play_dir);
    g_live = 0;
    std::string out = capture_stdout(play_to_end);
    EXPECT_NE(out.find("after 130 frames; the state matches"), std::string::npos) << out;
    EXPECT_EQ(gravity_on, 1);
}

TEST_F(Replay, QuitKeyAfterTheLastFrameIsNotPlayedBack)
{
    write_file(rec_dir + "/params.txt", PARAMS_TEXT);
    start_in(rec_dir);
    for (int f = 0; f < 10; f++) frame(f);
    record_event(EVENT_KEY, 'q', 0, 0, 0);      // what on_keyboard records before it exits
    size_t size = 0;
    unsigned char *bytes = replay_recording_bytes(&size);
    ASSERT_TRUE(bytes);
    std::string file((const char *)bytes, size);
    free(bytes);
    EXPECT_EQ((unsigned char)file[size - 9], 1u) << "the end says the last event quit";
    replay_reset();
    write_file(play_dir + "/replay.fxr", file);
    write_file(play_dir + "/params.txt", std::string(PARAMS_TEXT) + "replay = replay.fxr\n");
    start_in(play_dir);
    g_live = 0;
    std::string out = capture_stdout(play_to_end);
    EXPECT_NE(out.find("after 10 frames; the state matches"), std::string::npos) << out;
}

TEST_F(Replay, LiveQuitKeysEndAReplayAndAClockReadOutsideTheStepIsNotRecorded)
{
    write_file(rec_dir + "/params.txt", PARAMS_TEXT);
    start_in(rec_dir);
    stub_elapsed_ms = 5000;
    EXPECT_EQ(elapsed_ms(), 5000);              // between frames: live, not recorded
    for (int f = 0; f < 3; f++) frame(f);
    size_t size = 0;
    unsigned char *bytes = replay_recording_bytes(&size);
    std::string file((const char *)bytes, size);
    free(bytes);
    replay_reset();
    write_file(play_dir + "/replay.fxr", file);
    write_file(play_dir + "/params.txt", std::string(PARAMS_TEXT) + "replay = replay.fxr\n");
    start_in(play_dir);
    on_idle();
    EXPECT_EQ(replay_frames_played(), 1);
    stub_elapsed_ms = 123456;
    EXPECT_EQ(elapsed_ms(), 5000 + 16 + 1) << "the last recorded value";
    EXPECT_EQ(record_event(EVENT_SPECIAL, 12, 0, 0, 0), 1) << "F12 takes its screenshot";
    EXPECT_EQ(record_event(EVENT_SPECIAL, KEY_F1, 0, 0, 0), 0);
    EXPECT_EXIT(key('q'), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(key(27), ::testing::ExitedWithCode(1), "");
}

TEST_F(Replay, SignalEndsARecordingAtTheNextFrameWithTheReplayWritten)
{
    write_file(rec_dir + "/params.txt", PARAMS_TEXT);
    start_in(rec_dir);
    for (int f = 0; f < 5; f++) frame(f);
    // The child is forked: it writes into this test's folder.
    EXPECT_EXIT(
        {
            raise(SIGTERM);
            fprintf(stderr, "still running\n");
            atexit(replay_finish);
            frame(5);
        },
        ::testing::ExitedWithCode(128 + SIGTERM), "still running");
    ASSERT_EQ(list_dir(rec_dir + "/replays").size(), 1u);
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
}

// A small valid replay for the hostile cases, recorded in dir.
std::vector<unsigned char> small_replay(const std::string &dir)
{
    if (chdir(dir.c_str()) != 0) ADD_FAILURE() << "cannot enter " << dir;
    start_program(GRID);
    replay_reset();
    Params p = params;
    p.record_replays = 1;
    params = p;
    capture_stdout([] { replay_start("no-such-params.txt"); });
    replay_set_window_size();
    on_reshape(WIN_W, WIN_H);
    for (int f = 0; f < 70; f++) {
        on_motion(f, 2 * f);
        // Option changes, a real one and a whole one, for the hostile cases.
        if (f == 30) options_set(option_of_key_row(param_key_row("viscosity")), 0.002);
        if (f == 31) options_set(option_of_key_row(param_key_row("max_lives")), 5);
        stub_elapsed_ms += 16;
        on_idle();
    }
    size_t size = 0;
    unsigned char *bytes = replay_recording_bytes(&size);
    std::vector<unsigned char> file(bytes, bytes + size);
    free(bytes);
    replay_reset();
    return file;
}

// Parses bytes; the console line it printed, "" when it loaded.
std::string parse_message(const std::vector<unsigned char> &b)
{
    static const std::vector<unsigned char> *current;
    current = &b;
    return capture_stdout([] {
        ReplayFile *r = parse_replay_bytes(current->data(), current->size(), "x.fxr");
        free_replay_file(r);
    });
}

TEST_F(Replay, HostileBytesEachGetTheirMessage)
{
    std::vector<unsigned char> good = small_replay(rec_dir);
    EXPECT_EQ(parse_message(good), "");

    std::vector<unsigned char> random(4000);
    for (size_t k = 0; k < random.size(); k++) random[k] = (unsigned char)(k * 2654435761u >> 13);
    EXPECT_EQ(parse_message(random), "Error: the replay x.fxr is not a Fluxball replay\n");

    for (size_t n = 0; n < good.size(); n++) {
        std::vector<unsigned char> cut(good.begin(), good.begin() + (long)n);
        ASSERT_EQ(parse_message(cut), "Error: the replay x.fxr is truncated: it ends before its last frame\n")
            << n << " bytes";
    }

    std::vector<unsigned char> other = good;
    put_u32_at(&other, 8, 2);
    EXPECT_EQ(parse_message(other),
              "Error: the replay x.fxr has format version 2; this Fluxball plays version 1\n");

    // The params.txt length (no file was there: -1) made huge, and merely
    // longer than the file.
    size_t params_len_at = 16 + version_of(good).size() + 16;
    ASSERT_EQ(u32_at(good, params_len_at), 0xFFFFFFFFu);
    std::vector<unsigned char> huge = good;
    put_u32_at(&huge, params_len_at, 0x7FFFFFF0u);
    EXPECT_EQ(parse_message(huge), "Error: the replay x.fxr is damaged: it claims to hold a parameter or "
                                   "score file of more than 16 MiB\n");
    std::vector<unsigned char> longer = good;
    put_u32_at(&longer, params_len_at, 1u << 20);
    EXPECT_EQ(parse_message(longer), "Error: the replay x.fxr is truncated: it ends before its last frame\n");

    // An option change of a key the page does not show, or out of its range.
    ByteBuffer lives = {};
    put_option_record(&lives, option_of_key_row(param_key_row("max_lives")), 5);
    ASSERT_EQ(lives.size, 3u);
    auto found = std::search(good.begin(), good.end(), lives.bytes, lives.bytes + lives.size);
    free_buffer(&lives);
    ASSERT_NE(found, good.end());
    size_t option_at = (size_t)(found - good.begin());
    std::string bad_option = "Error: the replay x.fxr is damaged: no recording holds its record at byte " +
                             std::to_string(option_at) + "\n";
    std::vector<unsigned char> other_key = good;
    other_key[option_at + 1] = (unsigned char)param_key_row("win_width");
    reseal(&other_key);
    EXPECT_EQ(parse_message(other_key), bad_option);
    std::vector<unsigned char> no_lives = good;
    no_lives[option_at + 2] = 0;        // 0 lives: below the range
    reseal(&no_lives);
    EXPECT_EQ(parse_message(no_lives), bad_option);

    std::vector<unsigned char> flipped = good;
    flipped[good.size() / 2] ^= 0x40;
    EXPECT_EQ(parse_message(flipped),
              "Error: the replay x.fxr is damaged: its checksum does not match its contents\n");
    std::vector<unsigned char> trailing = good;
    trailing.push_back(0);
    EXPECT_EQ(parse_message(trailing), "Error: the replay x.fxr is damaged: it goes on after its end\n");

    // Window sizes no window can have, in the header and in a reshape
    // record: refused when the file is checked, before any window opens.
    const size_t width_at = 16 + version_of(good).size();
    const int impossible[][2] = {{0, 0}, {-5, 180}, {240, -1}, {16385, 180}, {240, 100000}, {INT_MIN, INT_MAX}};
    for (const auto &size : impossible) {
        std::vector<unsigned char> header = good;
        put_u32_at(&header, width_at, (uint32_t)size[0]);
        put_u32_at(&header, width_at + 4, (uint32_t)size[1]);
        reseal(&header);
        std::string expected = "Error: the replay x.fxr is damaged: it records a window of " +
                               std::to_string(size[0]) + " x " + std::to_string(size[1]) +
                               " pixels (a window has 1 to 16384 a side)\n";
        EXPECT_EQ(parse_message(header), expected);
    }
    const size_t first = first_record_at(good);
    ASSERT_EQ(good[first], EVENT_RESHAPE);
    const size_t reshape_len = record_bytes(EVENT_RESHAPE, {WIN_W, WIN_H}).size();
    ASSERT_EQ(std::vector<unsigned char>(good.begin() + (long)first, good.begin() + (long)(first + reshape_len)),
              record_bytes(EVENT_RESHAPE, {WIN_W, WIN_H}));
    for (const auto &size : impossible) {
        std::vector<unsigned char> m = spliced(good, first, reshape_len, record_bytes(EVENT_RESHAPE, {size[0], size[1]}));
        std::string expected = "Error: the replay x.fxr is damaged: it records a window size of " +
                               std::to_string(size[0]) + " x " + std::to_string(size[1]) +
                               " pixels (a window has 1 to 16384 a side)\n";
        EXPECT_EQ(parse_message(m), expected);
    }
    // The largest window and the smallest are possible.
    EXPECT_EQ(parse_message(spliced(good, first, reshape_len, record_bytes(EVENT_RESHAPE, {16384, 1}))), "");
    // F12 is never recorded, the window status and the pointer's crossings
    // are 0 or 1, and the version is plain text (it is printed).
    const std::string not_recorded = "Error: the replay x.fxr is damaged: no recording holds its record at byte " +
                                     std::to_string(first) + "\n";
    EXPECT_EQ(parse_message(spliced(good, first, 0, record_bytes(EVENT_SPECIAL, {KEY_F12}))), not_recorded);
    EXPECT_EQ(parse_message(spliced(good, first, 0, record_bytes(EVENT_VISIBILITY, {2}))), not_recorded);
    EXPECT_EQ(parse_message(spliced(good, first, 0, record_bytes(EVENT_ENTRY, {-1}))), not_recorded);
    EXPECT_EQ(parse_message(spliced(good, first, 0, record_bytes(EVENT_ENTRY, {1}))), "");
    std::vector<unsigned char> escape = good;
    escape[16] = 0x1B;
    reseal(&escape);
    EXPECT_EQ(parse_message(escape), "Error: the replay x.fxr is damaged: its version text is not plain text\n");

    // Every byte changed (the CRC made to match): loads or is refused with one
    // line, never reads outside the bytes (the sanitizer build checks).
    const unsigned char values[] = {0x00, 0x01, 0x7F, 0x80, 0xFF};
    for (size_t at = 8; at + 4 < good.size(); at++) {
        for (unsigned char v : values) {
            std::vector<unsigned char> m = good;
            m[at] = v;
            reseal(&m);
            std::string msg = parse_message(m);
            ASSERT_TRUE(msg.empty() || (msg.rfind("Error: the replay x.fxr ", 0) == 0 &&
                                        msg.find('\n') == msg.size() - 1))
                << "byte " << at << ": " << msg;
        }
    }
}

// Unpacks file into dir, which must stay empty; what it printed.
std::string g_file, g_dir;
int g_unpacked;
void unpack_quietly(void) { g_unpacked = unpack_replay(g_file.c_str(), g_dir.c_str()); }
std::string refused_unpack(const std::string &file, const std::string &dir)
{
    g_file = file;
    g_dir = dir;
    std::string msg = capture_stdout(unpack_quietly);
    EXPECT_EQ(g_unpacked, 0) << file;
    EXPECT_TRUE(list_dir(dir).empty()) << file;
    return msg;
}

TEST_F(Replay, HostileFilesAreRefusedAndUnpackWritesNothing)
{
    std::vector<unsigned char> good = small_replay(rec_dir);
    std::string dir = rec_dir;
    std::string out_dir = play_dir;
    EXPECT_EQ(refused_unpack(dir + "/missing.fxr", out_dir),
              "Error: cannot open the replay " + dir + "/missing.fxr: No such file or directory\n");
    EXPECT_EQ(refused_unpack(dir, out_dir), "Error: the replay " + dir + " is not a file\n");
    std::string big = dir + "/big.fxr";
    write_file(big, "FXREPLAY");
    ASSERT_EQ(truncate(big.c_str(), (off_t)300 << 20), 0);      // sparse: costs no disk
    EXPECT_EQ(refused_unpack(big, out_dir), "Error: the replay " + big + " is too large: 314572800 bytes (a replay holds at most 268435456)\n");
    std::vector<unsigned char> cut(good.begin(), good.end() - 20);
    write_file(dir + "/cut.fxr", std::string(cut.begin(), cut.end()));
    EXPECT_EQ(refused_unpack(dir + "/cut.fxr", out_dir), "Error: the replay " + dir + "/cut.fxr is truncated: it ends before its last frame\n");

    // A good one unpacks what it holds: here no params.txt, no scores.txt.
    write_file(dir + "/good.fxr", std::string(good.begin(), good.end()));
    EXPECT_TRUE(unpack_replay((dir + "/good.fxr").c_str(), out_dir.c_str()));
    EXPECT_TRUE(list_dir(out_dir).empty());
    // A replay named by the key that cannot be played stops the start-up.
    start_program(GRID);
    snprintf(params.replay, sizeof params.replay, "%s", (dir + "/cut.fxr").c_str());
    std::string msg = capture_stdout([] { EXPECT_EQ(replay_start("params.txt"), 0); });
    EXPECT_NE(msg.find("is truncated"), std::string::npos);
    EXPECT_EQ(replay_mode, REPLAY_OFF);

    // The video is written only as a plain file in the working folder (the
    // launcher moves it), never through a path or an existing link.
    ASSERT_EQ(chdir(dir.c_str()), 0);
    ASSERT_EQ(symlink((out_dir + "/victim.gif").c_str(), "link.gif"), 0);
    snprintf(params.replay, sizeof params.replay, "%s", (dir + "/good.fxr").c_str());
    const char *const paths[] = {"../clip.mp4", "/tmp/clip.gif", "videos/clip.mp4", "clip.mp4/", ".", ".."};
    for (const char *name : paths) {
        snprintf(params.replay_video, sizeof params.replay_video, "%s", name);
        msg = capture_stdout([] { EXPECT_EQ(replay_start("params.txt"), 0); });
        EXPECT_EQ(msg, "Error: the video " + std::string(name) + " is to be a plain file name in the working folder\n");
        EXPECT_EQ(replay_mode, REPLAY_OFF);
    }
    snprintf(params.replay_video, sizeof params.replay_video, "link.gif");
    msg = capture_stdout([] { EXPECT_EQ(replay_start("params.txt"), 0); });
    EXPECT_EQ(msg, "Error: the video link.gif is a link; the video is written only as a plain file\n");
    EXPECT_TRUE(list_dir(out_dir).empty());
    snprintf(params.replay_video, sizeof params.replay_video, "clip.mp4");
    capture_stdout([] { EXPECT_EQ(replay_start("params.txt"), 1); });
    EXPECT_EQ(replay_mode, REPLAY_EXPORT);
    params.replay[0] = params.replay_video[0] = 0;
}

// A recorded params.txt never names the replay, the video or a recording:
// unpacking leaves out every line that would set one, by the parser's own
// matching and cutting of lines, and keeps every other byte.
TEST_F(Replay, UnpackLeavesOutTheKeysOnlyTheLauncherSets)
{
    // A line of the parser's longest, cut short at a NUL: the parser reads
    // on from where the line was cut, as a line of its own.
    std::string long_line = std::string("grid_res = 24") + '\0';
    long_line += std::string(PARAM_LINE_LEN - 1 - long_line.size(), 'x');
    const std::string kept =
        "grid_res = 24\n# replay_video = /comment.mp4\n\nfullscreen_replay = 0\r\n"
        "win_width = 240 replay = b.fxr\n" + long_line + "max_jets = 6\n" +
        std::string(PARAM_LINE_LEN + 50, 'y') + " replay_video = /tail.mp4\n" + "paddle_height = 7";
    const std::string dropped[] = {
        "replay = /home/someone/a.fxr\n", "  replay_video\t=\t/home/someone/Videos/holiday.mp4\n",
        "my_replay_videos = ../../x.gif\n", "record_replays = 1\r\n", "xrecord_replaysx = 1\n",
        "replayed = 1\n", "replay_video = /no-line-end.gif",
    };
    // Each dropped line after a kept one; the cut-short line's rest dropped too.
    std::string text = "grid_res = 24\n" + dropped[0] + "# replay_video = /comment.mp4\n" + dropped[1] +
                       "\nfullscreen_replay = 0\r\n" + dropped[2] + "win_width = 240 replay = b.fxr\n" +
                       long_line + dropped[3] + dropped[4] + "max_jets = 6\n" + dropped[5] +
                       std::string(PARAM_LINE_LEN + 50, 'y') + " replay_video = /tail.mp4\n" +
                       "paddle_height = 7\n" + dropped[6];
    write_file(rec_dir + "/recorded.txt", text);
    ASSERT_EQ(chdir(rec_dir.c_str()), 0);
    start_program(GRID);
    params.record_replays = 1;
    capture_stdout([] { replay_start("recorded.txt"); });
    replay_set_window_size();
    for (int f = 0; f < 3; f++) frame(f);
    size_t size = 0;
    unsigned char *bytes = replay_recording_bytes(&size);
    ASSERT_TRUE(bytes);
    write_file(rec_dir + "/r.fxr", std::string((const char *)bytes, size));
    free(bytes);
    replay_reset();

    ASSERT_TRUE(unpack_replay((rec_dir + "/r.fxr").c_str(), play_dir.c_str()));
    EXPECT_EQ(read_file(play_dir + "/params.txt"), kept + "\n");
    ASSERT_EQ(chdir(play_dir.c_str()), 0);
    capture_stdout([] { read_params("params.txt"); });
    EXPECT_STREQ(params.replay, "");
    EXPECT_STREQ(params.replay_video, "");
    EXPECT_EQ(params.record_replays, 0);
    EXPECT_EQ(params.max_jets, 6);
    EXPECT_EQ(params.paddle_height, 7);
    EXPECT_EQ(params.win_width, 240);
}

// Events a recording cannot hold in that order, but each of which it can
// hold: a quitting key before the end, far-off pointers, unknown keys and
// buttons, clocks that run backwards. The replay plays to its end or holds
// as diverged; it never ends the program.
TEST_F(Replay, StrangeEventsPlayToTheEndOrDivergeAndNeverQuit)
{
    std::vector<unsigned char> good = small_replay(rec_dir);
    const size_t first = first_record_at(good);
    write_file(play_dir + "/params.txt", std::string(PARAMS_TEXT) + "replay = replay.fxr\n");
    // A 'q' before the first frame: the recording would have ended there.
    for (int quit_key : {(int)'q', 27}) {
        std::vector<unsigned char> q = spliced(good, first, 0, record_bytes(EVENT_KEY, {quit_key}));
        write_file(play_dir + "/replay.fxr", std::string(q.begin(), q.end()));
        start_in(play_dir);
        g_live = 0;
        std::string out = capture_stdout(play_and_hold);
        EXPECT_EQ(out, "This replay was recorded with version " + version_of(good) +
                           " and does not play back exactly from frame 1\n");
        EXPECT_EQ(replay_frames_played(), 0);
        EXPECT_TRUE(replay_over());
    }
    // The others, each before the first frame.
    const std::vector<unsigned char> strange[] = {
        record_bytes(EVENT_MOTION, {INT_MAX, INT_MIN}),
        record_bytes(EVENT_MOUSE, {7, 5, -2000000000, 2000000000}),
        record_bytes(EVENT_MOUSE, {-1, -1, 3, 3}),
        record_bytes(EVENT_SPECIAL, {-99999}),
        record_bytes(EVENT_KEY, {0}),
        // A frame whose clock reads near the end of the int range: the
        // recorded clock values after it wrap, and run backwards.
        {TAG_FRAME, 1, 0xF4, 0xFF, 0xFF, 0xFF, 0x0F},      // INT_MAX - 5
    };
    for (const std::vector<unsigned char> &put : strange) {
        std::vector<unsigned char> m = spliced(good, first, 0, put);
        if (put[0] == TAG_FRAME) put_u32_at(&m, frames_at(good), u32_at(good, frames_at(good)) + 1);
        reseal(&m);
        write_file(play_dir + "/replay.fxr", std::string(m.begin(), m.end()));
        start_in(play_dir);
        ASSERT_EQ(replay_mode, REPLAY_PLAY) << (int)put[0];
        g_live = 0;
        std::string out = capture_stdout(play_and_hold);
        EXPECT_TRUE(replay_over()) << (int)put[0];
        EXPECT_TRUE(out.find("the state matches the recording") != std::string::npos ||
                    out.find("does not play back exactly") != std::string::npos)
            << (int)put[0] << ": " << out;
    }
}

TEST_F(Replay, KeysMatchThemselvesAndDefaultToOff)
{
    Params p;
    set_default_params(&p);
    EXPECT_EQ(p.record_replays, 0);
    EXPECT_STREQ(p.replay, "");
    EXPECT_STREQ(p.replay_video, "");
    std::string out = capture_stdout([] {
        Params q;
        set_default_params(&q);
        parse_param_line(&q, "record_replays = 1\n", stdout);
        parse_param_line(&q, "replay_video = clip.mp4\n", stdout);
        parse_param_line(&q, "replay = a.fxr\n", stdout);
        printf("[%d %s %s]\n", q.record_replays, q.replay_video, q.replay);
        set_default_params(&q);
        parse_param_line(&q, "my_replay_videos = x.gif\n", stdout);
        printf("[%d %s %s]\n", q.record_replays, q.replay_video, q.replay);
    });
    EXPECT_EQ(out, "record_replays = 1\nreplay_video = clip.mp4\nreplay = a.fxr\n[1 clip.mp4 a.fxr]\n"
                   "my_replay_videos = x.gif\n[0 x.gif ]\n");
    // Off: nothing is recorded and the callbacks go on as always.
    start_program(GRID);
    ASSERT_TRUE(replay_start("params.txt"));
    EXPECT_EQ(replay_mode, REPLAY_OFF);
    EXPECT_EQ(record_event(EVENT_KEY, 'q', 0, 0, 0), 1);
    size_t size = 0;
    EXPECT_EQ(replay_recording_bytes(&size), nullptr);
}

TEST(RandomNumbers, TheSequenceOfAnUnseededRandWhichRandCannotMove)
{
    program_srand(1);
    EXPECT_EQ(program_rand(), 1804289383);      // glibc's first unseeded value
    EXPECT_EQ(program_rand(), 846930886);
    srand(1);
    program_srand(1);
    for (int k = 0; k < 1000; k++) ASSERT_EQ(program_rand(), rand()) << k;
    program_srand(3);
    int first = program_rand();
    program_srand(3);
    srand(99);
    rand();                                     // what a library may do
    EXPECT_EQ(program_rand(), first);
}

}  // namespace
