// params.cpp -- the parameter file "params.txt" and the console key reference.
// Owns the program-wide Params record.
#include "app/app.h"
#include "game/game.h"

#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

Params params;

enum ParamType { PARAM_INT, PARAM_FLOAT, PARAM_TEXT, PARAM_GRID };

struct ParamKey {
    const char *literal;
    ParamType type;
    size_t offset;
};

// Matched in this order; a key read from the file is the literal it equals,
// else the first literal that occurs anywhere inside it. New keys go at the
// end, so the keys above keep matching as they always have.
static const ParamKey param_keys[] = {
    {"fullscreen", PARAM_INT, offsetof(Params, fullscreen)},
    {"full_res", PARAM_TEXT, offsetof(Params, full_res)},
    {"grid_res", PARAM_GRID, offsetof(Params, grid_cols)},
    {"win_width", PARAM_INT, offsetof(Params, win_width)},
    {"win_height", PARAM_INT, offsetof(Params, win_height)},
    {"iterations", PARAM_INT, offsetof(Params, iterations)},
    {"timestep", PARAM_FLOAT, offsetof(Params, timestep)},
    {"diffusion", PARAM_FLOAT, offsetof(Params, diffusion)},
    {"viscosity", PARAM_FLOAT, offsetof(Params, viscosity)},
    {"dissipation", PARAM_FLOAT, offsetof(Params, dissipation)},
    {"turbulance", PARAM_FLOAT, offsetof(Params, turbulance)},
    {"velocity_force", PARAM_FLOAT, offsetof(Params, velocity_force)},
    {"density_source", PARAM_FLOAT, offsetof(Params, density_source)},
    {"gravity_force", PARAM_FLOAT, offsetof(Params, gravity_force)},
    {"buoyancy_force", PARAM_FLOAT, offsetof(Params, buoyancy_force)},
    {"jet_force", PARAM_FLOAT, offsetof(Params, jet_force)},
    {"emitter_rate", PARAM_FLOAT, offsetof(Params, emitter_rate)},
    {"max_jets", PARAM_INT, offsetof(Params, max_jets)},
    {"max_particles", PARAM_INT, offsetof(Params, max_particles)},
    {"block_size", PARAM_INT, offsetof(Params, block_size)},
    {"max_lives", PARAM_INT, offsetof(Params, max_lives)},
    {"paddle_width", PARAM_INT, offsetof(Params, paddle_width)},
    {"paddle_height", PARAM_INT, offsetof(Params, paddle_height)},
    {"paddle_force", PARAM_FLOAT, offsetof(Params, paddle_force)},
    {"paddle_suck", PARAM_FLOAT, offsetof(Params, paddle_suck)},
    {"paddle_blast", PARAM_FLOAT, offsetof(Params, paddle_blast)},
    {"ball_top_speed", PARAM_FLOAT, offsetof(Params, ball_top_speed)},
    {"ball_accel", PARAM_FLOAT, offsetof(Params, ball_accel)},
    {"frame_rate", PARAM_INT, offsetof(Params, frame_rate)},
    {"help_hint", PARAM_INT, offsetof(Params, help_hint)},
    {"auto_pause", PARAM_INT, offsetof(Params, auto_pause)},
    {"fullscreen_window", PARAM_INT, offsetof(Params, fullscreen_window)},
    {"record_replays", PARAM_INT, offsetof(Params, record_replays)},
    {"replay_video", PARAM_TEXT, offsetof(Params, replay_video)},
    {"replay", PARAM_TEXT, offsetof(Params, replay)},
};
static const int PARAM_KEY_COUNT = (int)(sizeof param_keys / sizeof param_keys[0]);

// The name read_params was given: the file the options page saves into.
char params_file_name[PARAM_PATH_LEN];

void set_default_params(Params *p)
{
    memset(p, 0, sizeof *p);
    p->fullscreen = 0;
    snprintf(p->full_res, sizeof p->full_res, "%s", "1024x768:32");
    p->grid_cols = 100;
    p->grid_rows = 100;
    p->win_width = 800;
    p->win_height = 600;
    p->iterations = 20;
    p->timestep = 0.1f;
    p->diffusion = 0.0001f;
    p->viscosity = 0.0f;
    p->dissipation = 0.001f;
    p->turbulance = 3.0f;
    p->velocity_force = 10.0f;
    p->density_source = 200.0f;
    p->gravity_force = 0.009f;
    p->buoyancy_force = -0.001f;
    p->jet_force = 0.1f;
    p->emitter_rate = 0.1f;
    p->max_jets = 20;
    p->max_particles = 1000;
    p->block_size = 3;
    p->max_lives = 10;
    p->paddle_width = 3;
    p->paddle_height = 15;
    p->paddle_force = 60.0f;
    p->paddle_suck = 20.0f;
    p->paddle_blast = 200.0f;
    p->ball_top_speed = 2.5f;
    p->ball_accel = 2.0f;
    p->frame_rate = 0;
    p->help_hint = 0;
    p->auto_pause = 0;
    p->fullscreen_window = 0;
    p->record_replays = 0;
    p->replay_video[0] = 0;
    p->replay[0] = 0;
}

