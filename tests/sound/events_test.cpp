// The sound events against the recording stand-in of the sound layer: the
// calls each event makes, in order, and the state they leave the channels in
// (frequency, volume, pan); set-up, its failures and its messages; shut-down.
#include "tests/support/fake_sound_layer.h"
#include "app/app.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const float RATE = FAKE_SOUND_RATE;

std::vector<std::string> ops(void)
{
    std::vector<std::string> v;
    for (int i = 0; i < fake_sound_call_count; i++) v.push_back(fake_sound_calls[i].op);
    return v;
}

const FakeSoundCall &call(int i)
{
    EXPECT_LT(i, fake_sound_call_count);
    return fake_sound_calls[i];
}

const char *path_of(const SndSound *s)
{
    int i = fake_sound_index(s);
    return i < 0 ? "" : fake_sounds[i].path;
}

int sound_init_quietly(void)
{
    testing::internal::CaptureStdout();
    int ok = sound_init();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "");
    return ok;
}

class SoundEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        sound_shutdown();
        fake_sound_reset();
        sound_set = SoundSet{};
        music_on = 1;
    }
    void TearDown() override { sound_shutdown(); }

    // Sets sound up and forgets the set-up calls.
    void start_sound(void)
    {
        ASSERT_EQ(sound_init_quietly(), 1);
        fake_sound_clear_calls();
    }

    const FakeChannel &channel(SndChannel c) { return fake_channels[c]; }
};

TEST_F(SoundEvents, BeforeSetUpNoEventReachesTheLayer)
{
    title_music();
    battle_music();
    level_music(1.1f);
    game_over_music(1.1f);
    raise_battle_pitch(PITCH_STEP_HZ);
    wall_sound();
    paddle_sound();
    point_sound();
    blast_sound(50.0f);
    sound_update();
    sound_shutdown();
    sound_shutdown();
    EXPECT_EQ(fake_sound_call_count, 0);
    // The key m still flips the flag; there is just nothing to set.
    music_switch();
    EXPECT_EQ(music_on, 0);
    music_switch();
    EXPECT_EQ(music_on, 1);
    EXPECT_EQ(fake_sound_call_count, 0);
}

TEST_F(SoundEvents, SetUpLoadsTheFiveFilesAndMakesTheGroupsInOrder)
{
    ASSERT_EQ(sound_init_quietly(), 1);
    std::vector<std::string> want = {
        "system_create", "system_get_version", "system_init",
        "system_create_sound", "system_create_sound", "system_create_sound",
        "system_create_stream", "system_create_stream",
        "system_create_channel_group", "system_create_channel_group", "system_get_master_channel_group",
        "channel_set_channel_group", "channel_set_channel_group", "channel_set_channel_group",
        "channel_set_channel_group", "channel_set_channel_group",
    };
    EXPECT_EQ(ops(), want);
    EXPECT_EQ(call(2).value, 32.0f);    // channels
    EXPECT_STREQ(path_of(sound_set.hit_wall), "sounds/hit_wall.wav");
    EXPECT_STREQ(path_of(sound_set.hit_paddle), "sounds/hit_paddle.wav");
    EXPECT_STREQ(path_of(sound_set.ball_pop), "sounds/ball_pop.wav");
    EXPECT_STREQ(path_of(sound_set.intro_loop), "sounds/intro_loop.mp3");
    EXPECT_STREQ(path_of(sound_set.battle_loop), "sounds/battle_loop.mp3");
    for (int i = 3; i < 6; i++) EXPECT_EQ(call(i).value, 16.0f) << i;
    for (int i = 6; i < 8; i++) EXPECT_EQ(call(i).value, 42.0f) << i;
    EXPECT_FALSE(fake_sounds[fake_sound_index(sound_set.hit_wall)].is_stream);
    EXPECT_TRUE(fake_sounds[fake_sound_index(sound_set.battle_loop)].is_stream);
    EXPECT_NE(sound_set.effects_group, nullptr);
    EXPECT_NE(sound_set.music_group, nullptr);
    EXPECT_NE(sound_set.master_group, nullptr);
    EXPECT_NE(sound_set.effects_group, sound_set.music_group);
    EXPECT_EQ(sound_set.version, SND_VERSION);
    // No channel has played yet: the group assignments find none.
    for (int i = 11; i < 16; i++) {
        EXPECT_EQ(call(i).channel, 0u);
        EXPECT_EQ(call(i).result, SND_ERR_INVALID_HANDLE);
    }
}

