// A clip's sound through the program's core on the real sound layer: a game
// recorded and exported with its sound mixed step by step on the loopback
// device into a WAV track (the first wall hit heard within a frame of the
// frame it happened in, and exactly as many samples as the frames last),
// and the shell's pauses holding the music through the same mix.
#include "tests/support/test_util.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const int GRID = 48;
const int VIDEO_RATE = 60;                      // frames a second of a replay without a hold
const int STEP_SAMPLES = CLIP_SOUND_RATE / VIDEO_RATE;
const int SESSION_FRAMES = 360;
const float SILENCE = 1e-4f;                    // full scale
const float ONSET = 0.02f;                      // full scale: an effect has started

// The track as left, right pairs.
std::vector<float> read_track(const std::string &path, int *rate)
{
    SF_INFO info = {};
    SNDFILE *f = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<float> data;
    if (!f) return data;
    *rate = info.samplerate;
    data.resize((size_t)info.frames * (size_t)info.channels);
    sf_readf_float(f, data.data(), info.frames);
    sf_close(f);
    return data;
}

// Loudest sample of frames [from, to) of a stereo track.
float peak(const std::vector<float> &t, size_t from, size_t to)
{
    float m = 0.0f;
    for (size_t i = 2 * from; i < 2 * to && i < t.size(); i++) m = std::max(m, fabsf(t[i]));
    return m;
}

class ClipSound : public ::testing::Test {
protected:
    std::string dir, track;

    void SetUp() override
    {
        dir = make_temp_dir();
        track = dir + "/track.wav";
        replay_reset();
    }
    void TearDown() override
    {
        stop_program();
        replay_reset();
        unlink(track.c_str());
        rmdir(dir.c_str());
    }

    // A fresh program as start-up leaves it, its clock at 0.
    void start(int auto_pause)
    {
        program_srand(1);
        stub_elapsed_ms = 0;
        stub_clock_ns = 0;
        Params p;
        set_default_params(&p);
        p.grid_cols = p.grid_rows = GRID;
        p.auto_pause = auto_pause;
        capture_stdout([] {});
        start_program_with(p);
    }

    // The sound as an export starts it: the title music plays into the track.
    // (The title's serve draws random numbers: a recording made for the
    // clip goes to the title again too, without sound.)
    void start_sound(int with_sound = 1)
    {
        if (with_sound) {
            ASSERT_TRUE(sound_init_clip(track.c_str()));
        }
        game_reset_to_title();
    }
};

// Frame f of a recorded session: a game started, the music switched off
// with m once it plays, the paddle held a quarter of the way up (the ball
// meets a wall within the session).
void session_events(int f)
{
    if (f == 0) on_reshape(win_width, win_height);
    if (f == 5) on_keyboard(' ', 0, 0);
    if (f == 8) on_keyboard('m', 0, 0);
    on_motion(40, win_height / 4);
}

// Makes dir/sounds with the shipped sounds (from the working directory),
// the wall hit replaced by silence of its length when silent_wall is 1.
void make_sounds(const std::string &dir, int silent_wall)
{
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    std::string sounds = dir + "/sounds";
    mkdir(sounds.c_str(), 0700);
    const char *names[] = {"hit_wall.wav", "hit_paddle.wav", "ball_pop.wav", "intro_loop.mp3", "battle_loop.mp3"};
    for (const char *name : names) {
        std::string from = std::string(cwd) + "/sounds/" + name, to = sounds + "/" + name;
        unlink(to.c_str());
        if (silent_wall && !strcmp(name, "hit_wall.wav")) {
            SF_INFO info = {};
            SNDFILE *in = sf_open(from.c_str(), SFM_READ, &info);
            ASSERT_NE(in, nullptr);
            sf_close(in);
            sf_count_t length = info.frames;
            info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
            SNDFILE *out = sf_open(to.c_str(), SFM_WRITE, &info);
            ASSERT_NE(out, nullptr);
            std::vector<float> zeros((size_t)length * (size_t)info.channels, 0.0f);
            sf_writef_float(out, zeros.data(), length);
            sf_close(out);
        } else {
            ASSERT_EQ(symlink(from.c_str(), to.c_str()), 0);
        }
    }
}