static int is_blank(char c) { return isspace((unsigned char)c) != 0; }

// Copies the run of non-blank characters at s into out (cut to its size) and
// returns the position after the whole run.
static const char *read_token(const char *s, char *out, size_t out_size)
{
    size_t n = 0;
    while (*s && !is_blank(*s)) {
        if (n + 1 < out_size) out[n++] = *s;
        s++;
    }
    out[n] = 0;
    return s;
}

// The decimal floating-point number at the start of text (sign, digits,
// fraction, exponent), 0.0 when there is none. No hex, "inf" or "nan".
static float leading_float(const char *text)
{
    char number[PARAM_TEXT_LEN];
    size_t n = 0;
    const char *s = text;
    auto take = [&](char c) {
        if (n + 1 < sizeof number) number[n++] = c;
    };
    if (*s == '+' || *s == '-') take(*s++);
    int digits = 0;
    while (isdigit((unsigned char)*s)) { take(*s++); digits++; }
    if (*s == '.') {
        take(*s++);
        while (isdigit((unsigned char)*s)) { take(*s++); digits++; }
    }
    if (digits == 0) return 0.0f;
    if (*s == 'e' || *s == 'E') {
        const char *e = s + 1;
        if (*e == '+' || *e == '-') e++;
        if (isdigit((unsigned char)*e)) {
            while (s < e) take(*s++);
            while (isdigit((unsigned char)*s)) take(*s++);
        }
    }
    number[n] = 0;
    return strtof(number, nullptr);
}

void scan_param_line(const char *line, ParamLineScan *scan)
{
    const char *s = line;
    while (*s && is_blank(*s)) s++;
    s = read_token(s, scan->key, sizeof scan->key);
    scan->key_end = (size_t)(s - line);
    scan->value[0] = 0;
    scan->has_equals = 0;
    scan->equals_end = scan->value_at = scan->key_end;
    scan->value_len = 0;
    while (*s && is_blank(*s)) s++;
    if (*s == '=') {
        s++;
        scan->has_equals = 1;
        scan->equals_end = (size_t)(s - line);
        while (*s && is_blank(*s)) s++;
        scan->value_at = (size_t)(s - line);
        const char *end = read_token(s, scan->value, sizeof scan->value);
        scan->value_len = (size_t)(end - s);
    }

    // A key spelled exactly as a literal is that key, so a later key may
    // contain an earlier one ("fullscreen" inside a longer name); any other
    // key matches the first literal it contains, as it always has. No literal
    // contains an earlier one, so this changes nothing for those keys.
    scan->key_row = -1;
    for (int k = 0; k < PARAM_KEY_COUNT; k++) {
        if (strcmp(scan->key, param_keys[k].literal) == 0) {
            scan->key_row = k;
            break;
        }
    }
    for (int k = 0; k < PARAM_KEY_COUNT && scan->key_row < 0; k++)
        if (strstr(scan->key, param_keys[k].literal)) scan->key_row = k;
}

const char *param_line_key(const char *line)
{
    ParamLineScan scan;
    scan_param_line(line, &scan);
    return scan.key_row >= 0 ? param_keys[scan.key_row].literal : nullptr;
}

void parse_param_line(Params *p, const char *line, FILE *out)
{
    ParamLineScan scan;
    scan_param_line(line, &scan);
    const char *value = scan.value;
    if (scan.key_row >= 0) {
        const ParamKey *match = &param_keys[scan.key_row];
        char *field = (char *)p + match->offset;
        switch (match->type) {
        case PARAM_INT:
            *(int *)field = leading_int(value);
            break;
        case PARAM_FLOAT:
            *(float *)field = leading_float(value);
            break;
        case PARAM_TEXT:
            snprintf(field, PARAM_TEXT_LEN, "%s", value);
            break;
        case PARAM_GRID:
            // Every module copies the size from here: a negative one is an
            // empty grid everywhere.
            p->grid_cols = leading_int(value);
            if (p->grid_cols < 0) p->grid_cols = 0;
            p->grid_rows = p->grid_cols;
            break;
        }
    } else if (out) {
        fprintf(out, "Error - cannot parse: ");
    }
    if (out) fprintf(out, "%s = %s\n", scan.key, value);
}

