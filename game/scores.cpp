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
//
// Several copies of the program may share one file. A new entry is saved
// under an advisory lock (flock) on "<target>.lock" beside the file the save
// writes: the table on disk is read again and the new row goes into it, so
// a row another copy saved since this one read the file is kept. Without a
// lock (a read-only folder, a file system without locks) the table in
// memory is written as it is.
#include "game/game.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

ScoreEntry high_scores[SCORE_ROWS];
const char *score_file_name = "scores.txt";
int name_entry;
char name_buffer[SCORE_NAME_LEN];
int name_length;
int score_saved;
int score_save_failed;

enum { SCORE_LINE_LEN = 1024 };             // a line holds 1023 chars + NUL
enum { PATH_NAME_LEN = 4096 };
enum { MAX_LINK_HOPS = 40 };                // as the system's own limit on link chains
static const mode_t PERMISSION_BITS = 07777;
static const mode_t NEW_FILE_MODE = 0666;   // cut by the umask, as for any new file
static const char SEPARATOR[] = " = ";
static const char TEMP_SUFFIX[] = ".tmp";
static const char LOCK_SUFFIX[] = ".lock";
// A copy holds the lock only for the few milliseconds of a save; one that
// holds it longer (stopped, hung) must not freeze this one's window.
static const int LOCK_WAIT_MS = 2000;
static const int LOCK_RETRY_MS = 5;

// What reading the table file found.
enum { TABLE_READ = 1, TABLE_MISSING = 0, TABLE_UNREADABLE = -1 };

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

// Reads the table at path into rows (emptied first); with echo, prints the
// heading and every row as start-up does. A file that is not a regular file
// is not read: a directory cannot be, and a pipe would block.
static int read_table(const char *path, ScoreEntry *rows, int echo)
{
    memset(rows, 0, sizeof(ScoreEntry) * SCORE_ROWS);
    struct stat st;
    if (stat(path, &st) != 0) return errno == ENOENT ? TABLE_MISSING : TABLE_UNREADABLE;
    FILE *f = S_ISREG(st.st_mode) ? fopen(path, "r") : nullptr;
    if (!f) return TABLE_UNREADABLE;
    if (echo) printf("\nHigh Scores: \n");
    char line[SCORE_LINE_LEN];
    int r = 0;
    while (r < SCORE_ROWS) {
        int first = fgetc(f);
        if (first == EOF) break;
        ungetc(first, f);
        if (!read_line(f, line, sizeof line)) break;
        if (first == '\n') continue;
        if (!parse_score_line(line, &rows[r])) continue;
        if (echo) printf("%s = %d\n", rows[r].name, rows[r].level);
        r++;
    }
    fclose(f);
    return TABLE_READ;
}

void load_high_scores(void)
{
    if (read_table(score_file_name, high_scores, 1) != TABLE_READ) print_open_error();
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

int rank_in_table(const ScoreEntry *rows, int level)
{
    int rank = SCORE_ROWS + 1;
    for (int r = SCORE_ROWS - 1; r >= 0; r--)
        if (level >= rows[r].level) rank -= 1;
    return rank == SCORE_ROWS + 1 ? 0 : rank;
}

// Puts row in place of the last one, then one pass from the bottom up moves
// it above every row of its level or lower. Returns its rank, 1..10.
static int place_row(ScoreEntry *rows, const ScoreEntry *row)
{
    int at = SCORE_ROWS - 1;
    rows[at] = *row;
    for (int k = SCORE_ROWS - 1; k >= 1; k--) {
        if (rows[k].level >= rows[k - 1].level) {
            ScoreEntry swap = rows[k];
            rows[k] = rows[k - 1];
            rows[k - 1] = swap;
            if (at == k) at = k - 1;
        }
    }
    return at + 1;
}

int resolve_link_target(const char *name, char *out, size_t size)
{
    if (snprintf(out, size, "%s", name) >= (int)size) return 0;
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
        if (strlen(next) + 1 > size) return 0;
        memcpy(out, next, strlen(next) + 1);
    }
    return 0;
}

// The errno of a call that failed, EIO when it left none.
static int last_error(void) { return errno ? errno : EIO; }

// The table's lines, written to fd (which it closes); 0 or an errno.
static int write_table(int fd, void *)
{
    FILE *f = fdopen(fd, "w");
    if (!f) {
        int err = errno;
        close(fd);
        return err;
    }
    int err = 0;
    char line[SCORE_LINE_LEN];
    for (const ScoreEntry &row : high_scores) {
        snprintf(line, sizeof line, "%s = %d\n", row.name, row.level);
        if (fputs(line, f) == EOF && !err) err = last_error();
    }
    if ((fflush(f) != 0 || fsync(fileno(f)) != 0) && !err) err = last_error();
    if (fclose(f) != 0 && !err) err = last_error();
    return err;
}

