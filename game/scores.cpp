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
// through a finished temporary file beside it (beside a link's target, so a
// link stays a link; with the file's permission bits), so a failed write
// never loses the table on disk. A folder that takes no new file leaves one
// way: the file is rewritten in place.
#include "game/game.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ScoreEntry high_scores[SCORE_ROWS];
const char *score_file_name = "scores.txt";
int name_entry;
char name_buffer[SCORE_NAME_LEN];
int name_length;
int score_saved;

enum { SCORE_LINE_LEN = 1024 };             // a line holds 1023 chars + NUL
enum { PATH_NAME_LEN = 4096 };
enum { MAX_LINK_HOPS = 40 };                // as the system's own limit on link chains
static const mode_t PERMISSION_BITS = 07777;
static const mode_t NEW_FILE_MODE = 0666;   // cut by the umask, as for any new file
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

// Whole numbers of this file and of the parameter file (see game.h).
int leading_int(const char *text)
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

// The file a save writes: the end of the chain of symbolic links that
// score_file_name names (or the name itself), so that a link stays a link and
// its target gets the new table. 0 for a loop or a name too long.
static int resolve_score_file(char *out, size_t size)
{
    if (snprintf(out, size, "%s", score_file_name) >= (int)size) return 0;
    for (int hop = 0; hop < MAX_LINK_HOPS; hop++) {
        struct stat st;
        if (lstat(out, &st) != 0 || !S_ISLNK(st.st_mode)) return 1;
        char link[PATH_NAME_LEN];
        ssize_t n = readlink(out, link, sizeof link - 1);
        if (n < 0 || n >= (ssize_t)sizeof link - 1) return 0;
        link[n] = 0;
        // A relative link is relative to the folder that holds it.
        const char *slash = strrchr(out, '/');
        int dir_len = link[0] != '/' && slash ? (int)(slash - out) + 1 : 0;
        char next[PATH_NAME_LEN];
        if (snprintf(next, sizeof next, "%.*s%s", dir_len, out, link) >= (int)sizeof next) return 0;
        memcpy(out, next, sizeof next);
    }
    return 0;
}

static int write_table(int fd)
{
    FILE *f = fdopen(fd, "w");
    if (!f) {
        close(fd);
        return 0;
    }
    int ok = 1;
    char line[SCORE_LINE_LEN];
    for (const ScoreEntry &row : high_scores) {
        snprintf(line, sizeof line, "%s = %d\n", row.name, row.level);
        if (fputs(line, f) == EOF) ok = 0;
    }
    if (fflush(f) != 0 || fsync(fileno(f)) != 0) ok = 0;
    if (fclose(f) != 0) ok = 0;
    return ok;
}

// Rewrites the file itself: the way left when its folder takes no new file.
// Only a regular file (or none yet): a pipe would block.
static int save_in_place(const char *target)
{
    struct stat st;
    if (stat(target, &st) == 0 && !S_ISREG(st.st_mode)) return 0;
    int fd = open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, NEW_FILE_MODE);
    return fd >= 0 && write_table(fd);
}

int save_high_scores(void)
{
    char target[PATH_NAME_LEN];
    char temp[PATH_NAME_LEN];
    if (!resolve_score_file(target, sizeof target) ||
        snprintf(temp, sizeof temp, "%s%s", target, TEMP_SUFFIX) >= (int)sizeof temp) {
        print_open_error();
        return 0;
    }
    struct stat st;
    int keep_mode = stat(target, &st) == 0 && S_ISREG(st.st_mode);
    mode_t mode = keep_mode ? (st.st_mode & PERMISSION_BITS) : NEW_FILE_MODE;

    // A stale temporary file from an interrupted save goes; whatever else
    // holds the name (a folder, a link) blocks the temporary file.
    struct stat tst;
    if (lstat(temp, &tst) == 0 && S_ISREG(tst.st_mode)) unlink(temp);
    int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    int ok;
    if (fd < 0) {
        ok = save_in_place(target);
    } else {
        // The mode given to open is cut by the umask; the file keeps its bits.
        if (keep_mode) fchmod(fd, mode);
        ok = write_table(fd);
        if (ok && rename(temp, target) != 0) {
            unlink(temp);
            ok = save_in_place(target);
        } else if (!ok) {
            // A table that could not be written whole never replaces the old one.
            unlink(temp);
        }
    }
    if (!ok) print_open_error();
    return ok;
}
