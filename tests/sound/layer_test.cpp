// The real sound layer on an OpenAL Soft loopback device: sounds are written
// with libsndfile into a temporary folder, played, and the mix is rendered
// into memory and measured (loudness per side, pitch from zero crossings).
#include "sound/sound.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const int RATE = 44100;                 // Hz, mixing rate of the loopback device
const double PI = 3.14159265358979323846;
const float TONE_HZ = 1000.0f;

struct Mix {
    std::vector<float> left, right;
};

std::string temp_dir(void)
{
    char path[] = "/tmp/fluxball_layer_XXXXXX";
    if (!mkdtemp(path)) abort();
    return path;
}

// Writes a sine of hz at rate for seconds, in `channels` identical channels.
void write_sine(const std::string &path, float hz, int rate, double seconds, int channels = 1,
                int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16)
{
    SF_INFO info = {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    long frames = (long)(seconds * rate);
    std::vector<float> data((size_t)frames * channels);
    for (long i = 0; i < frames; i++) {
        float v = 0.5f * (float)sin(2 * PI * hz * i / rate);
        for (int c = 0; c < channels; c++) data[(size_t)i * channels + c] = v;
    }
    sf_writef_float(f, data.data(), frames);
    sf_close(f);
}

double rms(const std::vector<float> &s, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; i++) sum += (double)s[i] * s[i];
    return to > from ? sqrt(sum / (double)(to - from)) : 0.0;
}

double rms(const std::vector<float> &s) { return rms(s, 0, s.size()); }

// Frequency of a steady tone from its upward zero crossings.
double measured_hz(const std::vector<float> &s)
{
    int first = -1, last = -1, crossings = 0;
    for (size_t i = 1; i < s.size(); i++) {
        if (s[i - 1] < 0.0f && s[i] >= 0.0f) {
            if (first < 0) first = (int)i;
            last = (int)i;
            crossings++;
        }
    }
    if (crossings < 2) return 0.0;
    return (double)(crossings - 1) * RATE / (double)(last - first);
}

class LayerTest : public ::testing::Test {
protected:
    SndSystem *system = nullptr;
    std::string dir;

    void SetUp() override
    {
        dir = temp_dir();
        ASSERT_EQ(snd_system_create(&system), SND_OK);
        ASSERT_EQ(snd_system_init_loopback(system, 32, RATE), SND_OK);
    }

    void TearDown() override
    {
        if (system) snd_system_release(system);
        std::string cmd = "rm -rf '" + dir + "'";
        if (system_cmd(cmd) != 0) ADD_FAILURE() << "could not remove " << dir;
    }

    static int system_cmd(const std::string &cmd) { return ::system(cmd.c_str()); }

    Mix render(double seconds)
    {
        int frames = (int)(seconds * RATE);
        std::vector<float> data((size_t)frames * 2);
        EXPECT_EQ(snd_system_render(system, data.data(), frames), SND_OK);
        Mix m;
        for (int i = 0; i < frames; i++) {
            m.left.push_back(data[(size_t)i * 2]);
            m.right.push_back(data[(size_t)i * 2 + 1]);
        }
        return m;
    }

    SndSound *sine(const char *name, float hz, double seconds, unsigned mode, int rate = RATE,
                   int stream = 0)
    {
        std::string path = dir + "/" + name;
        write_sine(path, hz, rate, seconds);
        SndSound *s = nullptr;
        SndResult r = stream ? snd_system_create_stream(system, path.c_str(), mode, nullptr, &s)
                             : snd_system_create_sound(system, path.c_str(), mode, nullptr, &s);
        EXPECT_EQ(r, SND_OK) << snd_error_string(r);
        return s;
    }

    SndChannel play(SndSound *s)
    {
        SndChannel c = 0;
        EXPECT_EQ(snd_system_play_sound(system, SND_CHANNEL_FREE, s, 0, &c), SND_OK);
        EXPECT_NE(c, 0u);
        return c;
    }
};