// Each creation call in turn fails: set-up stops right there with the result
// line (after the name of a file that cannot be loaded), and the exit
// handler still releases what was made.
TEST_F(SoundEvents, AFailingSetUpStepPrintsTheResultLineAndStops)
{
    struct Step {
        const char *op;
        const char *path;
        SndResult result;
    };
    const Step steps[] = {
        {"system_create", "", SND_ERR_MEMORY},
        {"system_get_version", "", SND_ERR_INVALID_PARAM},
        {"system_init", "", SND_ERR_OUTPUT_INIT},
        {"system_create_sound", "sounds/hit_wall.wav", SND_ERR_FILE_NOT_FOUND},
        {"system_create_sound", "sounds/hit_paddle.wav", SND_ERR_FILE_NOT_FOUND},
        {"system_create_sound", "sounds/ball_pop.wav", SND_ERR_FILE_BAD},
        {"system_create_stream", "sounds/intro_loop.mp3", SND_ERR_FILE_NOT_FOUND},
        {"system_create_stream", "sounds/battle_loop.mp3", SND_ERR_FILE_BAD},
        {"system_create_channel_group", "", SND_ERR_MEMORY},
        {"system_get_master_channel_group", "", SND_ERR_UNINITIALIZED},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(std::string(step.op) + " " + step.path);
        fake_sound_reset();
        sound_set = SoundSet{};
        snprintf(fake_fail_op, sizeof fake_fail_op, "%s", step.op);
        snprintf(fake_fail_path, sizeof fake_fail_path, "%s", step.path);
        fake_fail_result = step.result;
        testing::internal::CaptureStdout();
        int ok = sound_init();
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(ok, 0);
        // A file that cannot be loaded is named first.
        std::string named = *step.path ? "Error: cannot load " + std::string(step.path) + "\n" : "";
        EXPECT_EQ(out, named + "FMOD error! (" + std::to_string(step.result) + ") " +
                           snd_error_string(step.result) + "\n");
        EXPECT_EQ(sound_set.result, step.result);
        ASSERT_GT(fake_sound_call_count, 0);
        const FakeSoundCall &last = fake_sound_calls[fake_sound_call_count - 1];
        EXPECT_STREQ(last.op, step.op);
        EXPECT_EQ(last.result, step.result);

        fake_sound_clear_calls();
        sound_shutdown();
        EXPECT_EQ(fake_system_live, 0);
        sound_shutdown();
        title_music();
        EXPECT_EQ(sound_set.system, nullptr);
    }
}

TEST_F(SoundEvents, AnOldLibraryVersionPrintsBothVersionsInHexAndStops)
{
    fake_version = 0x40204u;
    testing::internal::CaptureStdout();
    int ok = sound_init();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(out, "Error!  You are using an old version of FMOD 00040204.  This program requires 00040205\n");
    EXPECT_EQ(fake_sound_count_calls("system_init"), 0);
    sound_shutdown();
    EXPECT_EQ(fake_system_live, 0);

    // The required version itself is accepted.
    fake_sound_reset();
    fake_version = SND_REQUIRED_VERSION;
    EXPECT_EQ(sound_init_quietly(), 1);
}

TEST_F(SoundEvents, ShutDownReleasesTheSoundsThenTheSystemAndMayRunTwice)
{
    start_sound();
    SndSound *order[5] = {sound_set.hit_wall, sound_set.hit_paddle, sound_set.ball_pop,
                          sound_set.intro_loop, sound_set.battle_loop};
    title_music();
    fake_sound_clear_calls();
    sound_shutdown();
    std::vector<std::string> want = {"sound_release", "sound_release", "sound_release", "sound_release",
                                     "sound_release", "system_close", "system_release"};
    EXPECT_EQ(ops(), want);
    for (int i = 0; i < 5; i++) EXPECT_EQ(call(i).sound, order[i]) << i;
    EXPECT_EQ(fake_system_live, 0);
    EXPECT_EQ(sound_set.system, nullptr);
    EXPECT_EQ(sound_set.intro_channel, 0u);

    fake_sound_clear_calls();
    sound_shutdown();
    title_music();
    wall_sound();
    sound_update();
    EXPECT_EQ(fake_sound_call_count, 0);
}

TEST_F(SoundEvents, TitleMusicStopsTheBattleAndPlaysTheIntroRaisedBy21165)
{
    start_sound();
    battle_music();
    SndChannel battle = sound_set.battle_channel;
    fake_sound_clear_calls();
    title_music();
    std::vector<std::string> want = {"channel_stop", "play_sound", "channel_get_frequency",
                                     "channel_set_frequency"};
    ASSERT_EQ(ops(), want);
    EXPECT_EQ(call(0).channel, battle);
    EXPECT_EQ(call(0).result, SND_OK);
    EXPECT_EQ(call(1).sound, sound_set.intro_loop);
    EXPECT_EQ(call(2).channel, sound_set.intro_channel);
    EXPECT_EQ(call(3).channel, sound_set.intro_channel);
    EXPECT_FALSE(channel(battle).playing);
    EXPECT_TRUE(channel(sound_set.intro_channel).playing);
    EXPECT_EQ(channel(sound_set.intro_channel).frequency, RATE + 21165.0f);
    EXPECT_EQ(channel(sound_set.intro_channel).volume, 1.0f);   // the sound's own volume
}

