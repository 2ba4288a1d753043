// The game's drawing: banner and countdown texts, which page each state
// shows, the scoreboard's highlighted row, the blinking name cursor, the ball
// and its predicted path.
#include "tests/render/render_fixture.h"

#include "fluid/fluid.h"
#include "game/game.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using namespace render_test;

class GameScreens : public RenderTest {
protected:
    void SetUp() override
    {
        RenderTest::SetUp();
        win_width = WINDOW_W;
        win_height = WINDOW_H;
        game_mode = 1;
        show_text = 1;
        memset(high_scores, 0, sizeof high_scores);
    }
    void TearDown() override
    {
        memset(high_scores, 0, sizeof high_scores);
        RenderTest::TearDown();
    }
    // The game texts of one frame on a cleared window.
    static Picture texts(void)
    {
        banner_text[0] = center_text[0] = scratch_text[0] = 0;
        set_projection();
        draw_game_texts();
        return grab();
    }
    // Pixels within TOLERANCE of (r, g, b) in a box above the baseline of a
    // text drawn at view position (x, y).
    static int colored(const Picture &p, float x, float y, int width, float r, float g, float b)
    {
        int px = (int)(x * WINDOW_W), py = (int)(y * WINDOW_H);
        int n = 0;
        for (int j = std::max(py - 4, 0); j < std::min(py + 16, WINDOW_H); j++)
            for (int i = px; i < std::min(px + width, WINDOW_W); i++) {
                Rgb c = p.at(i, j);
                if (std::fabs(c.r - r) < TOLERANCE && std::fabs(c.g - g) < TOLERANCE &&
                    std::fabs(c.b - b) < TOLERANCE)
                    n++;
            }
        return n;
    }
    static int title_pixels(const Picture &p) { return colored(p, 0.1f, 0.9f, 200, 0.5f, 0.5f, 1.0f); }
    static int board_pixels(const Picture &p) { return colored(p, 0.4f, 0.75f, 200, 0.0f, 0.5f, 1.0f); }
    static int game_over_pixels(const Picture &p)
    {
        return colored(p, 0.44f, 0.9f, 200, 0.9f, 0.9f, 1.0f);
    }
};

TEST_F(GameScreens, BannerNamesTheEvent)
{
    game.banner_frames = 0;
    game.lives = 3;
    texts();
    EXPECT_STREQ(banner_text, "");
    game.banner_frames = 1;
    texts();
    EXPECT_STREQ(banner_text, "3 LIVES LEFT!");
    game.lives = 1;
    texts();
    EXPECT_STREQ(banner_text, "1 LIFE LEFT!");
    game.game_over = 1;
    game.lives = 0;
    texts();
    EXPECT_STREQ(banner_text, "") << "no lives banner after the last life";
    game.banner_level_up = 1;
    texts();
    EXPECT_STREQ(banner_text, "  LEVEL UP!");
}

TEST_F(GameScreens, CountdownTextsWhilePlaying)
{
    game.playing = 1;
    const struct {
        int countdown;
        const char *text;
    } cases[] = {{3, "    3"}, {2, "    2"}, {1, "READY..."}, {0, "FIGHT!"}, {-1, ""}};
    for (const auto &c : cases) {
        game.countdown = c.countdown;
        Picture p = texts();
        EXPECT_STREQ(center_text, c.text) << "countdown " << c.countdown;
        EXPECT_EQ(title_pixels(p), 0) << "a page drawn during a game";
    }
}

TEST_F(GameScreens, PageFollowsTheStateAndTheTextSwitch)
{
    Picture p = texts();
    EXPECT_GT(title_pixels(p), 30);
    EXPECT_GT(colored(p, 0.3f, 0.4f, 280, 0.5f, 1.0f, 1.0f), 30) << "no spacebar line";
    EXPECT_GT(colored(p, 0.1f, 0.55f, 300, 1.0f, 1.0f, 1.0f), 30) << "no F1 line";
    EXPECT_EQ(board_pixels(p), 0);

    show_text = 0;
    p = texts();
    EXPECT_EQ(title_pixels(p), 0);

    // Without lives the table shows whatever the text switch says.
    game.lives = 0;
    game.game_over = 1;
    p = texts();
    EXPECT_GT(board_pixels(p), 30);
    EXPECT_GT(game_over_pixels(p), 30);
    EXPECT_EQ(title_pixels(p), 0);
}

