// params_write.cpp -- writing one value back into the parameter file, for
// the options page: only the value the parser would read for that key
// changes, by the parser's own reading of the file, and the file is replaced
// whole or not at all. No state of its own.
#include "app/app.h"
#include "game/game.h"
#include "replay/replay.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A parameter file is a few kilobytes; one larger than this is not ours to
// rewrite (it is read whole into memory to be written back).
static const size_t MAX_PARAM_FILE_BYTES = (size_t)16 << 20;
static const mode_t ANY_WRITE_BITS = 0222;
static const size_t READ_CHUNK = 65536;

static int is_blank_byte(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The line end the file uses: CRLF when its first line ends so.
static const char *file_line_end(const unsigned char *text, size_t size)
{
    const unsigned char *nl = (const unsigned char *)memchr(text, '\n', size);
    return nl && nl > text && nl[-1] == '\r' ? "\r\n" : "\n";
}

// Where the line the parser applies last for key starts (-1: none) and what
// it made of it. The file is read through a memory stream with the parser's
// own line reader, so long lines, NUL bytes and comments split exactly as
// read_params splits them.
static long last_line_of_key(const unsigned char *text, size_t size, int key, ParamLineScan *found)
{
    if (size == 0) return -1;
    FILE *f = fmemopen((void *)text, size, "r");
    if (!f) return -2;
    long last = -1;
    char line[PARAM_LINE_LEN];
    ParamLineScan scan;
    for (;;) {
        long at = ftell(f);
        int used;
        if (!read_param_line(f, line, sizeof line, &used)) break;
        if (!used) continue;
        scan_param_line(line, &scan);
        if (scan.key_row == key) {
            last = at;
            *found = scan;
        }
    }
    fclose(f);
    return last;
}

// The record the parser makes of text, from the defaults; 0 without memory.
static int parse_text(const unsigned char *text, size_t size, Params *p)
{
    set_default_params(p);
    if (size == 0) return 1;
    FILE *f = fmemopen((void *)text, size, "r");
    if (!f) return 0;
    char line[PARAM_LINE_LEN];
    int used;
    while (read_param_line(f, line, sizeof line, &used))
        if (used) parse_param_line(p, line, nullptr);
    fclose(f);
    return 1;
}

// 1 when the parser reads out as it reads text with only key set to
// value_text. A line the parser reads only in part (longer than it reads,
// or split by a NUL byte) can move what it reads when its value changes
// length; such a rewrite is not used.
static int reads_as_intended(const unsigned char *text, size_t size, const unsigned char *out,
                             size_t out_size, int key, const char *value_text)
{
    Params want, got;
    if (!parse_text(text, size, &want) || !parse_text(out, out_size, &got)) return 0;
    char line[PARAM_LINE_LEN];
    snprintf(line, sizeof line, "%s = %s", param_key_name(key), value_text);
    parse_param_line(&want, line, nullptr);
    return memcmp(&want, &got, sizeof want) == 0;
}

// out = text[0, cut) + insert + text[resume, size).
static unsigned char *splice(const unsigned char *text, size_t size, size_t cut, const char *insert,
                             size_t resume, size_t *out_size)
{
    size_t ins = strlen(insert);
    size_t n = cut + ins + (size - resume);
    unsigned char *out = (unsigned char *)malloc(n ? n : 1);
    if (!out) return nullptr;
    memcpy(out, text, cut);
    memcpy(out + cut, insert, ins);
    memcpy(out + cut + ins, text + resume, size - resume);
    *out_size = n;
    return out;
}

// A line of its own at the end, which the parser reads last. A file
// without a final line end keeps lacking one.
static unsigned char *append_line(const unsigned char *text, size_t size, int key,
                                  const char *value_text, size_t *out_size)
{
    const char *name = param_key_name(key);
    const char *eol = file_line_end(text, size);
    char insert[PARAM_LINE_LEN];
    if (size == 0 || text[size - 1] == '\n')
        snprintf(insert, sizeof insert, "%s = %s%s", name, value_text, eol);
    else
        snprintf(insert, sizeof insert, "%s%s = %s", eol, name, value_text);
    return splice(text, size, size, insert, size, out_size);
}

// The value of the line that sets the key, rewritten in place (nullptr
// without memory).
static unsigned char *rewrite_in_place(const unsigned char *text, size_t size, size_t line,
                                       const ParamLineScan &scan, const char *value_text,
                                       size_t *out_size)
{
    char insert[PARAM_LINE_LEN];
    if (!scan.has_equals) {
        // "key" or "key junk": the parser reads an empty value; "key = value"
        // is made of it, the rest of the line stays behind the new value.
        snprintf(insert, sizeof insert, " = %s", value_text);
        return splice(text, size, line + scan.key_end, insert, line + scan.key_end, out_size);
    }
    if (scan.value_len == 0) {
        snprintf(insert, sizeof insert, " %s", value_text);
        return splice(text, size, line + scan.equals_end, insert, line + scan.equals_end, out_size);
    }
    // The value's whole run of characters goes, also the part past the
    // length the parser reads of a line, so that none of it moves up into
    // the part it reads.
    size_t start = line + scan.value_at, end = start;
    while (end < size && text[end] != 0 && !is_blank_byte(text[end])) end++;
    snprintf(insert, sizeof insert, "%s", value_text);
    return splice(text, size, start, insert, end, out_size);
}

unsigned char *rewrite_param_text(const unsigned char *text, size_t size, int key,
                                  const char *value_text, size_t *out_size)
{
    ParamLineScan scan;
    memset(&scan, 0, sizeof scan);
    long at = last_line_of_key(text, size, key, &scan);
    if (at == -2) return nullptr;
    if (at < 0) return append_line(text, size, key, value_text, out_size);
    unsigned char *out = rewrite_in_place(text, size, (size_t)at, scan, value_text, out_size);
    if (!out || reads_as_intended(text, size, out, *out_size, key, value_text)) return out;
    free(out);
    return append_line(text, size, key, value_text, out_size);
}

// The whole file into a malloc'd buffer; 0 or an errno (ENOENT: no file).
static int read_whole_file(const char *path, unsigned char **bytes, size_t *size)
{
    *bytes = nullptr;
    *size = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int err = errno;
        close(fd);
        return err;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    size_t cap = 0, n = 0;
    unsigned char *buf = nullptr;
    for (;;) {
        if (n + READ_CHUNK > cap) {
            cap = n + READ_CHUNK;
            unsigned char *grown = (unsigned char *)realloc(buf, cap);
            if (!grown) {
                free(buf);
                close(fd);
                return ENOMEM;
            }
            buf = grown;
        }
        ssize_t got = read(fd, buf + n, cap - n);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            int err = errno;
            free(buf);
            close(fd);
            return err;
        }
        if (got == 0) break;
        n += (size_t)got;
        if (n > MAX_PARAM_FILE_BYTES) {
            free(buf);
            close(fd);
            return EFBIG;
        }
    }
    close(fd);
    *bytes = buf;
    *size = n;
    return 0;
}