TEST_F(SoundEvents, BattleMusicStopsTheIntroAndPlaysTheBattleLoopAtVolume06)
{
    start_sound();
    title_music();
    SndChannel intro = sound_set.intro_channel;
    fake_sound_clear_calls();
    battle_music();
    std::vector<std::string> want = {"channel_stop", "play_sound", "channel_set_volume"};
    ASSERT_EQ(ops(), want);
    EXPECT_EQ(call(0).channel, intro);
    EXPECT_EQ(call(1).sound, sound_set.battle_loop);
    EXPECT_EQ(call(2).channel, sound_set.battle_channel);
    EXPECT_FALSE(channel(intro).playing);
    EXPECT_EQ(channel(sound_set.battle_channel).volume, 0.6f);
    EXPECT_EQ(channel(sound_set.battle_channel).frequency, RATE);
}

TEST_F(SoundEvents, MusicSwitchedOffStillStartsTheBattleLoopAtVolume06)
{
    start_sound();
    title_music();
    music_switch();
    EXPECT_EQ(music_on, 0);
    EXPECT_EQ(channel(sound_set.intro_channel).volume, 0.0f);
    battle_music();
    EXPECT_EQ(channel(sound_set.battle_channel).volume, 0.6f);
}

TEST_F(SoundEvents, MusicSwitchFlipsTheFlagAndSetsBothMusicVolumes)
{
    start_sound();
    title_music();
    fake_sound_clear_calls();
    music_switch();
    std::vector<std::string> want = {"channel_set_volume", "channel_set_volume"};
    ASSERT_EQ(ops(), want);
    EXPECT_EQ(music_on, 0);
    EXPECT_EQ(call(0).channel, sound_set.intro_channel);
    EXPECT_EQ(call(0).value, 0.0f);
    EXPECT_EQ(call(1).channel, sound_set.battle_channel);   // never played: no channel
    EXPECT_EQ(call(1).value, 0.0f);
    EXPECT_EQ(channel(sound_set.intro_channel).volume, 0.0f);

    music_switch();
    EXPECT_EQ(music_on, 1);
    EXPECT_EQ(channel(sound_set.intro_channel).volume, 0.6f);
    battle_music();
    music_switch();
    EXPECT_EQ(channel(sound_set.battle_channel).volume, 0.0f);
    music_switch();
    EXPECT_EQ(channel(sound_set.battle_channel).volume, 0.6f);

    // Any non-zero flag counts as on.
    music_on = 5;
    music_switch();
    EXPECT_EQ(music_on, 0);
    EXPECT_EQ(channel(sound_set.battle_channel).volume, 0.0f);
}

// Levels 2, 3 and 4 of a game: music_rate 1.1, 1.2, 1.3 as the game
// increases it, each raise on top of the last.
TEST_F(SoundEvents, EachLevelRaisesTheBattleLoopByMusicRateTimes1411)
{
    start_sound();
    battle_music();
    SndChannel battle = sound_set.battle_channel;
    float music_rate = 1.0f;
    for (int level = 0; level < 3; level++) {
        music_rate += 0.1f;
        fake_sound_clear_calls();
        level_music(music_rate);
        std::vector<std::string> want = {"channel_get_frequency", "channel_set_frequency"};
        ASSERT_EQ(ops(), want);
        EXPECT_EQ(call(1).channel, battle);
        EXPECT_NEAR(call(1).value - call(0).value, music_rate * 1411.0f, 0.01f);
    }
    EXPECT_NEAR(channel(battle).frequency - RATE, (1.1f + 1.2f + 1.3f) * 1411.0f, 0.05f);

    // The next game restarts the loop at its own rate.
    battle_music();
    EXPECT_FALSE(channel(battle).playing);
    EXPECT_EQ(channel(sound_set.battle_channel).frequency, RATE);
}

TEST_F(SoundEvents, RaisesOfAStoppedBattleChannelReachNoPlayingChannel)
{
    start_sound();
    battle_music();
    title_music();
    SndChannel intro = sound_set.intro_channel;
    float intro_hz = channel(intro).frequency;
    fake_sound_clear_calls();
    raise_battle_pitch(PITCH_STEP_HZ);
    level_music(1.1f);
    ASSERT_EQ(fake_sound_call_count, 4);
    for (int i = 0; i < 4; i++) EXPECT_EQ(call(i).result, SND_ERR_INVALID_HANDLE) << i;
    EXPECT_EQ(channel(intro).frequency, intro_hz);
    EXPECT_TRUE(channel(intro).playing);
}