// Rewrites the file itself: the way left when its folder takes no new file.
// Only a regular file (or none yet): a pipe would block.
static int save_in_place(const char *target, FileWriter write, void *ctx)
{
    struct stat st;
    if (stat(target, &st) == 0 && !S_ISREG(st.st_mode)) return EISDIR;
    int fd = open(target, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, NEW_FILE_MODE);
    if (fd < 0) return errno;
    return write(fd, ctx);
}

int replace_file(const char *target, FileWriter write, void *ctx, int in_place)
{
    char temp[PATH_NAME_LEN];
    if (snprintf(temp, sizeof temp, "%s%s", target, TEMP_SUFFIX) >= (int)sizeof temp)
        return ENAMETOOLONG;
    struct stat st;
    int keep_mode = stat(target, &st) == 0 && S_ISREG(st.st_mode);
    mode_t mode = keep_mode ? (st.st_mode & PERMISSION_BITS) : NEW_FILE_MODE;

    // A stale temporary file from an interrupted save goes; whatever else
    // holds the name (a folder, a link) blocks the temporary file.
    struct stat tst;
    if (lstat(temp, &tst) == 0 && S_ISREG(tst.st_mode)) unlink(temp);
    int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return in_place ? save_in_place(target, write, ctx) : errno;
    // The mode given to open is cut by the umask; the file keeps its bits.
    if (keep_mode) fchmod(fd, mode);
    int err = write(fd, ctx);
    if (err) {
        // A file that could not be written whole never replaces the old one.
        unlink(temp);
        return err;
    }
    if (rename(temp, target) != 0) {
        err = errno;
        unlink(temp);
        return in_place ? save_in_place(target, write, ctx) : err;
    }
    return 0;
}

// Writes high_scores to target. Prints the message and sets
// score_save_failed when neither way reaches the file.
static int write_scores(const char *target)
{
    int ok = replace_file(target, write_table, nullptr, 1) == 0;
    if (!ok) print_open_error();
    score_save_failed = !ok;
    return ok;
}

int save_high_scores(void)
{
    char target[PATH_NAME_LEN];
    if (!resolve_link_target(score_file_name, target, sizeof target)) {
        print_open_error();
        score_save_failed = 1;
        return 0;
    }
    return write_scores(target);
}

// Takes the save lock on "<target>.lock", made if need be. Returns its file
// (closing it releases the lock), or -1 when no lock can be had. A link or
// anything but a regular file at that name is never used; a lock file left
// in a folder that became read-only still locks.
static int take_save_lock(const char *target)
{
    char path[PATH_NAME_LEN];
    if (snprintf(path, sizeof path, "%s%s", target, LOCK_SUFFIX) >= (int)sizeof path) return -1;
    // O_NONBLOCK: a pipe at the name must not block the open.
    const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = open(path, O_RDWR | O_CREAT | flags, NEW_FILE_MODE);
    if (fd < 0) fd = open(path, O_RDONLY | flags);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    const timespec pause = {0, LOCK_RETRY_MS * 1000000L};
    for (int waited = 0; waited <= LOCK_WAIT_MS; waited += LOCK_RETRY_MS) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
        if (errno != EWOULDBLOCK && errno != EINTR) break;
        nanosleep(&pause, nullptr);
    }
    close(fd);
    return -1;
}

int insert_high_score(int level)
{
    // Zeroed whole: the bytes after the name are part of the table's state.
    ScoreEntry row;
    memset(&row, 0, sizeof row);
    row.level = level;
    snprintf(row.name, sizeof row.name, "%.*s", SCORE_NAME_LEN - 1, name_buffer);

    char target[PATH_NAME_LEN];
    if (!resolve_link_target(score_file_name, target, sizeof target)) {
        int rank = place_row(high_scores, &row);
        save_high_scores();
        return rank;
    }
    int lock = take_save_lock(target);
    ScoreEntry on_disk[SCORE_ROWS];
    int rank;
    if (lock >= 0 && read_table(target, on_disk, 0) == TABLE_READ) {
        // The file may hold rows another copy saved since this one read it:
        // the new row joins the file's table, and a row that no longer
        // ranks there pushes out none of that copy's better rows.
        memcpy(high_scores, on_disk, sizeof high_scores);
        rank = rank_in_table(high_scores, level) > 0 ? place_row(high_scores, &row) : 0;
        if (rank > 0)
            write_scores(target);
        else
            score_save_failed = 0;      // the file already holds the table shown
    } else {
        // No file yet, or none to read or lock: the table in memory is saved.
        rank = place_row(high_scores, &row);
        write_scores(target);
    }
    if (lock >= 0) close(lock);
    return rank;
}