TEST_F(ClipSound, TheFirstWallHitIsHeardWithinAFrameOfItsFrameAndTheTrackLastsAsLongAsTheFrames)
{
    start(1);
    start_sound(0);
    recording_start("params.txt");
    replay_set_window_size();
    for (int f = 0; f < SESSION_FRAMES; f++) {
        session_events(f);
        stub_elapsed_ms += 16 + (f % 3 == 0);
        on_idle();
    }
    size_t size = 0;
    unsigned char *bytes = replay_recording_bytes(&size);
    ASSERT_NE(bytes, nullptr);
    replay_reset();

    // The session exported twice, the second time with a silent wall hit:
    // the difference is the wall hits alone, whatever else sounds with them.
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    std::vector<float> tracks[2];
    int wall_frame = -1, frames = 0, rate = 0;
    for (int run = 0; run < 2; run++) {
        make_sounds(dir, run);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        ReplayFile *r = parse_replay_bytes(bytes, size, "session");
        ASSERT_NE(r, nullptr);
        start(1);
        start_sound();
        replay_play_file(r, REPLAY_EXPORT);
        replay_set_window_size();
        for (int k = 0; k < 4 * SESSION_FRAMES && !replay_over(); k++) {
            on_idle();
            if (wall_frame < 0 && sound_set.wall_channel != 0) wall_frame = replay_frames_played() - 1;
            replay_take_frame();
        }
        ASSERT_EQ(chdir(cwd), 0);
        ASSERT_TRUE(replay_over());
        ASSERT_TRUE(strstr(replay_notice, "End of the replay")) << replay_notice;
        frames = replay_frames_played();
        ASSERT_TRUE(sound_clip_close());
        tracks[run] = read_track(track, &rate);
        stop_program();
        replay_reset();
        system(("rm -rf '" + dir + "/sounds'").c_str());
    }
    free(bytes);

    const std::vector<float> &t = tracks[0];
    EXPECT_EQ(rate, CLIP_SOUND_RATE);
    EXPECT_EQ(t.size(), (size_t)frames * STEP_SAMPLES * 2);
    ASSERT_EQ(tracks[1].size(), t.size());
    EXPECT_GT(peak(t, 0, 5 * STEP_SAMPLES), 0.05f) << "no title music at the start";
    ASSERT_GT(wall_frame, 0) << "the ball hit no wall in the session";
    size_t onset = 0;
    while (onset < t.size() / 2 && fabsf(t[2 * onset] - tracks[1][2 * onset]) < ONSET &&
           fabsf(t[2 * onset + 1] - tracks[1][2 * onset + 1]) < ONSET)
        onset++;
    long hit_at = (long)wall_frame * STEP_SAMPLES;
    EXPECT_LE(labs((long)onset - hit_at), STEP_SAMPLES)
        << "wall hit in frame " << wall_frame << ", heard at frame " << (double)onset / STEP_SAMPLES;
}

// Renders `steps` steps of the clip from step *at on.
void steps(int *at, int n)
{
    for (int k = 0; k < n; k++) sound_clip_step((*at)++, VIDEO_RATE);
}