TEST_F(SoundEvents, GameOverBringsBackTheIntroRaisedByMusicRateTimes1411)
{
    start_sound();
    battle_music();
    SndChannel battle = sound_set.battle_channel;
    fake_sound_clear_calls();
    game_over_music(1.3f);
    std::vector<std::string> want = {"channel_stop", "play_sound", "channel_get_frequency",
                                     "channel_set_frequency"};
    ASSERT_EQ(ops(), want);
    EXPECT_EQ(call(0).channel, battle);
    EXPECT_EQ(call(1).sound, sound_set.intro_loop);
    EXPECT_FALSE(channel(battle).playing);
    EXPECT_EQ(channel(sound_set.intro_channel).frequency, RATE + 1.3f * 1411.0f);
}

// The raise acts on the previous play's channel, then a new play starts at
// the sound's own rate.
TEST_F(SoundEvents, WallAndPointSoundsSpeedUpTheEarlierPlayOfTheirKind)
{
    start_sound();
    wall_sound();
    SndChannel first = sound_set.wall_channel;
    EXPECT_EQ(channel(first).frequency, RATE);
    fake_sound_clear_calls();
    wall_sound();
    std::vector<std::string> want = {"channel_get_frequency", "channel_set_frequency", "play_sound"};
    ASSERT_EQ(ops(), want);
    EXPECT_EQ(call(0).channel, first);
    EXPECT_EQ(call(2).sound, sound_set.hit_wall);
    EXPECT_EQ(channel(first).frequency, RATE + 1411.0f);
    EXPECT_NE(sound_set.wall_channel, first);
    EXPECT_EQ(channel(sound_set.wall_channel).frequency, RATE);

    point_sound();
    SndChannel pop = sound_set.pop_channel;
    fake_sound_clear_calls();
    point_sound();
    ASSERT_EQ(ops(), want);
    EXPECT_EQ(call(0).channel, pop);
    EXPECT_EQ(call(2).sound, sound_set.ball_pop);
    EXPECT_EQ(channel(pop).frequency, RATE + 1411.0f);
    EXPECT_EQ(channel(sound_set.pop_channel).frequency, RATE);
    EXPECT_EQ(channel(sound_set.wall_channel).frequency, RATE);   // the kinds stay apart
}

TEST_F(SoundEvents, PaddleSoundOnlyPlays)
{
    start_sound();
    paddle_sound();
    SndChannel first = sound_set.paddle_channel;
    fake_sound_clear_calls();
    paddle_sound();
    std::vector<std::string> want = {"play_sound"};
    ASSERT_EQ(ops(), want);
    EXPECT_EQ(call(0).sound, sound_set.hit_paddle);
    EXPECT_EQ(channel(first).frequency, RATE);
    EXPECT_NE(sound_set.paddle_channel, first);
}

TEST_F(SoundEvents, BlastPlaysAPopRaisedBy28220AndPannedByTheBallsX)
{
    start_sound();
    point_sound();
    SndChannel earlier = sound_set.pop_channel;
    fake_sound_clear_calls();
    blast_sound(25.0f);
    std::vector<std::string> want = {"play_sound", "channel_get_frequency", "channel_set_frequency",
                                     "channel_set_pan"};
    ASSERT_EQ(ops(), want);
    EXPECT_EQ(call(0).sound, sound_set.ball_pop);
    for (int i = 1; i < 4; i++) EXPECT_EQ(call(i).channel, sound_set.pop_channel) << i;
    EXPECT_EQ(channel(sound_set.pop_channel).frequency, RATE + 28220.0f);
    EXPECT_EQ(channel(sound_set.pop_channel).pan, -0.5f);
    EXPECT_EQ(channel(earlier).frequency, RATE);        // the earlier pop is left alone

    // The width is 100 whatever the grid: -1 at 0, 0 at 50, +1 at 100.
    const float xs[] = {0.0f, 50.0f, 100.0f, 75.0f};
    const float pans[] = {-1.0f, 0.0f, 1.0f, 0.5f};
    for (int i = 0; i < 4; i++) {
        blast_sound(xs[i]);
        EXPECT_EQ(channel(sound_set.pop_channel).pan, pans[i]) << xs[i];
    }
}

TEST_F(SoundEvents, TheFrameUpdateReachesTheLayerOncePerCall)
{
    start_sound();
    sound_update();
    sound_update();
    std::vector<std::string> want = {"system_update", "system_update"};
    EXPECT_EQ(ops(), want);
}

}  // namespace