TEST_F(GameScreens, ScoreboardHighlightsTheRankedRow)
{
    game.lives = 0;
    game.game_over = 1;
    game.final_rank = 3;
    score_saved = 1;
    for (int r = 0; r < SCORE_ROWS; r++) {
        snprintf(high_scores[r].name, sizeof high_scores[r].name, "player%d", r + 1);
        high_scores[r].level = 20 - r;
    }
    Picture p = texts();
    EXPECT_GT(board_pixels(p), 30);
    EXPECT_EQ(game_over_pixels(p), 0) << "the game-over lines after a saved name";
    for (int r = 1; r <= SCORE_ROWS; r++) {
        float y = 0.6f - (float)(r - 1) * 0.05f;
        int marked = colored(p, 0.4f, y, 120, 1.0f, 0.0f, 0.5f);
        int plain = colored(p, 0.4f, y, 120, 0.8f, 1.0f, 0.8f);
        if (r == 3) {
            EXPECT_GT(marked, 20) << "row " << r;
            EXPECT_EQ(plain, 0) << "row " << r;
        } else {
            EXPECT_EQ(marked, 0) << "row " << r;
            EXPECT_GT(plain, 20) << "row " << r;
        }
    }
    // A white rule under the column heads.
    EXPECT_GT(colored(p, 0.2f, 0.65f - 4.0f / WINDOW_H, 480, 1.0f, 1.0f, 1.0f), 300);

    game.final_rank = 0;
    score_saved = 0;
    p = texts();
    EXPECT_GT(game_over_pixels(p), 30);
    EXPECT_EQ(colored(p, 0.3f, 0.6f, 400, 1.0f, 0.0f, 0.5f), 0) << "rank 0 highlights no row";
}

// After a failed save the scoreboard says so in one line that covers none of
// its texts: every pixel the notice adds was black without it, in the
// 800 x 600 window and in the smallest one whose table rows stay apart.
TEST_F(GameScreens, ScoreboardNoticeOfAFailedSaveCoversNoText)
{
    game.lives = 0;
    game.game_over = 1;
    game.level = 3;
    for (int r = 0; r < SCORE_ROWS; r++) {
        snprintf(high_scores[r].name, sizeof high_scores[r].name, "Gypsy Quigley %d", r + 1);
        high_scores[r].level = 20 - r;
    }
    const int sizes[][2] = {{WINDOW_W, WINDOW_H}, {480, 360}};
    for (const auto &size : sizes) {
        win_width = size[0];
        win_height = size[1];
        for (int saved = 0; saved <= 1; saved++) {
            SCOPED_TRACE(std::to_string(win_width) + "x" + std::to_string(win_height) +
                         (saved ? ", name saved" : ", game-over lines"));
            score_saved = saved;
            score_save_failed = 0;
            Picture plain = texts();
            score_save_failed = 1;
            Picture notice = texts();
            int added = 0, covered = 0, stray = 0;
            int band_low = (int)(0.8f * (float)win_height) - 6;
            int band_high = (int)(0.8f * (float)win_height) + 16;
            for (int y = 0; y < WINDOW_H; y++)
                for (int x = 0; x < WINDOW_W; x++) {
                    if (notice.brightness(x, y) == plain.brightness(x, y)) continue;
                    added++;
                    if (plain.brightness(x, y) > 0.0f) covered++;
                    if (y < band_low || y > band_high) stray++;
                }
            EXPECT_GT(added, 200) << "no notice";
            EXPECT_EQ(covered, 0) << "the notice covers a text";
            EXPECT_EQ(stray, 0) << "the notice is more than one line";
        }
    }
    score_save_failed = 0;
    win_width = WINDOW_W;
    win_height = WINDOW_H;
}

