// options_layout.cpp -- where the options page puts its lines in a window of
// a given size, in window pixels from the lower left: the drawing
// (render/options.cpp) and the mouse (which line a click is on) both ask
// here, so they never disagree. No GL and no state.
#include "app/app.h"

// The small font is 8 x 13 pixels a character; lines are spaced a little
// wider. The panel's frame is the help page's.
static const int CHAR_PX = 8;
static const int LINE_PX = 15;
static const int DESCENT_PX = 3;
static const int ASCENT_PX = 10;
static const int PANEL_MARGIN_PX = 8;
static const int PANEL_PAD_PX = 12;
static const int TITLE_PX = 18;
static const int TITLE_GAP_PX = 28;
static const int FOOTER_GAP_PX = 22;
static const int COLUMN_GAP_PX = 16;
// Below the list, from the bottom: the keys, two lines of notice, then the
// chosen line's when, range and what it does.
static const int BOTTOM_LINES = 6;

void options_layout(int width, int height, OptionsLayout *l)
{
    int inner_w = width - 2 * (PANEL_MARGIN_PX + PANEL_PAD_PX);
    l->line_px = LINE_PX;
    l->char_px = CHAR_PX;
    l->ascent_px = ASCENT_PX;
    l->descent_px = DESCENT_PX;
    l->margin_px = PANEL_MARGIN_PX;
    l->column_px = CHAR_PX * (OPTION_NAME_CHARS + OPTION_SHOWN_VALUE_CHARS);
    l->column_gap_px = COLUMN_GAP_PX;
    l->columns = (inner_w + COLUMN_GAP_PX) / (l->column_px + COLUMN_GAP_PX);
    if (l->columns < 1) l->columns = 1;
    l->bottom_y = PANEL_MARGIN_PX + PANEL_PAD_PX;
    l->title_y = height - PANEL_MARGIN_PX - PANEL_PAD_PX - TITLE_PX;
    l->first_y = l->title_y - TITLE_GAP_PX;
    int lowest = l->bottom_y + (BOTTOM_LINES - 1) * LINE_PX + FOOTER_GAP_PX;
    l->rows = (l->first_y - lowest) / LINE_PX + 1;
    if (l->rows < 1) l->rows = 1;
    int used = l->columns * l->column_px + (l->columns - 1) * COLUMN_GAP_PX;
    l->left = (width - used) / 2;
    if (l->left < PANEL_MARGIN_PX + PANEL_PAD_PX) l->left = PANEL_MARGIN_PX + PANEL_PAD_PX;
    l->text_chars = (width - l->left - PANEL_MARGIN_PX - PANEL_PAD_PX) / CHAR_PX;
    if (l->text_chars < 1) l->text_chars = 1;
}

// The settings of a group, its heading not counted.
static int group_size(int first)
{
    int n = 0;
    while (first + n < OPTION_COUNT && option_settings[first + n].group == option_settings[first].group)
        n++;
    return n;
}

int options_flow(const OptionsLayout *l, OptionPlace *places)
{
    int page = 0, column = 0, row = 0, n = 0;
    auto next_column = [&]() {
        row = 0;
        if (++column == l->columns) {
            column = 0;
            page++;
        }
    };
    auto place = [&](int setting, int group) {
        places[n].setting = setting;
        places[n].group = group;
        places[n].page = page;
        places[n].column = column;
        places[n].row = row;
        places[n].x = l->left + column * (l->column_px + l->column_gap_px);
        places[n].y = l->first_y - row * l->line_px;
        n++;
        row++;
    };
    // A group starts a new column when it does not fit in what is left of
    // one (a group taller than a column runs on into the next); groups in
    // one column are a line apart.
    for (int k = 0; k < OPTION_COUNT; k++) {
        int heading = k == 0 || option_settings[k].group != option_settings[k - 1].group;
        if (heading) {
            if (row > 0) {
                if (row + 2 + group_size(k) <= l->rows)
                    row++;
                else
                    next_column();
            }
            place(-1, option_settings[k].group);
        }
        if (row >= l->rows) next_column();
        place(k, option_settings[k].group);
    }
    return n;
}

int options_pages(int width, int height)
{
    OptionsLayout l;
    options_layout(width, height, &l);
    OptionPlace places[OPTION_PLACES];
    int n = options_flow(&l, places);
    return places[n - 1].page + 1;
}

int options_page_of(int width, int height, int setting)
{
    OptionsLayout l;
    options_layout(width, height, &l);
    OptionPlace places[OPTION_PLACES];
    int n = options_flow(&l, places);
    for (int i = 0; i < n; i++)
        if (places[i].setting == setting) return places[i].page;
    return 0;
}

int option_at_pixel(int width, int height, int selected, int x, int y, int *half)
{
    if (width <= 0 || height <= 0) return -1;
    OptionsLayout l;
    options_layout(width, height, &l);
    OptionPlace places[OPTION_PLACES];
    int n = options_flow(&l, places);
    int page = 0;
    for (int i = 0; i < n; i++)
        if (places[i].setting == selected) page = places[i].page;
    int up_y = height - y;      // window y counts from the top
    for (int i = 0; i < n; i++) {
        const OptionPlace &p = places[i];
        if (p.setting < 0 || p.page != page) continue;
        // A line's band: from half the gap below its text to half above.
        int gap = (l.line_px - l.ascent_px - l.descent_px) / 2;
        if (up_y < p.y - l.descent_px - gap || up_y >= p.y - l.descent_px - gap + l.line_px) continue;
        int value_x = p.x + OPTION_NAME_CHARS * l.char_px;
        int end_x = p.x + l.column_px;
        if (x < p.x || x >= end_x) continue;
        *half = 0;
        if (x >= value_x) *half = x < (value_x + end_x) / 2 ? -1 : 1;
        return p.setting;
    }
    return -1;
}
