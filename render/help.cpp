// help.cpp -- what the window says about itself: the help page with every key
// and mouse action, the one-line hint that points to it, and the notice of a
// screenshot. All three are laid out in window pixels, not view units, so
// that the bitmap text keeps its spacing in any window, and are drawn over
// the finished frame. No state of their own beyond the page count that the
// help page reports to the keys.
#include "render/render.h"

#include <GL/gl.h>
#include <cstring>

// The small font is 8 x 13 pixels a character; lines are spaced a little wider.
static const int CHAR_PX = 8;
static const int LINE_PX = 15;
static const int DESCENT_PX = 3;        // below the baseline of the small font
static const int ASCENT_PX = 10;        // above it
static const int PANEL_MARGIN_PX = 8;   // window edge to panel
static const int PANEL_PAD_PX = 12;     // panel edge to text
static const int TITLE_PX = 18;         // height of the large font
static const int TITLE_GAP_PX = 28;     // title baseline to the first line
static const int FOOTER_GAP_PX = 22;    // last line to the footer's baseline
static const int KEY_COLUMN_CHARS = 12;
static const int DESCRIPTION_CHARS = 34;   // the longest description below
static const int COLUMN_PX = CHAR_PX * (KEY_COLUMN_CHARS + DESCRIPTION_CHARS);
static const int COLUMN_GAP_PX = 16;
static const float PANEL_ALPHA = 0.93f;  // the notice's box
static const float PAGE_ALPHA = 1.0f;    // a page hides all beneath it
// The hint and the notice sit one line above the bottom status line, the
// hint at the right, the notice at the left.
static const int LOW_LINE_PX = 24;
static const int NOTICE_PAD_PX = 4;

struct HelpLine {
    const char *key;        // nullptr: the heading of a group
    const char *text;
};

// The same groups, in the same order, as the key table of the README.
static const HelpLine help_lines[] = {
    {nullptr, "Everywhere"},
    {"Esc, q, Q", "quit (Esc first closes this page)"},
    {"h, H", "this help page on / off"},
    {"o, O", "options: arrows choose and step"},
    {"Space", "start a game; else pause / resume"},
    {"F1", "game mode / solver mode"},
    {"F2", "full screen on / off"},
    {"F12", "save a picture in screenshots/"},
    {"f", "on-screen text on / off"},
    {"m", "music on / off"},
    {"l", "level up"},
    {nullptr, "Views"},
    {"0", "plasma view"},
    {"1", "3-D density: depth 1 ... 10, off"},
    {"2 / 3 / 4", "dye / velocity / pressure view"},
    {"5 / 6", "divergence / curl view"},
    {"7", "velocity grid"},
    {"8", "velocity lines, direction, off"},
    {"9", "vorticity lines"},
    {"r", "random colours of the 3-D view"},
    {"arrows", "step those colours by 1 degree"},
    {"[  ]", "ink hue up / down"},
    {"d", "probe: values under the pointer"},
    {"e", "wireframe"},
    {"p", "particles on / off"},
    {"t", "the ball's predicted path"},
    {nullptr, "Fluid"},
    {"b", "buoyancy on / off"},
    {"g", "gravity on / off"},
    {"v", "vorticity confinement on / off"},
    {"c", "clear the whole simulation"},
    {"w", "walls: left draws, right erases"},
    {"s", "sinks: left sink, right shockwave"},
    {nullptr, "Mouse in the game"},
    {"move", "your paddle follows up and down"},
    {"left", "shoot plasma"},
    {"right held", "suck the ball in"},
    {"right up", "blast the ball out"},
    {nullptr, "Mouse in the solver mode"},
    {"left drag", "stir the fluid"},
    {"right", "inject ink"},
    {"middle", "jet: press at its place, drag to"},
    {"", "its push, hold left (particles)"},
    {"", "and/or right (ink), let go middle"},
    {nullptr, "Typing a name for the top ten"},
    {"letters", "the name, 20 at most (h, o too)"},
    {"Backspace", "delete the last letter"},
    {"Enter", "save the name"},
    {"Esc", "quit"},
};
static const int HELP_LINE_COUNT = (int)(sizeof help_lines / sizeof help_lines[0]);

// Where the lines go in a window: columns side by side, pages one after
// the other.
struct HelpGrid {
    int columns;            // per page
    int lines;              // per column
};

static HelpGrid help_grid(int width, int height)
{
    int inner_w = width - 2 * (PANEL_MARGIN_PX + PANEL_PAD_PX);
    int first_line = height - PANEL_MARGIN_PX - PANEL_PAD_PX - TITLE_PX - TITLE_GAP_PX;
    int lowest_line = PANEL_MARGIN_PX + PANEL_PAD_PX + FOOTER_GAP_PX;
    HelpGrid g;
    g.columns = (inner_w + COLUMN_GAP_PX) / (COLUMN_PX + COLUMN_GAP_PX);
    if (g.columns < 1) g.columns = 1;
    g.lines = (first_line - lowest_line) / LINE_PX + 1;
    if (g.lines < 1) g.lines = 1;
    return g;
}