TEST_F(GameScreens, NameCursorBlinksOneFrameInTenAndStaysOffTheName)
{
    game.lives = 0;
    game.game_over = 1;
    game.final_rank = 2;
    name_entry = 1;
    snprintf(name_buffer, sizeof name_buffer, "%s", "AB");
    name_length = 2;
    // White pixels on the name's line: the cursor adds an underscore.
    auto name_pixels = [](const Picture &p) { return colored(p, 0.5f, 0.5f, 80, 1.0f, 1.0f, 1.0f); };
    std::vector<int> counts;
    for (int frame = 0; frame < 40; frame++) counts.push_back(name_pixels(texts()));
    int low = *std::min_element(counts.begin(), counts.end());
    int high = *std::max_element(counts.begin(), counts.end());
    ASSERT_GT(low, 20) << "the name is not drawn";
    ASSERT_GT(high, low) << "the cursor never showed";
    std::vector<int> on;
    for (int frame = 0; frame < 40; frame++)
        if (counts[frame] == high) on.push_back(frame);
    ASSERT_GE(on.size(), 3u);
    for (size_t k = 1; k < on.size(); k++) EXPECT_EQ(on[k] - on[k - 1], 10);
    EXPECT_STREQ(name_buffer, "AB");
    EXPECT_GT(colored(texts(), 0.42f, 0.9f, 200, 0.9f, 0.9f, 1.0f), 30) << "no CONGRATULATIONS!";
}

TEST_F(GameScreens, BallIsAHaloAroundADarkCore)
{
    // GRID 10 over 800 x 600: cell (5, 5) is centred at (360, 270).
    ball.x = 5.0f;
    ball.y = 5.0f;
    set_projection();
    glPointSize(20.0f);     // as the walls leave it every frame
    draw_ball();
    Picture p = grab();
    expect_color(p.at(360, 270), 0.1f, 0.2f, 0.1f, "core");
    // The halo of the four offset points shows around the core's 20 pixels.
    Rgb halo = p.at(360 + 11, 270 + 1);
    EXPECT_GT(halo.b, 0.5f);
    EXPECT_GT(halo.g, halo.r);
    EXPECT_EQ(p.lit(0, 0, 300, 600), 0) << "the ball drew far from its place";
}

TEST_F(GameScreens, PathFollowsTheBallAndFades)
{
    ball.x = 3.0f;
    ball.y = 5.0f;
    ball.vx = 0.1f;
    ball.vy = 0.0f;
    set_projection();
    draw_trajectory();
    Picture p = grab();
    // Fifty steps of 0.1 cells: from x = 3 to 8 along row 5 (pixel y 270).
    Rgb near_start = p.at(200, 270);
    Rgb near_end = p.at(510, 270);
    EXPECT_GT(near_start.g, 0.8f);
    EXPECT_EQ(near_start.r, 0.0f);
    EXPECT_GT(near_end.g, 0.0f);
    EXPECT_LT(near_end.g, near_start.g) << "the path does not fade";
    EXPECT_EQ(p.brightness(600, 270), 0.0f) << "the path reaches past fifty steps";
}

TEST_F(GameScreens, PredictionBouncesLikeTheBall)
{
    game.court_width = game.court_height = 10;
    game.ball_top_speed = 2.5f;
    game.ball_accel = 1.0f;
    BallState b = predict_ball_step(BallState{5.0f, 2.5f, 0.0f, -1.0f});
    EXPECT_FLOAT_EQ(b.y, 2.5f);
    EXPECT_FLOAT_EQ(b.vy, 4.0f);
    b = predict_ball_step(b);
    EXPECT_FLOAT_EQ(b.vy, 2.5f) << "the next step limits the kick again";
    b = predict_ball_step(BallState{7.5f, 5.0f, 1.0f, 0.0f});
    EXPECT_FLOAT_EQ(b.x, 7.5f);
    EXPECT_FLOAT_EQ(b.vx, -1.0f);

    // A solid cell left of the player's last column (6 + 3): the kick and
    // the player's spin.
    u[cell_index(7, 5)] = 0.5f;
    wall[cell_index(7, 5)] = CELL_WALL;
    b = predict_ball_step(BallState{7.5f, 5.5f, 0.5f, 0.0f});
    EXPECT_FLOAT_EQ(b.vx, -3.0f);
    EXPECT_FLOAT_EQ(b.x, 4.5f);
    EXPECT_FLOAT_EQ(b.vy, (5.5f - player_paddle.y) * 0.3f);
    EXPECT_EQ(u[cell_index(7, 5)], 0.5f) << "the prediction changed the fluid";

    b = predict_ball_step(BallState{NAN, 5.0f, 0.0f, 0.0f});
    EXPECT_TRUE(std::isnan(b.x));
    b = predict_ball_step(BallState{5.0f, 1.0e30f, 0.0f, 0.0f});
    EXPECT_FLOAT_EQ(b.y, 1.0e30f);
}

}  // namespace