TEST(LayerTexts, KnownCodesHaveTheirOwnTextsAndOthersAreUnknown)
{
    EXPECT_STREQ(snd_error_string(SND_OK), "No errors.");
    EXPECT_STREQ(snd_error_string(-1), "Unknown error.");
    EXPECT_STREQ(snd_error_string(SND_ERR_ALREADY_INITIALIZED + 1), "Unknown error.");
    EXPECT_STREQ(snd_error_string(100000), "Unknown error.");
    for (int code = SND_ERR_INVALID_PARAM; code <= SND_ERR_ALREADY_INITIALIZED; code++) {
        std::string text = snd_error_string(code);
        EXPECT_NE(text, "Unknown error.") << code;
        EXPECT_NE(text, "No errors.") << code;
        for (int other = SND_ERR_INVALID_PARAM; other < code; other++)
            EXPECT_NE(text, snd_error_string(other)) << code << " and " << other;
    }
}

TEST(LayerSystem, NullArgumentsAndUninitialisedUseAreRefused)
{
    unsigned version = 0;
    EXPECT_EQ(snd_system_create(nullptr), SND_ERR_INVALID_PARAM);
    EXPECT_EQ(snd_system_get_version(nullptr, &version), SND_ERR_INVALID_PARAM);
    SndSystem *system = nullptr;
    ASSERT_EQ(snd_system_create(&system), SND_OK);
    ASSERT_EQ(snd_system_get_version(system, &version), SND_OK);
    EXPECT_GE(version, SND_REQUIRED_VERSION);
    SndSound *sound = reinterpret_cast<SndSound *>(1);
    EXPECT_EQ(snd_system_create_sound(system, "sounds/hit_wall.wav", SND_EFFECT_MODE, nullptr, &sound),
              SND_ERR_UNINITIALIZED);
    EXPECT_EQ(sound, nullptr);
    SndChannelGroup *group = nullptr;
    EXPECT_EQ(snd_system_get_master_channel_group(system, &group), SND_ERR_UNINITIALIZED);
    EXPECT_EQ(snd_system_update(system), SND_ERR_UNINITIALIZED);
    EXPECT_EQ(snd_system_close(system), SND_ERR_UNINITIALIZED);
    EXPECT_EQ(snd_system_init_loopback(system, 0, RATE), SND_ERR_INVALID_PARAM);
    EXPECT_EQ(snd_system_init_loopback(system, SND_MAX_CHANNELS + 1, RATE), SND_ERR_INVALID_PARAM);
    EXPECT_EQ(snd_system_release(system), SND_OK);
}

TEST(LayerSystem, OnlyOneSystemRunsAndAClosedOneCanStartAgain)
{
    SndSystem *a = nullptr, *b = nullptr;
    ASSERT_EQ(snd_system_create(&a), SND_OK);
    ASSERT_EQ(snd_system_create(&b), SND_OK);
    ASSERT_EQ(snd_system_init_loopback(a, 8, RATE), SND_OK);
    EXPECT_EQ(snd_system_init_loopback(a, 8, RATE), SND_ERR_ALREADY_INITIALIZED);
    EXPECT_EQ(snd_system_init_loopback(b, 8, RATE), SND_ERR_ALREADY_INITIALIZED);
    EXPECT_EQ(snd_system_close(a), SND_OK);
    EXPECT_EQ(snd_system_init_loopback(b, 8, RATE), SND_OK);
    EXPECT_EQ(snd_system_release(b), SND_OK);
    EXPECT_EQ(snd_system_release(a), SND_OK);
}