int param_key_row(const char *name)
{
    for (int k = 0; k < PARAM_KEY_COUNT; k++)
        if (strcmp(name, param_keys[k].literal) == 0) return k;
    return -1;
}

const char *param_key_name(int row)
{
    return row >= 0 && row < PARAM_KEY_COUNT ? param_keys[row].literal : "";
}

// Reads one line into buf (cut to its size) and drops the rest of a longer
// line. Returns 0 at the end of the file.
static int read_line(FILE *f, char *buf, int size)
{
    if (!fgets(buf, size, f)) return 0;
    size_t len = strlen(buf);
    if (len + 1 == (size_t)size && buf[len - 1] != '\n') {
        int c;
        while ((c = fgetc(f)) != EOF && c != '\n') {
        }
    }
    return 1;
}

int read_param_line(FILE *f, char *line, int size, int *used)
{
    int first = fgetc(f);
    if (first == EOF) return 0;
    ungetc(first, f);
    if (!read_line(f, line, size)) return 0;
    // An empty line ends in "\n", or in "\r\n" in a file from Windows.
    *used = !(first == '\n' || first == '#' || strcmp(line, "\r\n") == 0);
    return 1;
}

// Only a regular file: a directory cannot be read and a pipe would block.
static FILE *open_regular_file(const char *file_name)
{
    struct stat st;
    if (stat(file_name, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    return fopen(file_name, "r");
}

void read_params(const char *file_name)
{
    set_default_params(&params);
    snprintf(params_file_name, sizeof params_file_name, "%s", file_name);
    FILE *f = open_regular_file(file_name);
    if (!f) {
        printf("Error: Could not open parameter file.  Using default parameters.\n");
        // The top-ten file is read all the same, so that a later save keeps
        // the rows it holds.
        load_high_scores();
        return;
    }
    printf("Properties: \n");
    char line[PARAM_LINE_LEN];
    int used;
    while (read_param_line(f, line, sizeof line, &used))
        if (used) parse_param_line(&params, line, stdout);
    fclose(f);
    load_high_scores();
}

void print_key_reference(void)
{
    static const char *const lines[] = {
        "Right Mouse Button  |  Inject densities (ink)\n",
        "Left Mouse Button   |  Drag the mouse to add velocities\n",
        "Middle Mouse Button |  Create jets (LMB emits particles, RMB emits densities) \n",
        "'1'                 |  Cycle 3d density depth\n",
        "'2'                 |  Toggle dye shader\n",
        "'3'                 |  Toggle velocity shader\n",
        "'4'                 |  Toggle pressure shader\n",
        "'5'                 |  Toggle divergence shader\n",
        "'6'                 |  Toggle curl shader\n",
        "'7'                 |  Toggle velocity grid\n",
        "'8'                 |  Toggle velocity lines\n",
        "'9'                 |  Toggle vorticity lines\n",
        "'w'                 |  Toggle wall mode (LMB creates walls, RMB clears walls)\n",
        "'s'                 |  Toggle sink mode (LMB creates sinks, RMB creates waves)\n",
        "'g'                 |  Toggle gravity\n",
        "'b'                 |  Toggle buoyancy\n",
        "'v'                 |  Toggle vorticity confinement\n",
        "'r'                 |  Randomize 3d density colors\n",
        "'c'                 |  Clear the simulation\n",
        "Spacebar            |  Pause the simulation\n",
        "'F1'                |  Switch back to Fluxball\n",
        "'F2'                |  Toggle Fullscreen mode\n",
        "'q'                 |  Quit\n",
    };
    static const int SEPARATOR_LEN = 76;
    char separator[SEPARATOR_LEN + 1];
    memset(separator, '-', SEPARATOR_LEN);
    separator[SEPARATOR_LEN] = 0;

    printf("\n\nFluid Solver Keybinds:\n\n");
    printf("  Key                  Description\n");
    printf("%s\n", separator);
    for (const char *line : lines) printf("%s", line);
    printf("%s\n", separator);
    printf("\n%s\n", "Fluxball - a fluid toy and a paddle game in one window");
}