struct NewText {
    const unsigned char *bytes;
    size_t size;
};

static int write_new_text(int fd, void *ctx)
{
    const NewText *t = (const NewText *)ctx;
    int err = 0;
    if (!write_all(fd, t->bytes, t->size)) err = errno ? errno : EIO;
    if (!err && fsync(fd) != 0) err = errno;
    if (close(fd) != 0 && !err) err = errno;
    return err;
}

int save_param_value(const char *file_name, int key, const char *value_text)
{
    char target[PARAM_PATH_LEN];
    if (key < 0 || !param_key_name(key)[0]) return EINVAL;
    if (!resolve_link_target(file_name, target, sizeof target)) return ELOOP;
    unsigned char *old = nullptr;
    size_t old_size = 0;
    int err = read_whole_file(target, &old, &old_size);
    if (err == ENOENT) {
        err = 0;            // none yet: one with only this line
    } else if (err) {
        return err;
    } else {
        // Nobody may write it: whoever took the write bits away wants it kept.
        struct stat st;
        if (stat(target, &st) == 0 && (st.st_mode & ANY_WRITE_BITS) == 0) {
            free(old);
            return EACCES;
        }
    }
    NewText text;
    unsigned char *bytes = rewrite_param_text(old ? old : (const unsigned char *)"", old_size, key,
                                              value_text, &text.size);
    free(old);
    if (!bytes) return ENOMEM;
    text.bytes = bytes;
    errno = 0;
    err = replace_file(target, write_new_text, &text, 0);
    free(bytes);
    return err;
}