// The lines of a group, its heading included.
static int group_size(int heading)
{
    int n = 1;
    while (heading + n < HELP_LINE_COUNT && help_lines[heading + n].key) n++;
    return n;
}

// Flows the lines into columns and pages: a group starts a new column when
// it does not fit in what is left of one (a group taller than a whole column
// runs on into the next), and groups in one column are a line apart. Calls
// draw(line, column, row) for the lines of page `shown` (none for -1) and
// returns the number of pages.
template <typename Draw>
static int flow_help(HelpGrid g, int shown, Draw draw)
{
    int page = 0, column = 0, row = 0;
    auto next_column = [&]() {
        row = 0;
        if (++column == g.columns) {
            column = 0;
            page++;
        }
    };
    for (int k = 0; k < HELP_LINE_COUNT; k++) {
        if (!help_lines[k].key && row > 0) {
            if (row + 1 + group_size(k) <= g.lines)
                row++;
            else
                next_column();
        } else if (row >= g.lines) {
            next_column();
        }
        if (page == shown) draw(k, column, row);
        row++;
    }
    return page + 1;
}

void pixel_projection(void)
{
    glViewport(0, 0, win_width, win_height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, win_width, 0, win_height, -1, 1);
}

void dark_box(float x0, float y0, float x1, float y1, float alpha)
{
    glPushAttrib(GL_POLYGON_BIT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.02f, 0.02f, 0.06f, alpha);
    glRectf(x0, y0, x1, y1);
    glDisable(GL_BLEND);
    glPopAttrib();
}

int help_pages(int width, int height)
{
    return flow_help(help_grid(width, height), -1, [](int, int, int) {});
}

void draw_help_page(void)
{
    int w = win_width, h = win_height;
    if (w <= 0 || h <= 0) return;
    HelpGrid g = help_grid(w, h);
    help_page_count = help_pages(w, h);
    int page = help_page < help_page_count ? help_page : help_page_count - 1;

    pixel_projection();
    // The whole window: no text of the frame beneath shows, not even in part.
    dark_box(0, 0, (float)w, (float)h, PAGE_ALPHA);

    // The columns in use, centred in the window.
    int used = g.columns * COLUMN_PX + (g.columns - 1) * COLUMN_GAP_PX;
    int left = (w - used) / 2;
    int min_left = PANEL_MARGIN_PX + PANEL_PAD_PX;
    if (left < min_left) left = min_left;
    int title_y = h - PANEL_MARGIN_PX - PANEL_PAD_PX - TITLE_PX;
    int first_y = title_y - TITLE_GAP_PX;

    draw_text("Fluxball: keys and mouse", large_font, (float)left, (float)title_y, 0.5f, 0.5f, 1.0f);
    flow_help(g, page, [&](int k, int column, int row) {
        float x = (float)(left + column * (COLUMN_PX + COLUMN_GAP_PX));
        float y = (float)(first_y - row * LINE_PX);
        const HelpLine &line = help_lines[k];
        if (!line.key) {
            draw_text(line.text, small_font, x, y, 0.5f, 1.0f, 0.5f);
        } else {
            draw_text(line.key, small_font, x, y, 0.5f, 1.0f, 1.0f);
            draw_text(line.text, small_font, x + KEY_COLUMN_CHARS * CHAR_PX, y, 1.0f, 1.0f, 1.0f);
        }
    });

    char footer[TEXT_LEN];
    if (help_page_count == 1)
        snprintf(footer, sizeof footer, "h or Esc: close this page");
    else if (page + 1 < help_page_count)
        snprintf(footer, sizeof footer, "Page %d of %d.  h: next page   Esc: close", page + 1,
                 help_page_count);
    else
        snprintf(footer, sizeof footer, "Page %d of %d.  h or Esc: close", page + 1, help_page_count);
    draw_text(footer, small_font, (float)left, (float)(PANEL_MARGIN_PX + PANEL_PAD_PX), 0.8f, 0.8f,
              0.8f);
}

void draw_help_hint(void)
{
    static const char HINT[] = "H: keys and help";
    int x = win_width - PANEL_MARGIN_PX - (int)strlen(HINT) * CHAR_PX;
    if (x < 0) x = 0;
    pixel_projection();
    draw_text(HINT, small_font, (float)x, (float)LOW_LINE_PX, 0.7f, 0.7f, 0.7f);
}

void draw_screen_notice(void)
{
    if (!screen_notice[0] || win_width <= 0 || win_height <= 0) return;
    int width = (int)strlen(screen_notice) * CHAR_PX;
    pixel_projection();
    float x = PANEL_MARGIN_PX, y = LOW_LINE_PX;
    dark_box(x - NOTICE_PAD_PX, y - DESCENT_PX - NOTICE_PAD_PX, x + width + NOTICE_PAD_PX,
             y + ASCENT_PX + NOTICE_PAD_PX, PANEL_ALPHA);
    draw_text(screen_notice, small_font, x, y, 1.0f, 1.0f, 1.0f);
}
