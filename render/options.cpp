// options.cpp -- the options page drawn over the finished frame: the
// settings in their groups with their values, the chosen line's account of
// itself, the page's notice and its keys. Laid out in window pixels by
// options_layout (app/), which the mouse asks as well. No state of its own
// beyond the page count it reports to the keys.
#include "render/render.h"
#include "replay/replay.h"

#include <GL/gl.h>
#include <cstring>

static const float PAGE_ALPHA = 1.0f;       // hides all beneath it
static const int BELOW_LINES = 5;           // lines between the keys and the about line
static const int NOTICE_LINES = 2;
// The chosen line: a lighter band behind it.
static const float CHOSEN_BAND[3] = {0.16f, 0.16f, 0.32f};
static const int CHOSEN_PAD_PX = 2;
static const char OPTIONS_KEYS_LONG[] = "Up, Down: choose  Left, Right: step  Del: default  o, Esc: close";
static const char OPTIONS_KEYS_SHORT[] = "Arrows: choose, step  Del: default  o: close";

// The longest head of text that fits in chars characters and ends at a
// space (or the whole width when no space is in it); sets *next to where
// the rest starts.
static int wrap_at(const char *text, int chars, const char **next)
{
    int len = (int)strlen(text);
    if (len <= chars) {
        *next = text + len;
        return len;
    }
    int cut = chars;
    while (cut > 0 && text[cut] != ' ') cut--;
    if (cut == 0) cut = chars;
    const char *rest = text + cut;
    while (*rest == ' ') rest++;
    *next = rest;
    return cut;
}

static void draw_wrapped(const char *text, int chars, int lines, float x, float y, float step,
                         float r, float g, float b)
{
    char part[OPTIONS_NOTICE_LEN];
    for (int n = 0; n < lines && *text; n++) {
        const char *next;
        int len = wrap_at(text, chars, &next);
        if (len >= (int)sizeof part) len = (int)sizeof part - 1;
        memcpy(part, text, (size_t)len);
        part[len] = 0;
        draw_text(part, small_font, x, y - step * n, r, g, b);
        text = next;
    }
}

static void band(float x0, float y0, float x1, float y1)
{
    glColor3f(CHOSEN_BAND[0], CHOSEN_BAND[1], CHOSEN_BAND[2]);
    glRectf(x0, y0, x1, y1);
}

void draw_options_page(void)
{
    int w = win_width, h = win_height;
    if (w <= 0 || h <= 0) return;
    OptionsLayout l;
    options_layout(w, h, &l);
    OptionPlace places[OPTION_PLACES];
    int n = options_flow(&l, places);
    options_page_count = places[n - 1].page + 1;
    int k = options_selected >= 0 && options_selected < OPTION_COUNT ? options_selected : 0;
    int page = 0;
    for (int i = 0; i < n; i++)
        if (places[i].setting == k) page = places[i].page;

    pixel_projection();
    glPushAttrib(GL_POLYGON_BIT);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    dark_box(0, 0, (float)w, (float)h, PAGE_ALPHA);

    char text[TEXT_LEN];
    if (options_page_count > 1)
        snprintf(text, sizeof text, "Fluxball: options (%d of %d)", page + 1, options_page_count);
    else
        snprintf(text, sizeof text, "Fluxball: options");
    draw_text(text, large_font, (float)l.left, (float)l.title_y, 0.5f, 0.5f, 1.0f);

    for (int i = 0; i < n; i++) {
        const OptionPlace &p = places[i];
        if (p.page != page) continue;
        float x = (float)p.x, y = (float)p.y;
        if (p.setting < 0) {
            draw_text(option_group_names[p.group], small_font, x, y, 0.5f, 1.0f, 0.5f);
            continue;
        }
        const OptionSetting &s = option_settings[p.setting];
        char value[OPTION_VALUE_LEN], shown[OPTION_VALUE_LEN + 8];
        describe_option_value(p.setting, option_value(p.setting), value, sizeof value);
        float value_x = x + (float)(OPTION_NAME_CHARS * l.char_px);
        if (p.setting == k) {
            band(x - CHOSEN_PAD_PX, y - l.descent_px - CHOSEN_PAD_PX, x + l.column_px,
                 y + l.ascent_px + CHOSEN_PAD_PX);
            snprintf(shown, sizeof shown, "< %s >", value);
            draw_text(s.words, small_font, x, y, 1.0f, 1.0f, 0.5f);
            draw_text(shown, small_font, value_x, y, 1.0f, 1.0f, 0.5f);
        } else {
            snprintf(shown, sizeof shown, "  %s", value);
            draw_text(s.words, small_font, x, y, 0.5f, 1.0f, 1.0f);
            draw_text(shown, small_font, value_x, y, 1.0f, 1.0f, 1.0f);
        }
    }

    // The chosen line's account of itself, the notice, the keys.
    float x = (float)l.left, step = (float)l.line_px;
    float y = (float)(l.bottom_y + BELOW_LINES * l.line_px);
    const OptionSetting &s = option_settings[k];
    draw_wrapped(s.about, l.text_chars, 1, x, y, step, 1.0f, 1.0f, 1.0f);
    describe_option_range(k, text, sizeof text);
    draw_wrapped(text, l.text_chars, 1, x, y - step, step, 0.8f, 0.8f, 0.8f);
    draw_wrapped(option_when_words[s.apply], l.text_chars, 1, x, y - 2 * step, step, 0.8f, 0.8f,
                 0.8f);
    const char *notice = options_notice;
    if (!notice[0] && (replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT))
        notice = "A replay plays: the options change nothing";
    draw_wrapped(notice, l.text_chars, NOTICE_LINES, x, y - 3 * step, step, 1.0f, 0.6f, 0.4f);
    const char *keys = l.text_chars >= (int)strlen(OPTIONS_KEYS_LONG) ? OPTIONS_KEYS_LONG
                                                                        : OPTIONS_KEYS_SHORT;
    draw_wrapped(keys, l.text_chars, 1, x, (float)l.bottom_y, step, 0.8f, 0.8f, 0.8f);
    glPopAttrib();
}