TEST_F(ClipSound, WithAutoPauseTheMusicHoldsWhilePausedOrHiddenAndGoesOnFromWhereItStopped)
{
    const int RUN = 30, HOLD = 20;
    // Straight through: the reference.
    start(1);
    start_sound();
    on_keyboard(' ', 0, 0);                 // the game starts: the battle music
    int at = 0;
    steps(&at, 2 * RUN);
    ASSERT_TRUE(sound_clip_close());
    int rate = 0;
    std::vector<float> straight = read_track(track, &rate);
    stop_program();

    // Paused with space, then hidden, then the help page: each holds it.
    start(1);
    start_sound();
    on_keyboard(' ', 0, 0);
    at = 0;
    steps(&at, RUN / 3);
    on_keyboard(' ', 0, 0);
    steps(&at, HOLD);
    on_keyboard(' ', 0, 0);
    steps(&at, RUN / 3);
    on_window_status(0);
    steps(&at, HOLD);
    on_window_status(1);                    // the game stays paused until space
    steps(&at, HOLD);
    on_keyboard(' ', 0, 0);
    on_keyboard('h', 0, 0);                 // the help page
    steps(&at, HOLD);
    on_keyboard(27, 0, 0);
    on_keyboard(' ', 0, 0);
    steps(&at, 2 * RUN - 2 * (RUN / 3));
    on_keyboard('m', 0, 0);                 // m still mutes
    steps(&at, 5);
    ASSERT_TRUE(sound_clip_close());
    std::vector<float> held = read_track(track, &rate);
    ASSERT_EQ(held.size(), (size_t)(2 * RUN + 4 * HOLD + 5) * STEP_SAMPLES * 2);

    // Where the music played, it is the reference's music with the holds cut out.
    struct Piece { int from, to, shift; };
    const int a = RUN / 3;
    const Piece pieces[] = {{0, a, 0}, {a + HOLD, 2 * a + HOLD, HOLD}, {2 * a + 4 * HOLD, 2 * RUN + 4 * HOLD, 4 * HOLD}};
    const int holds[][2] = {{a, a + HOLD}, {2 * a + HOLD, 2 * a + 4 * HOLD}};
    for (const auto &h : holds)
        EXPECT_LT(peak(held, (size_t)h[0] * STEP_SAMPLES, (size_t)h[1] * STEP_SAMPLES), SILENCE)
            << "sound while held, steps " << h[0] << " to " << h[1];
    for (const Piece &p : pieces) {
        float diff = 0.0f;
        size_t from = (size_t)p.from * STEP_SAMPLES * 2, to = (size_t)p.to * STEP_SAMPLES * 2;
        size_t shift = (size_t)p.shift * STEP_SAMPLES * 2;
        for (size_t i = from; i < to; i++) diff = std::max(diff, fabsf(held[i] - straight[i - shift]));
        EXPECT_GT(peak(held, from / 2, to / 2), 0.05f) << "no music in steps " << p.from << " to " << p.to;
        EXPECT_LT(diff, 1e-3f) << "steps " << p.from << " to " << p.to << " are not where the music stopped";
    }
    size_t end = (size_t)(2 * RUN + 4 * HOLD) * STEP_SAMPLES;
    EXPECT_LT(peak(held, end + STEP_SAMPLES, end + 5 * STEP_SAMPLES), SILENCE) << "m did not mute";
}

TEST_F(ClipSound, TheSolverHoldsTheMusicOnlyWhileHiddenAndWithoutAutoPauseNothingHolds)
{
    start(1);
    start_sound();
    on_special_key(KEY_F1, 0, 0);           // to the solver: the title music goes on
    int at = 0;
    steps(&at, 10);
    on_keyboard(' ', 0, 0);                 // the solver paused: still heard
    steps(&at, 10);
    on_window_status(0);
    steps(&at, 10);
    on_window_status(1);
    steps(&at, 10);
    ASSERT_TRUE(sound_clip_close());
    int rate = 0;
    std::vector<float> t = read_track(track, &rate);
    EXPECT_GT(peak(t, 10 * STEP_SAMPLES, 20 * STEP_SAMPLES), 0.05f);
    EXPECT_LT(peak(t, 20 * STEP_SAMPLES, 30 * STEP_SAMPLES), SILENCE);
    EXPECT_GT(peak(t, 30 * STEP_SAMPLES, 40 * STEP_SAMPLES), 0.05f);
    stop_program();

    start(0);
    start_sound();
    on_keyboard(' ', 0, 0);
    on_keyboard(' ', 0, 0);                 // paused, without auto_pause
    on_window_status(0);
    at = 0;
    steps(&at, 10);
    ASSERT_TRUE(sound_clip_close());
    t = read_track(track, &rate);
    EXPECT_GT(peak(t, 0, 10 * STEP_SAMPLES), 0.05f);
}

}  // namespace
