// scores.cpp -- the top-ten table and its file "scores.txt": reading it at
// start-up, inserting a new entry, and writing the table back. Owns
// `high_scores` and the name-entry fields.
//
// File format: one "%s = %d\n" line per row (name, level), ten lines, empty
// rows as " = 0". The reader splits each line at its LAST " = ", so names
// with spaces (or even " = " inside) come back whole and empty rows come back
// empty; empty lines and "#" lines (except a row in the writer's form whose
// name starts with "#") are comments, a line without " = " and a value is
// skipped, names of 256 characters or more are cut to 255, and
// lines after the tenth row are ignored. The writer replaces the file only
// through a finished temporary file, so a failed write never loses the table
// on disk.
#include "game/game.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

ScoreEntry high_scores[SCORE_ROWS];
const char *score_file_name = "scores.txt";
int name_entry;
char name_buffer[SCORE_NAME_LEN];
int name_length;
int score_saved;

enum { SCORE_LINE_LEN = 1024 };             // a line holds 1023 chars + NUL
enum { TEMP_NAME_LEN = 4096 };
static const char SEPARATOR[] = " = ";
static const char TEMP_SUFFIX[] = ".tmp";

static void print_open_error(void) { printf("Error: Could not open score file.\n"); }

// Reads one line into buf (cut to its size; the rest of a longer line is
// dropped). Returns 0 at the end of the file.
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

// The decimal integer at the start of text: optional sign and digits, 0 when
// there are none; values beyond int are held at its limits.
static int leading_int(const char *text)
{
    const char *s = text;
    if (*s == '+' || *s == '-') s++;
    if (!isdigit((unsigned char)*s)) return 0;
    long long value = strtoll(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return (int)value;
}

// 1 when text is a decimal integer and nothing else (the writer's level).
static int is_plain_int(const char *text)
{
    if (*text == '+' || *text == '-') text++;
    if (!isdigit((unsigned char)*text)) return 0;
    while (isdigit((unsigned char)*text)) text++;
    return *text == 0;
}

// Splits "name = value" at the last separator. Returns 0 for a line without
// a separator or without a value. A line starting with "#" is a comment
// unless it has exactly the writer's form, so that a player whose name
// starts with "#" keeps the row.
static int parse_score_line(char *line, ScoreEntry *row)
{
    size_t len = strlen(line);
    while (len > 0 && (line[len - 1] == '\n' || line[len - 1] == '\r')) line[--len] = 0;
    char *sep = nullptr;
    for (char *s = strstr(line, SEPARATOR); s; s = strstr(s + 1, SEPARATOR)) sep = s;
    if (!sep) return 0;
    const char *value = sep + strlen(SEPARATOR);
    if (line[0] == '#' && !is_plain_int(value)) return 0;
    while (isspace((unsigned char)*value)) value++;
    if (*value == 0) return 0;
    *sep = 0;
    // A name too long for a row is cut to fit.
    size_t name_len = strnlen(line, sizeof row->name - 1);
    memcpy(row->name, line, name_len);
    row->name[name_len] = 0;
    row->level = leading_int(value);
    return 1;
}

void load_high_scores(void)
{
    memset(high_scores, 0, sizeof high_scores);
    struct stat st;
    FILE *f = nullptr;
    // Only a regular file: a directory cannot be read and a pipe would block.
    if (stat(score_file_name, &st) == 0 && S_ISREG(st.st_mode)) f = fopen(score_file_name, "r");
    if (!f) {
        print_open_error();
        return;
    }
    printf("\nHigh Scores: \n");
    char line[SCORE_LINE_LEN];
    int r = 0;
    while (r < SCORE_ROWS) {
        int first = fgetc(f);
        if (first == EOF) break;
        ungetc(first, f);
        if (!read_line(f, line, sizeof line)) break;
        if (first == '\n') continue;
        if (!parse_score_line(line, &high_scores[r])) continue;
        printf("%s = %d\n", high_scores[r].name, high_scores[r].level);
        r++;
    }
    fclose(f);
}

void begin_name_entry(void)
{
    memset(name_buffer, 0, sizeof name_buffer);
    name_length = 0;
    name_entry = 1;
}

void end_name_entry(void)
{
    memset(name_buffer, 0, sizeof name_buffer);
    name_length = 0;
    name_entry = 0;
}

void insert_high_score(int level)
{
    ScoreEntry *last = &high_scores[SCORE_ROWS - 1];
    snprintf(last->name, sizeof last->name, "%.*s", SCORE_NAME_LEN - 1, name_buffer);
    last->level = level;
    for (int k = SCORE_ROWS - 1; k >= 1; k--) {
        if (high_scores[k].level >= high_scores[k - 1].level) {
            ScoreEntry swap = high_scores[k];
            high_scores[k] = high_scores[k - 1];
            high_scores[k - 1] = swap;
        }
    }
    save_high_scores();
}

int save_high_scores(void)
{
    char temp_name[TEMP_NAME_LEN];
    int n = snprintf(temp_name, sizeof temp_name, "%s%s", score_file_name, TEMP_SUFFIX);
    FILE *f = n > 0 && n < (int)sizeof temp_name ? fopen(temp_name, "w") : nullptr;
    if (!f) {
        print_open_error();
        return 0;
    }
    int ok = 1;
    char line[SCORE_LINE_LEN];
    for (const ScoreEntry &row : high_scores) {
        snprintf(line, sizeof line, "%s = %d\n", row.name, row.level);
        if (fputs(line, f) == EOF) ok = 0;
    }
    if (fclose(f) != 0) ok = 0;
    if (ok && rename(temp_name, score_file_name) != 0) ok = 0;
    if (!ok) {
        remove(temp_name);
        print_open_error();
    }
    return ok;
}
