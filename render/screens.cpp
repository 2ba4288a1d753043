// screens.cpp -- the game's messages: the banner after a point, the serve
// countdown, and the full-page texts (welcome page, congratulation page with
// the name being typed, game-over lines and the top-ten scoreboard, with a
// notice when the table could not be saved). Owns the on/off state of the
// name cursor; its frame counter is `cursor_blink`.
//
// The banner and the countdown go into banner_text and center_text, which
// the frame draws last; the pages are drawn at once.
#include "render/render.h"
#include "game/game.h"

#include <GL/gl.h>

static int cursor_on;                   // the name cursor is drawn this frame

static const int CURSOR_PERIOD = 9;     // frames the cursor stays off
static const float ROW_STEP = 0.05f;    // view units between table rows
// The notice of a failed save: between the game-over lines and the table's
// heading, one row step from each, so that it covers neither wherever the
// rows themselves stay apart.
static const float NOT_SAVED_X = 0.3f, NOT_SAVED_Y = 0.8f;

void draw_game_texts(void)
{
    if (game.banner_frames > 0) {
        if (game.banner_level_up)
            snprintf(banner_text, sizeof banner_text, "  LEVEL UP!");
        else if (game.lives > 1)
            snprintf(banner_text, sizeof banner_text, "%d LIVES LEFT!", game.lives);
        else if (game.game_over == 0)
            snprintf(banner_text, sizeof banner_text, "%d LIFE LEFT!", game.lives);
    }

    if (game.playing) {
        if (game.countdown >= 2)
            snprintf(center_text, sizeof center_text, "    %d", game.countdown);
        else if (game.countdown == 1)
            snprintf(center_text, sizeof center_text, "READY...");
        else if (game.countdown == 0)
            snprintf(center_text, sizeof center_text, "FIGHT!");
    } else if (game.lives <= 0) {
        if (name_entry)
            draw_name_entry_screen();
        else
            draw_scoreboard();
    } else if (show_text) {
        draw_title_screen();
    }
}

void draw_title_screen(void)
{
    draw_text("Welcome to Fluxball!", large_font, 0.1f, 0.9f, 0.5f, 0.5f, 1.0f);
    draw_text("How to play:", large_font, 0.1f, 0.8f, 0.5f, 1.0f, 0.5f);
    static const struct {
        const char *text;
        float y;
    } rules[] = {
        {"-To move your paddle, move the mouse up and down-", 0.75f},
        {"-Hold the left mouse button to shoot a jet of plasma out of your paddle-", 0.7f},
        {"-Hold the right mouse button to suck the ball back into your paddle-", 0.65f},
        {"-Release the right mouse button to blast the ball after it has been sucked-", 0.6f},
        {"-Press F1 to switch back to the interactive solver-", 0.55f},
    };
    for (const auto &line : rules) draw_text(line.text, small_font, 0.1f, line.y, 1.0f, 1.0f, 1.0f);
    draw_text("PRESS THE SPACEBAR TO PLAY!", large_font, 0.3f, 0.4f, 0.5f, 1.0f, 1.0f);
}

void draw_name_entry_screen(void)
{
    snprintf(scratch_text, sizeof scratch_text,
             "Of the top ten players, you're ranked #%d at level %d!", game.final_rank, game.level);
    draw_text("CONGRATULATIONS!", large_font, 0.42f, 0.9f, 0.9f, 0.9f, 1.0f);
    draw_text("You've set a new high score in Fluxball!", large_font, 0.32f, 0.8f, 1.0f, 0.7f, 0.7f);
    draw_text(scratch_text, large_font, 0.3f, 0.6f, 1.0f, 0.9f, 1.0f);
    draw_text("Enter your name: ", large_font, 0.3f, 0.5f, 0.5f, 1.0f, 0.5f);

    // The cursor is a mark on the screen only, never part of the name.
    char shown[SCORE_NAME_LEN + 1];
    snprintf(shown, sizeof shown, "%s%s", name_buffer, cursor_on ? "_" : "");
    draw_text(shown, large_font, 0.5f, 0.5f, 1.0f, 1.0f, 1.0f);

    if (cursor_blink > 0) {
        cursor_on = 0;
        cursor_blink -= 1;
    } else {
        cursor_on = 1;
        cursor_blink = CURSOR_PERIOD;
    }
}

static void white_rule(float y)
{
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_LINES);
    glVertex2f(0.2f, y);
    glVertex2f(0.8f, y);
    glEnd();
}

void draw_scoreboard(void)
{
    if (score_saved == 0) {
        snprintf(scratch_text, sizeof scratch_text,
                 "You got to level %d, but did not rank in the Top Ten.", game.level);
        draw_text("G A M E  O V E R", large_font, 0.44f, 0.9f, 0.9f, 0.9f, 1.0f);
        draw_text(scratch_text, large_font, 0.3f, 0.85f, 0.1f, 1.0f, 0.5f);
    }
    if (score_save_failed)
        draw_text("The top ten could not be saved.", large_font, NOT_SAVED_X, NOT_SAVED_Y, 1.0f, 0.4f, 0.2f);
    draw_text("TOP TEN SCOREBOARD", large_font, 0.4f, 0.75f, 0.0f, 0.5f, 1.0f);
    white_rule(0.72f);
    draw_text("Rank", large_font, 0.3f, 0.67f, 0.5f, 1.0f, 0.5f);
    draw_text("Name", large_font, 0.4f, 0.67f, 0.5f, 1.0f, 0.5f);
    draw_text("Score", large_font, 0.7f, 0.67f, 0.5f, 1.0f, 0.5f);
    white_rule(0.65f);

    char number[32];
    for (int r = 1; r <= SCORE_ROWS; r++) {
        const ScoreEntry &row = high_scores[r - 1];
        float y = 0.6f - (float)(r - 1) * ROW_STEP;
        int marked = r == game.final_rank;
        float red = marked ? 1.0f : 0.8f;
        float green = marked ? 0.0f : 1.0f;
        float blue = marked ? 0.5f : 0.8f;
        snprintf(number, sizeof number, "%d", r);
        draw_text(number, large_font, 0.3f, y, red, green, blue);
        draw_text(row.name, large_font, 0.4f, y, red, green, blue);
        snprintf(number, sizeof number, "%d", row.level);
        draw_text(number, large_font, 0.7f, y, red, green, blue);
    }

    white_rule(0.1f);
    draw_text("Press the SPACEBAR to play again!", large_font, 0.35f, 0.05f, 0.5f, 1.0f, 1.0f);
}
