// The music as the game and the frame loop drive it, through the stand-in
// sound layer: start-up, title, new games, levels, game over, the key m and
// the per-frame update.
#include "tests/support/fake_sound_layer.h"
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const float RATE = FAKE_SOUND_RATE;

class GameMusic : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake_sound_reset();
        start_program(32);          // as start-up before sound set-up
        ASSERT_EQ(fake_sound_call_count, 0);    // the early title reset is silent
        testing::internal::CaptureStdout();
        int ok = sound_init();
        std::string out = testing::internal::GetCapturedStdout();
        ASSERT_EQ(ok, 1) << out;
        game_reset_to_title();      // the second reset of start-up
    }
    void TearDown() override { stop_program(); }

    const FakeChannel &channel(SndChannel c) { return fake_channels[c]; }
    SndChannel intro(void) { return sound_set.intro_channel; }
    SndChannel battle(void) { return sound_set.battle_channel; }
};

TEST_F(GameMusic, StartUpPlaysTheIntroRaisedBy21165AndNoBattle)
{
    ASSERT_NE(intro(), 0u);
    EXPECT_TRUE(channel(intro()).playing);
    EXPECT_EQ(channel(intro()).frequency, RATE + 21165.0f);
    EXPECT_EQ(battle(), 0u);
    EXPECT_EQ(fake_sound_count_calls("play_sound"), 1);
}

TEST_F(GameMusic, ThreeLevelsRaiseTheBattleLoopAndANewGameRestartsIt)
{
    game_start();
    SndChannel first = battle();
    EXPECT_FALSE(channel(intro()).playing);
    EXPECT_TRUE(channel(first).playing);
    EXPECT_EQ(channel(first).frequency, RATE);      // the raise came before the play
    EXPECT_EQ(channel(first).volume, 0.6f);
    game_level_up();
    game_level_up();
    game_level_up();
    EXPECT_NEAR(game.music_rate, 1.3f, 1e-6f);
    EXPECT_NEAR(channel(first).frequency - RATE, (1.1f + 1.2f + 1.3f) * 1411.0f, 0.05f);

    game_start();
    EXPECT_FALSE(channel(first).playing);
    EXPECT_NE(battle(), first);
    EXPECT_EQ(channel(battle()).frequency, RATE);
}

TEST_F(GameMusic, LevelsAtTheTitleReachNoPlayingChannel)
{
    float intro_hz = channel(intro()).frequency;
    game_level_up();
    game_level_up();
    EXPECT_EQ(channel(intro()).frequency, intro_hz);
    game_start();
    EXPECT_EQ(channel(battle()).frequency, RATE);
}

TEST_F(GameMusic, GameOverBringsTheIntroBackRaisedByTheReachedMusicRate)
{
    game_start();
    game_level_up();
    game_level_up();
    SndChannel fight = battle();
    game.countdown = 2;             // the ball stays put this frame
    game.countdown_time = stub_elapsed_ms;
    game.lives = 0;
    game_update();
    ASSERT_EQ(game.game_over, 1);
    EXPECT_FALSE(channel(fight).playing);
    EXPECT_TRUE(channel(intro()).playing);
    EXPECT_NEAR(channel(intro()).frequency, RATE + 1.2f * 1411.0f, 0.01f);

    // Back at the title: the intro restarts with the title raise.
    SndChannel over = intro();
    game_reset_to_title();
    EXPECT_FALSE(channel(over).playing);
    EXPECT_EQ(channel(intro()).frequency, RATE + 21165.0f);
}

TEST_F(GameMusic, KeyMSwitchesTheMusicAndAnUnpausedFrameUpdatesTheLayer)
{
    on_keyboard('m', 0, 0);
    EXPECT_EQ(music_on, 0);
    EXPECT_EQ(channel(intro()).volume, 0.0f);
    on_keyboard('M', 0, 0);
    EXPECT_EQ(music_on, 1);
    EXPECT_EQ(channel(intro()).volume, 0.6f);

    fake_sound_clear_calls();
    on_idle();
    EXPECT_EQ(fake_sound_count_calls("system_update"), 1);
    paused = 1;
    on_idle();
    EXPECT_EQ(fake_sound_count_calls("system_update"), 1);
}

}  // namespace