// On this machine (no sound card) the ordinary init falls back to a silent
// device that the update mixes at the pace of the clock.
TEST(LayerSystem, WithoutAnOutputDeviceInitRunsSilentlyAndSoundsStillEnd)
{
    std::string dir = temp_dir();
    std::string path = dir + "/blip.wav";
    write_sine(path, TONE_HZ, RATE, 0.05);
    SndSystem *system = nullptr;
    ASSERT_EQ(snd_system_create(&system), SND_OK);
    testing::internal::CaptureStdout();
    SndResult r = snd_system_init(system, 32, 0, nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(r, SND_OK) << snd_error_string(r);
    if (out.empty()) {
        snd_system_release(system);
        GTEST_SKIP() << "this machine has a sound output";
    }
    EXPECT_EQ(out, "Sound: no output device, playing silently.\n");
    float frames[2];
    EXPECT_EQ(snd_system_render(system, frames, 1), SND_ERR_INVALID_PARAM);
    SndSound *blip = nullptr;
    ASSERT_EQ(snd_system_create_sound(system, path.c_str(), SND_EFFECT_MODE, nullptr, &blip), SND_OK);
    SndChannel c = 0;
    ASSERT_EQ(snd_system_play_sound(system, SND_CHANNEL_FREE, blip, 0, &c), SND_OK);
    float hz = 0.0f;
    EXPECT_EQ(snd_channel_get_frequency(c, &hz), SND_OK);
    // 50 ms of sound: after 200 ms and an update it has ended.
    usleep(200000);
    EXPECT_EQ(snd_system_update(system), SND_OK);
    EXPECT_EQ(snd_channel_get_frequency(c, &hz), SND_ERR_INVALID_HANDLE);
    EXPECT_EQ(snd_system_release(system), SND_OK);
    unlink(path.c_str());
    rmdir(dir.c_str());
}

TEST_F(LayerTest, MissingUnreadableAndUnsupportedFilesAreRefused)
{
    SndSound *s = reinterpret_cast<SndSound *>(1);
    std::string missing = dir + "/missing.wav";
    EXPECT_EQ(snd_system_create_sound(system, missing.c_str(), SND_EFFECT_MODE, nullptr, &s),
              SND_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(snd_system_create_stream(system, missing.c_str(), SND_MUSIC_MODE, nullptr, &s),
              SND_ERR_FILE_NOT_FOUND);

    std::string text = dir + "/notes.wav";
    FILE *f = fopen(text.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs("not a sound at all\n", f);
    fclose(f);
    EXPECT_EQ(snd_system_create_sound(system, text.c_str(), SND_EFFECT_MODE, nullptr, &s), SND_ERR_FILE_BAD);
    EXPECT_EQ(s, nullptr);

    std::string three = dir + "/three.wav";
    write_sine(three, TONE_HZ, RATE, 0.1, 3);
    EXPECT_EQ(snd_system_create_sound(system, three.c_str(), SND_EFFECT_MODE, nullptr, &s), SND_ERR_FILE_BAD);
    EXPECT_EQ(snd_system_create_sound(system, nullptr, SND_EFFECT_MODE, nullptr, &s), SND_ERR_INVALID_PARAM);
}

TEST_F(LayerTest, APlayedEffectIsHeardUntilItEndsThenItsChannelIsStale)
{
    SndSound *tone = sine("tone.wav", TONE_HZ, 0.3, SND_EFFECT_MODE);
    Mix quiet = render(0.05);
    EXPECT_LT(rms(quiet.left) + rms(quiet.right), 1e-6);
    SndChannel c = play(tone);
    Mix m = render(0.5);
    EXPECT_GT(rms(m.left, 0, RATE / 10), 0.05);
    EXPECT_GT(rms(m.right, 0, RATE / 10), 0.05);
    EXPECT_NEAR(measured_hz(std::vector<float>(m.left.begin(), m.left.begin() + RATE / 5)), TONE_HZ, 10.0);
    EXPECT_LT(rms(m.left, (size_t)(0.35 * RATE), m.left.size()), 1e-4);
    float hz = 0.0f;
    EXPECT_EQ(snd_channel_get_frequency(c, &hz), SND_ERR_INVALID_HANDLE);
    EXPECT_EQ(snd_channel_stop(c), SND_ERR_INVALID_HANDLE);
}

TEST_F(LayerTest, AChannelStartsAtItsSoundsRateAndARaisedRateRaisesThePitch)
{
    SndSound *slow = sine("slow.wav", TONE_HZ / 2, 2.0, SND_EFFECT_MODE, RATE / 2);
    SndChannel c = play(slow);
    float hz = 0.0f;
    ASSERT_EQ(snd_channel_get_frequency(c, &hz), SND_OK);
    EXPECT_EQ(hz, (float)(RATE / 2));
    Mix before = render(0.25);
    EXPECT_NEAR(measured_hz(before.left), TONE_HZ / 2, 5.0);

    // The title raise: 21165 Hz above a 44.1 kHz sound's own rate, here
    // scaled to a 22.05 kHz sound: the same ratio, 1.48.
    ASSERT_EQ(snd_channel_set_frequency(c, hz + 21165.0f / 2), SND_OK);
    ASSERT_EQ(snd_channel_get_frequency(c, &hz), SND_OK);
    EXPECT_EQ(hz, (float)(RATE / 2) + 21165.0f / 2);
    Mix after = render(0.25);
    double ratio = measured_hz(std::vector<float>(after.left.begin() + RATE / 50, after.left.end())) /
                   (TONE_HZ / 2);
    EXPECT_NEAR(ratio, (RATE + 21165.0) / RATE, 0.01);

    // A rate that cannot be played is refused and changes nothing.
    EXPECT_EQ(snd_channel_set_frequency(c, -1.0f), SND_ERR_INVALID_PARAM);
    EXPECT_EQ(snd_channel_set_frequency(c, NAN), SND_ERR_INVALID_PARAM);
    ASSERT_EQ(snd_channel_get_frequency(c, &hz), SND_OK);
    EXPECT_EQ(hz, (float)(RATE / 2) + 21165.0f / 2);
    EXPECT_EQ(snd_channel_get_frequency(c, nullptr), SND_ERR_INVALID_PARAM);
}

TEST_F(LayerTest, VolumeScalesTheSoundAndZeroSilencesIt)
{
    SndSound *tone = sine("tone.wav", TONE_HZ, 2.0, SND_EFFECT_MODE);
    SndChannel c = play(tone);
    double full = rms(render(0.2).left);
    ASSERT_GT(full, 0.05);
    ASSERT_EQ(snd_channel_set_volume(c, 0.6f), SND_OK);
    Mix m = render(0.2);
    EXPECT_NEAR(rms(m.left, RATE / 20, m.left.size()) / full, 0.6, 0.03);
    ASSERT_EQ(snd_channel_set_volume(c, 0.0f), SND_OK);
    m = render(0.2);
    EXPECT_LT(rms(m.left, RATE / 20, m.left.size()), 1e-4);
    EXPECT_LT(rms(m.right, RATE / 20, m.right.size()), 1e-4);
    // Out of range volumes are held to 0..1.
    ASSERT_EQ(snd_channel_set_volume(c, 7.0f), SND_OK);
    m = render(0.2);
    EXPECT_NEAR(rms(m.left, RATE / 20, m.left.size()) / full, 1.0, 0.03);
}

TEST_F(LayerTest, PanMovesAMonoSoundBetweenTheSides)
{
    SndSound *tone = sine("tone.wav", TONE_HZ, 2.0, SND_EFFECT_MODE);
    SndChannel c = play(tone);
    Mix centre = render(0.2);
    EXPECT_NEAR(rms(centre.left) / rms(centre.right), 1.0, 0.02);

    ASSERT_EQ(snd_channel_set_pan(c, -1.0f), SND_OK);
    Mix left = render(0.2);
    double l = rms(left.left, RATE / 20, left.left.size());
    double r = rms(left.right, RATE / 20, left.right.size());
    EXPECT_GT(l, 4.0 * r);

    ASSERT_EQ(snd_channel_set_pan(c, 1.0f), SND_OK);
    Mix right = render(0.2);
    l = rms(right.left, RATE / 20, right.left.size());
    r = rms(right.right, RATE / 20, right.right.size());
    EXPECT_GT(r, 4.0 * l);

    // Half way to the left: louder left, but both sides sound.
    ASSERT_EQ(snd_channel_set_pan(c, -0.5f), SND_OK);
    Mix half = render(0.2);
    l = rms(half.left, RATE / 20, half.left.size());
    r = rms(half.right, RATE / 20, half.right.size());
    EXPECT_GT(l, 1.2 * r);
    EXPECT_GT(r, 0.05 * l);

    // Beyond the range (a ball past x = 100 on a larger grid): held at the side.
    ASSERT_EQ(snd_channel_set_pan(c, 1.52f), SND_OK);
    Mix beyond = render(0.2);
    l = rms(beyond.left, RATE / 20, beyond.left.size());
    r = rms(beyond.right, RATE / 20, beyond.right.size());
    EXPECT_GT(r, 4.0 * l);
}

TEST_F(LayerTest, StopSilencesAndStaleOrForgedHandlesChangeNothing)
{
    SndSound *tone = sine("tone.wav", TONE_HZ, 2.0, SND_EFFECT_MODE);
    SndChannel c = play(tone);
    ASSERT_GT(rms(render(0.1).left), 0.05);
    ASSERT_EQ(snd_channel_stop(c), SND_OK);
    EXPECT_LT(rms(render(0.1).left), 1e-4);
    EXPECT_EQ(snd_channel_stop(c), SND_ERR_INVALID_HANDLE);
    EXPECT_EQ(snd_channel_set_volume(c, 1.0f), SND_ERR_INVALID_HANDLE);

    // The next play takes the same slot; the old handle must not reach it.
    SndChannel d = play(tone);
    EXPECT_NE(d, c);
    EXPECT_EQ(snd_channel_set_volume(c, 0.0f), SND_ERR_INVALID_HANDLE);
    EXPECT_EQ(snd_channel_stop(c), SND_ERR_INVALID_HANDLE);
    EXPECT_GT(rms(render(0.1).left), 0.05);

    float hz = 0.0f;
    EXPECT_EQ(snd_channel_get_frequency(0, &hz), SND_ERR_INVALID_HANDLE);
    EXPECT_EQ(snd_channel_set_pan(0xffffffffu, 0.0f), SND_ERR_INVALID_HANDLE);
    EXPECT_EQ(snd_channel_set_frequency(200u, 1000.0f), SND_ERR_INVALID_HANDLE);
    EXPECT_EQ(snd_channel_stop((d & ~0xffu) | 31u), SND_ERR_INVALID_HANDLE);
    EXPECT_GT(rms(render(0.1).left), 0.05);
}

TEST_F(LayerTest, ALoopKeepsPlayingPastItsLengthAndAOneShotDoesNot)
{
    SndSound *loop = sine("loop.wav", TONE_HZ, 0.2, SND_MUSIC_MODE, RATE, 1);
    SndSound *once = sine("once.wav", TONE_HZ, 0.2, SND_EFFECT_MODE);
    SndChannel c = play(loop);
    Mix m = render(1.0);
    EXPECT_GT(rms(m.left, (size_t)(0.9 * RATE), m.left.size()), 0.05);
    float hz = 0.0f;
    EXPECT_EQ(snd_channel_get_frequency(c, &hz), SND_OK);
    ASSERT_EQ(snd_channel_stop(c), SND_OK);

    SndChannel d = play(once);
    m = render(1.0);
    EXPECT_LT(rms(m.left, (size_t)(0.3 * RATE), m.left.size()), 1e-4);
    EXPECT_EQ(snd_channel_get_frequency(d, &hz), SND_ERR_INVALID_HANDLE);
}

TEST_F(LayerTest, AStreamSoundsOnOneChannelWhileAnEffectMayOverlapItself)
{
    SndSound *music = sine("music.wav", TONE_HZ, 0.5, SND_MUSIC_MODE, RATE, 1);
    SndSound *effect = sine("effect.wav", TONE_HZ, 2.0, SND_EFFECT_MODE);
    SndChannel first = play(music);
    render(0.05);
    SndChannel second = play(music);
    float hz = 0.0f;
    EXPECT_EQ(snd_channel_get_frequency(first, &hz), SND_ERR_INVALID_HANDLE);
    EXPECT_EQ(snd_channel_get_frequency(second, &hz), SND_OK);
    ASSERT_EQ(snd_channel_stop(second), SND_OK);
    EXPECT_LT(rms(render(0.1).left), 1e-4);     // no earlier copy left running

    SndChannel a = play(effect);
    SndChannel b = play(effect);
    EXPECT_EQ(snd_channel_get_frequency(a, &hz), SND_OK);
    EXPECT_EQ(snd_channel_get_frequency(b, &hz), SND_OK);
}

TEST_F(LayerTest, AllChannelsBusyRefusesAPlayUntilOneFrees)
{
    SndSound *tone = sine("tone.wav", TONE_HZ, 2.0, SND_EFFECT_MODE);
    std::vector<SndChannel> channels;
    for (int i = 0; i < 32; i++) channels.push_back(play(tone));
    SndChannel extra = 12345;
    EXPECT_EQ(snd_system_play_sound(system, SND_CHANNEL_FREE, tone, 0, &extra), SND_ERR_CHANNEL_ALLOC);
    EXPECT_EQ(extra, 0u);
    ASSERT_EQ(snd_channel_stop(channels[7]), SND_OK);
    SndChannel again = 0;
    EXPECT_EQ(snd_system_play_sound(system, SND_CHANNEL_FREE, tone, 0, &again), SND_OK);
    EXPECT_NE(again, channels[7]);
    float hz = 0.0f;
    EXPECT_EQ(snd_channel_get_frequency(again, &hz), SND_OK);

    // Only free plays that start at once are offered.
    EXPECT_EQ(snd_system_play_sound(system, 3, tone, 0, &extra), SND_ERR_INVALID_PARAM);
    EXPECT_EQ(snd_system_play_sound(system, SND_CHANNEL_FREE, tone, 1, &extra), SND_ERR_INVALID_PARAM);
}

TEST_F(LayerTest, ReleasingAPlayingSoundStopsItsChannels)
{
    SndSound *tone = sine("tone.wav", TONE_HZ, 2.0, SND_EFFECT_MODE);
    SndChannel c = play(tone);
    ASSERT_GT(rms(render(0.05).left), 0.05);
    EXPECT_EQ(snd_sound_release(tone), SND_OK);
    float hz = 0.0f;
    EXPECT_EQ(snd_channel_get_frequency(c, &hz), SND_ERR_INVALID_HANDLE);
    EXPECT_LT(rms(render(0.05).left), 1e-4);
    EXPECT_EQ(snd_sound_release(nullptr), SND_ERR_INVALID_PARAM);
}

TEST_F(LayerTest, GroupsAreMadeAndChannelsJoinThem)
{
    SndChannelGroup *effects = nullptr, *master = nullptr;
    ASSERT_EQ(snd_system_create_channel_group(system, "Effects", &effects), SND_OK);
    ASSERT_EQ(snd_system_get_master_channel_group(system, &master), SND_OK);
    ASSERT_NE(effects, nullptr);
    ASSERT_NE(master, nullptr);
    EXPECT_NE(effects, master);
    EXPECT_EQ(snd_channel_set_channel_group(0, effects), SND_ERR_INVALID_HANDLE);
    SndChannel c = play(sine("tone.wav", TONE_HZ, 1.0, SND_EFFECT_MODE));
    EXPECT_EQ(snd_channel_set_channel_group(c, effects), SND_OK);
    EXPECT_EQ(snd_channel_set_channel_group(c, nullptr), SND_ERR_INVALID_PARAM);
}

// A pause holds every sounding channel where it is: the mix is silent, and
// after it the sound goes on with the very samples it would have played
// next (a restart from the beginning would not match them), as does an
// effect cut off mid-way. A play made while paused waits for the resume.
TEST_F(LayerTest, APauseHoldsEveryChannelWhereItIsAndTheResumeGoesOnFromThere)
{
    // A tone that rises steadily, so that every position in it sounds different.
    std::string path = dir + "/sweep.wav";
    {
        SF_INFO info = {};
        info.samplerate = RATE;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::vector<float> data(RATE * 2);
        double phase = 0.0;
        for (size_t i = 0; i < data.size(); i++) {
            phase += 2 * PI * (200.0 + 400.0 * (double)i / RATE) / RATE;
            data[i] = 0.5f * (float)sin(phase);
        }
        sf_writef_float(f, data.data(), (sf_count_t)data.size());
        sf_close(f);
    }
    SndSound *music = nullptr;
    ASSERT_EQ(snd_system_create_stream(system, path.c_str(), SND_MUSIC_MODE, nullptr, &music), SND_OK);
    SndSound *effect = sine("effect.wav", TONE_HZ, 1.0, SND_EFFECT_MODE);

    // Straight through: the reference.
    play(music);
    Mix straight = render(0.6);
    ASSERT_EQ(snd_system_close(system), SND_OK);
    ASSERT_EQ(snd_system_init_loopback(system, 32, RATE), SND_OK);
    ASSERT_EQ(snd_system_create_stream(system, path.c_str(), SND_MUSIC_MODE, nullptr, &music), SND_OK);

    // Held after 0.3 s for 0.5 s, with an effect played into the pause.
    SndChannel c = play(music);
    Mix before = render(0.3);
    ASSERT_EQ(snd_system_set_paused(system, 1), SND_OK);
    EXPECT_EQ(snd_system_set_paused(system, 1), SND_OK);       // twice is once
    effect = sine("effect.wav", TONE_HZ, 0.1, SND_EFFECT_MODE);
    SndChannel e = play(effect);
    Mix held = render(0.5);
    EXPECT_LT(rms(held.left), 1e-6);
    EXPECT_LT(rms(held.right), 1e-6);
    float hz = 0.0f;
    EXPECT_EQ(snd_channel_get_frequency(c, &hz), SND_OK);      // a held channel is not stale
    EXPECT_EQ(snd_channel_get_frequency(e, &hz), SND_OK);
    snd_channel_stop(e);
    ASSERT_EQ(snd_system_set_paused(system, 0), SND_OK);
    Mix after = render(0.3);

    size_t n = after.left.size(), from = before.left.size();
    double diff = 0.0, restart = 0.0;
    for (size_t i = 0; i < n; i++) {
        diff = std::max(diff, (double)fabsf(after.left[i] - straight.left[from + i]));
        restart = std::max(restart, (double)fabsf(after.left[i] - straight.left[i]));
    }
    EXPECT_GT(rms(after.left), 0.1);
    EXPECT_LT(diff, 1e-3) << "the music did not go on from where it was held";
    EXPECT_GT(restart, 0.1);
    EXPECT_EQ(snd_system_set_paused(nullptr, 1), SND_ERR_INVALID_PARAM);
}

TEST_F(LayerTest, ClosingStopsEverythingAndLeavesHandlesStale)
{
    SndChannel c = play(sine("tone.wav", TONE_HZ, 2.0, SND_EFFECT_MODE));
    ASSERT_EQ(snd_system_close(system), SND_OK);
    float hz = 0.0f;
    EXPECT_EQ(snd_channel_get_frequency(c, &hz), SND_ERR_INVALID_HANDLE);
    EXPECT_EQ(snd_channel_stop(c), SND_ERR_INVALID_HANDLE);
    EXPECT_EQ(snd_system_update(system), SND_ERR_UNINITIALIZED);
}

// The shipped files (the tests run in the source tree).
TEST(ShippedSounds, EffectsAreShortAndTheLoopsJoinWithoutAClick)
{
    const char *effects[] = {"sounds/hit_wall.wav", "sounds/hit_paddle.wav", "sounds/ball_pop.wav"};
    const char *loops[] = {"sounds/intro_loop.mp3", "sounds/battle_loop.mp3"};
    for (const char *path : effects) {
        SF_INFO info = {};
        SNDFILE *f = sf_open(path, SFM_READ, &info);
        ASSERT_NE(f, nullptr) << path;
        sf_close(f);
        EXPECT_EQ(info.channels, 1) << path;             // mono, so the pan acts on it
        EXPECT_EQ(info.samplerate, RATE) << path;
        EXPECT_LT(info.frames, RATE) << path;
    }
    for (const char *path : loops) {
        SF_INFO info = {};
        SNDFILE *f = sf_open(path, SFM_READ, &info);
        ASSERT_NE(f, nullptr) << path;
        std::vector<float> s((size_t)(info.frames * info.channels));
        sf_count_t got = sf_readf_float(f, s.data(), info.frames);
        sf_close(f);
        ASSERT_EQ(got, info.frames) << path;
        EXPECT_EQ(info.samplerate, RATE) << path;
        EXPECT_GT(info.frames, 2 * RATE) << path;
        EXPECT_LT(info.frames, 60 * RATE) << path;
        double mean_step = 0.0;
        for (size_t i = info.channels; i < s.size(); i++) mean_step += fabs(s[i] - s[i - info.channels]);
        mean_step /= (double)(s.size() - info.channels);
        for (int ch = 0; ch < info.channels; ch++) {
            double joint = fabs(s[ch] - s[s.size() - info.channels + ch]);
            EXPECT_LT(joint, 4.0 * mean_step) << path;
        }
        EXPECT_GT(rms(s), 0.05) << path;
    }
}

TEST(ShippedSounds, TheLayerLoadsAllFive)
{
    SndSystem *system = nullptr;
    ASSERT_EQ(snd_system_create(&system), SND_OK);
    ASSERT_EQ(snd_system_init_loopback(system, 32, RATE), SND_OK);
    const char *files[] = {"sounds/hit_wall.wav", "sounds/hit_paddle.wav", "sounds/ball_pop.wav",
                           "sounds/intro_loop.mp3", "sounds/battle_loop.mp3"};
    for (int i = 0; i < 5; i++) {
        SndSound *s = nullptr;
        SndResult r = i < 3 ? snd_system_create_sound(system, files[i], SND_EFFECT_MODE, nullptr, &s)
                            : snd_system_create_stream(system, files[i], SND_MUSIC_MODE, nullptr, &s);
        EXPECT_EQ(r, SND_OK) << files[i] << ": " << snd_error_string(r);
        EXPECT_NE(s, nullptr) << files[i];
    }
    EXPECT_EQ(snd_system_release(system), SND_OK);
}

}  // namespace
