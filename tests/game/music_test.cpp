// The music and effects the game asks for, heard through the recording
// stand-in of the sound layer: which loop plays after each transition, at
// which pitch, and which effect each event plays.
#include "tests/support/fake_sound_layer.h"
#include "tests/support/test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

class GameMusic : public ::testing::Test {
protected:
    void SetUp() override
    {
        stub_elapsed_ms = 5000;
        start_program(100);
        memset(high_scores, 0, sizeof high_scores);
        fake_sound_reset();
        ASSERT_EQ(sound_init(), 1);
        game_reset_to_title();      // as the second reset at start-up
    }
    void TearDown() override { stop_program(); }

    static const FakeChannel &channel(SndChannel c) { return fake_channels[c]; }
    // The sounds played since the last clear, in order.
    static std::vector<const SndSound *> played(void)
    {
        std::vector<const SndSound *> out;
        for (int i = 0; i < fake_sound_call_count; i++)
            if (strcmp(fake_sound_calls[i].op, "play_sound") == 0 && fake_sound_calls[i].result == SND_OK)
                out.push_back(fake_sound_calls[i].sound);
        return out;
    }
};

TEST_F(GameMusic, LoopsFollowTitleGameLevelsAndGameOver)
{
    SndChannel intro = sound_set.intro_channel;
    ASSERT_NE(intro, 0u);
    EXPECT_EQ(channel(intro).sound, sound_set.intro_loop);
    EXPECT_EQ(channel(intro).playing, 1);
    EXPECT_FLOAT_EQ(channel(intro).frequency, FAKE_SOUND_RATE + 21165.0f);

    game_start();
    SndChannel battle = sound_set.battle_channel;
    EXPECT_EQ(channel(intro).playing, 0);
    EXPECT_EQ(channel(battle).sound, sound_set.battle_loop);
    EXPECT_EQ(channel(battle).playing, 1);
    EXPECT_FLOAT_EQ(channel(battle).volume, 0.6f);
    EXPECT_FLOAT_EQ(channel(battle).frequency, FAKE_SOUND_RATE)
        << "the raise of a new game must come before its loop starts";

    game_level_up();
    EXPECT_FLOAT_EQ(channel(battle).frequency, FAKE_SOUND_RATE + 1.1f * 1411.0f);
    game_level_up();
    EXPECT_FLOAT_EQ(channel(battle).frequency, FAKE_SOUND_RATE + 1.1f * 1411.0f + 1.2f * 1411.0f);

    game.lives = 0;
    game_update();
    ASSERT_EQ(game.game_over, 1);
    EXPECT_EQ(channel(battle).playing, 0);
    SndChannel over = sound_set.intro_channel;
    EXPECT_NE(over, intro);
    EXPECT_EQ(channel(over).playing, 1);
    EXPECT_FLOAT_EQ(channel(over).frequency, FAKE_SOUND_RATE + game.music_rate * 1411.0f);

    game_start();
    EXPECT_FLOAT_EQ(channel(sound_set.battle_channel).frequency, FAKE_SOUND_RATE)
        << "a new game starts its loop at the file's own pitch";
}

TEST_F(GameMusic, LevelUpOnTheTitlePageReachesNoPlayingLoop)
{
    SndChannel intro = sound_set.intro_channel;
    float before = channel(intro).frequency;
    game_level_up();
    EXPECT_FLOAT_EQ(channel(intro).frequency, before);
    EXPECT_EQ(channel(intro).playing, 1);
}

TEST_F(GameMusic, EventsPlayTheirEffects)
{
    game_start();
    game.countdown = -1;

    fake_sound_clear_calls();
    ball.x = 3.0f;
    ball.vx = -1.5f;
    update_ball();
    std::vector<const SndSound *> sounds = played();
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds[0], sound_set.ball_pop) << "a point pops the ball";

    fake_sound_clear_calls();
    ball.x = 40.5f;
    ball.y = 3.0f;
    ball.vy = -2.5f;
    update_ball();
    sounds = played();
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds[0], sound_set.hit_wall);

    fake_sound_clear_calls();
    ball.x = 40.5f;
    ball.y = 40.5f;
    ball.vx = ball.vy = 0.0f;
    wall[cell_index(40, 40)] = CELL_WALL;
    update_ball();
    sounds = played();
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds[0], sound_set.hit_paddle);

    fake_sound_clear_calls();
    ball.x = 75.0f;
    blast_ball(OPPONENT_ID);
    sounds = played();
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds[0], sound_set.ball_pop);
    EXPECT_FLOAT_EQ(channel(sound_set.pop_channel).pan, 75.0f * 2.0f / 100.0f - 1.0f);

    fake_sound_clear_calls();
    ball.x = 50.0f;
    ball.y = 50.0f;
    ball.vx = ball.vy = 0.0f;
    update_ball();      // open, still fluid: silent
    EXPECT_TRUE(played().empty());
}

}  // namespace
