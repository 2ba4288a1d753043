// format.cpp -- the replay file: encoding and decoding of its records,
// reading and checking a file whole before anything of it is used, and
// unpacking its parameter and score files for the launcher (without the
// launcher's own keys). Owns nothing beyond the files it is handed.
//
// The file ("*.fxr", all integers little-endian; docs/replay-format.md
// describes it for tool writers):
//   "FXREPLAY", u32 format version (1), u32 length + program version text,
//   i32 window width, i32 window height (pixels, as the window opened),
//   i32 frame_rate as read, u32 frames stepped,
//   i32 length + bytes of params.txt, then of scores.txt (-1: no file),
//   the records, each a tag byte:
//     1..8  an input event (EVENT_*), its arguments as zigzag varints; the
//           pointer positions of mouse and motion events are differences to
//           the previous pointer position recorded (0, 0 at the start)
//     16    a frame: varint n, then the n clock values it read, each as the
//           zigzag varint difference to the previous clock value (0 first)
//     17    u32 state checksum after the frame before it
//     18    the end: u8 flags (1: the last event ended the session and is not
//           played back), u32 state checksum at exit
//     19    a change on the options page: varint key table row, then the value
//           (zigzag varint, or a real's u32 float bits); delivered in order
//           with the events before the next frame
//   and a u32 CRC-32 of all the bytes before it.
#include "replay/replay.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

const unsigned char REPLAY_MAGIC[8] = {'F', 'X', 'R', 'E', 'P', 'L', 'A', 'Y'};
static const size_t FIRST_CAPACITY = 64 << 10;
static const char FIRST_PRINTABLE = ' ', LAST_PRINTABLE = '~';

// ---------------------------------------------------------------------------
// Bytes: a growing buffer to write into, a bounded reader
// ---------------------------------------------------------------------------

void put_bytes(ByteBuffer *b, const void *data, size_t n)
{
    if (b->failed || n == 0) return;    // an empty buffer has no bytes to copy
    if (b->size + n > b->capacity) {
        size_t cap = b->capacity ? b->capacity : FIRST_CAPACITY;
        while (cap < b->size + n) cap *= 2;
        unsigned char *grown = (unsigned char *)realloc(b->bytes, cap);
        if (!grown) {
            b->failed = 1;
            return;
        }
        b->bytes = grown;
        b->capacity = cap;
    }
    memcpy(b->bytes + b->size, data, n);
    b->size += n;
}

void free_buffer(ByteBuffer *b)
{
    free(b->bytes);
    memset(b, 0, sizeof *b);
}

void put_u8(ByteBuffer *b, unsigned value)
{
    unsigned char c = (unsigned char)value;
    put_bytes(b, &c, 1);
}

void put_u32(ByteBuffer *b, uint32_t value)
{
    unsigned char c[4] = {(unsigned char)value, (unsigned char)(value >> 8),
                          (unsigned char)(value >> 16), (unsigned char)(value >> 24)};
    put_bytes(b, c, sizeof c);
}

void put_varint(ByteBuffer *b, uint32_t value)
{
    unsigned char c[5];
    int n = 0;
    while (value >= 0x80) {
        c[n++] = (unsigned char)(value | 0x80);
        value >>= 7;
    }
    c[n++] = (unsigned char)value;
    put_bytes(b, c, (size_t)n);
}

// Signed values as zigzag varints: small magnitudes of either sign are short.
void put_svarint(ByteBuffer *b, int32_t value)
{
    uint32_t u = (uint32_t)value;
    put_varint(b, (u << 1) ^ (value < 0 ? 0xFFFFFFFFu : 0u));
}

// The sum with a previous value wraps like wrap_diff.
int32_t wrap_diff(int value, int previous) { return (int32_t)((uint32_t)value - (uint32_t)previous); }
static int wrap_add(int previous, int32_t diff) { return (int)(int32_t)((uint32_t)previous + (uint32_t)diff); }

int get_u8(Reader *r, unsigned *value)
{
    if (r->pos >= r->end) {
        r->short_read = 1;
        return 0;
    }
    *value = r->bytes[r->pos++];
    return 1;
}

int get_u32(Reader *r, uint32_t *value)
{
    if (r->pos > r->end || r->end - r->pos < 4) {
        r->short_read = 1;
        return 0;
    }
    const unsigned char *c = r->bytes + r->pos;
    *value = (uint32_t)c[0] | (uint32_t)c[1] << 8 | (uint32_t)c[2] << 16 | (uint32_t)c[3] << 24;
    r->pos += 4;
    return 1;
}

// 0 at the end of the bytes or for a varint longer than 32 bits.
static int get_varint(Reader *r, uint32_t *value)
{
    uint32_t v = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        unsigned c;
        if (!get_u8(r, &c)) return 0;
        if (shift == 28 && (c & 0x70)) return 0;
        v |= (uint32_t)(c & 0x7F) << shift;
        if (!(c & 0x80)) {
            *value = v;
            return 1;
        }
    }
    return 0;
}

static int get_svarint(Reader *r, int32_t *value)
{
    uint32_t u;
    if (!get_varint(r, &u)) return 0;
    *value = (int32_t)((u >> 1) ^ (0u - (u & 1)));
    return 1;
}

// ---------------------------------------------------------------------------
// Records: one decoder for the check of a file and for playing it
// ---------------------------------------------------------------------------

const int EVENT_ARGS[EVENT_KINDS] = {0, 1, 1, 4, 2, 2, 1, 1, 0};

void put_option_record(ByteBuffer *b, int k, double value)
{
    put_u8(b, TAG_OPTION);
    put_varint(b, (uint32_t)option_key_row(k));
    if (option_settings[k].type == OPTION_FLOAT) {
        float f = (float)value;
        uint32_t bits;
        memcpy(&bits, &f, sizeof bits);
        put_u32(b, bits);
    } else {
        put_svarint(b, (int32_t)std::lround(value));
    }
}

// The body of an option change. Only a line of the page with a value in its
// range is one a recording writes: the page's keys keep to the range.
static int read_option(Reader *r, Record *rec)
{
    uint32_t row;
    if (!get_varint(r, &row)) return r->short_read ? RECORD_SHORT : RECORD_BAD;
    int k = row > (uint32_t)INT32_MAX ? -1 : option_of_key_row((int)row);
    if (k < 0) return RECORD_BAD;
    if (option_settings[k].type == OPTION_FLOAT) {
        uint32_t bits;
        if (!get_u32(r, &bits)) return RECORD_SHORT;
        float f;
        memcpy(&f, &bits, sizeof f);
        rec->value = f;
    } else {
        int32_t whole;
        if (!get_svarint(r, &whole)) return r->short_read ? RECORD_SHORT : RECORD_BAD;
        rec->value = whole;
    }
    rec->option = k;
    // NaN fails both comparisons and is refused with the rest.
    if (!(rec->value >= option_settings[k].min && rec->value <= option_settings[k].max))
        return RECORD_BAD;
    return RECORD_OK;
}

int read_record(Reader *r, DecodeState *s, Record *rec)
{
    unsigned tag;
    if (!get_u8(r, &tag)) return RECORD_SHORT;
    rec->tag = tag;
    if (tag >= EVENT_KEY && tag < EVENT_KINDS) {
        int32_t raw[4] = {0, 0, 0, 0};
        for (int k = 0; k < EVENT_ARGS[tag]; k++)
            if (!get_svarint(r, &raw[k])) return r->short_read ? RECORD_SHORT : RECORD_BAD;
        for (int k = 0; k < 4; k++) rec->args[k] = raw[k];
        if (tag == EVENT_KEY && (raw[0] < 0 || raw[0] > 255)) return RECORD_BAD;
        // F12 is the viewer's, never recorded; the window layer hands on its
        // status and the pointer's crossings as 0 or 1.
        if (tag == EVENT_SPECIAL && raw[0] == KEY_F12) return RECORD_BAD;
        if ((tag == EVENT_VISIBILITY || tag == EVENT_ENTRY) && (raw[0] < 0 || raw[0] > 1))
            return RECORD_BAD;
        if (tag == EVENT_MOUSE || tag == EVENT_MOTION) {
            int x = tag == EVENT_MOUSE ? 2 : 0;
            s->pointer_x = wrap_add(s->pointer_x, raw[x]);
            s->pointer_y = wrap_add(s->pointer_y, raw[x + 1]);
            rec->args[x] = s->pointer_x;
            rec->args[x + 1] = s->pointer_y;
        }
        return RECORD_OK;
    }
    uint32_t n;
    switch (tag) {
    case TAG_OPTION:
        return read_option(r, rec);
    case TAG_FRAME:
        if (!get_varint(r, &n)) return r->short_read ? RECORD_SHORT : RECORD_BAD;
        if (n > MAX_CLOCKS_PER_FRAME) return RECORD_BAD;
        rec->clock_count = (int)n;
        for (uint32_t k = 0; k < n; k++) {
            int32_t diff;
            if (!get_svarint(r, &diff)) return r->short_read ? RECORD_SHORT : RECORD_BAD;
            s->clock = wrap_add(s->clock, diff);
            rec->clocks[k] = s->clock;
        }
        return RECORD_OK;
    case TAG_CHECK:
        return get_u32(r, &rec->checksum) ? RECORD_OK : RECORD_SHORT;
    case TAG_END:
        if (!get_u8(r, &rec->flags) || !get_u32(r, &rec->checksum)) return RECORD_SHORT;
        return rec->flags & ~(unsigned)END_LAST_EVENT_QUITS ? RECORD_BAD : RECORD_OK;
    default:
        return RECORD_BAD;
    }
}

// ---------------------------------------------------------------------------
// Replay files: reading and checking
// ---------------------------------------------------------------------------

void free_replay_file(ReplayFile *r)
{
    if (!r) return;
    free(r->bytes);
    free(r);
}

static ReplayFile *reject(ReplayFile *r, const char *name, const char *why)
{
    printf("Error: the replay %s %s\n", name, why);
    free_replay_file(r);
    return nullptr;
}

// An embedded file: i32 length (-1 for none) and its bytes.
static int get_embedded(Reader *rd, long *len, size_t *at, const char **why)
{
    uint32_t n;
    if (!get_u32(rd, &n)) return 0;
    if (n == NO_EMBEDDED_FILE) {
        *len = -1;
        *at = rd->pos;
        return 1;
    }
    if (n > MAX_EMBEDDED_BYTES) {
        *why = "is damaged: it claims to hold a parameter or score file of more than 16 MiB";
        return 0;
    }
    if (rd->end - rd->pos < n) {
        rd->short_read = 1;
        return 0;
    }
    *len = (long)n;
    *at = rd->pos;
    rd->pos += n;
    return 1;
}

// Why a recorded window size is refused: "is damaged: it records WHAT
// W x H pixels (...)".
static void window_size_damage(char *why, size_t size, const char *what, int w, int h)
{
    snprintf(why, size, "is damaged: it records %s %d x %d pixels (a window has 1 to %d a side)", what,
             w, h, (int)MAX_WINDOW_SIDE);
}

// Checks every record from the first to the end and the CRC; takes bytes.
static ReplayFile *parse_owned(unsigned char *bytes, size_t size, const char *name)
{
    ReplayFile *r = (ReplayFile *)calloc(1, sizeof *r);
    if (!r) {
        free(bytes);
        printf("Error: no memory to read the replay %s\n", name);
        return nullptr;
    }
    r->bytes = bytes;
    r->size = size;
    const char *truncated = "is truncated: it ends before its last frame";
    size_t magic_seen = size < sizeof REPLAY_MAGIC ? size : sizeof REPLAY_MAGIC;
    if (memcmp(bytes, REPLAY_MAGIC, magic_seen) != 0) return reject(r, name, "is not a Fluxball replay");
    Reader rd = {bytes, sizeof REPLAY_MAGIC, size, 0};
    if (size < sizeof REPLAY_MAGIC) return reject(r, name, truncated);

    uint32_t format, version_len, frames, w, h, rate;
    if (!get_u32(&rd, &format)) return reject(r, name, truncated);
    if (format != REPLAY_FORMAT_VERSION) {
        printf("Error: the replay %s has format version %u; this Fluxball plays version %u\n", name,
               format, REPLAY_FORMAT_VERSION);
        free_replay_file(r);
        return nullptr;
    }
    if (!get_u32(&rd, &version_len)) return reject(r, name, truncated);
    if (version_len > MAX_VERSION_LEN) return reject(r, name, "is damaged: its version text is too long");
    if (rd.end - rd.pos < version_len) return reject(r, name, truncated);
    memcpy(r->version, bytes + rd.pos, version_len);
    r->version[version_len] = 0;
    rd.pos += version_len;
    // The text goes to the console and the window: no control characters.
    for (uint32_t k = 0; k < version_len; k++)
        if (r->version[k] < FIRST_PRINTABLE || r->version[k] > LAST_PRINTABLE)
            return reject(r, name, "is damaged: its version text is not plain text");
    if (!get_u32(&rd, &w) || !get_u32(&rd, &h) || !get_u32(&rd, &rate) || !get_u32(&rd, &frames))
        return reject(r, name, truncated);
    r->window_width = (int)w;
    r->window_height = (int)h;
    // Checked before any window opens: a window of this size cannot be made.
    if (!window_size_possible(r->window_width, r->window_height)) {
        char why_size[128];
        window_size_damage(why_size, sizeof why_size, "a window of", r->window_width,
                           r->window_height);
        return reject(r, name, why_size);
    }
    r->frame_rate = (int)rate;
    r->frames = frames;
    const char *why = nullptr;
    if (!get_embedded(&rd, &r->params_len, &r->params_at, &why) ||
        !get_embedded(&rd, &r->scores_len, &r->scores_at, &why))
        return reject(r, name, why ? why : truncated);
    r->records_at = rd.pos;
    // A file whose CRC does not match is damaged, unless its records run out
    // before their end: then it was cut short.
    int sealed = size - rd.pos >= 4 &&
                 (uint32_t)crc32_z(crc32(0L, Z_NULL, 0), bytes, size - 4) ==
                     ((uint32_t)bytes[size - 4] | (uint32_t)bytes[size - 3] << 8 |
                      (uint32_t)bytes[size - 2] << 16 | (uint32_t)bytes[size - 1] << 24);
    const char *unsealed = "is damaged: its checksum does not match its contents";

    // The records, up to the end record.
    DecodeState s = {0, 0, 0};
    Record rec;
    uint32_t frames_seen = 0;
    unsigned previous = 0;
    for (;;) {
        size_t at = rd.pos;
        int got = read_record(&rd, &s, &rec);
        if (got == RECORD_SHORT) return reject(r, name, truncated);
        if (!sealed && got == RECORD_BAD) return reject(r, name, unsealed);
        if (got == RECORD_BAD || (rec.tag == TAG_CHECK && previous != TAG_FRAME)) {
            char why_bad[96];
            snprintf(why_bad, sizeof why_bad, "is damaged: no recording holds its record at byte %zu", at);
            return reject(r, name, why_bad);
        }
        if (rec.tag == EVENT_RESHAPE && !window_size_possible(rec.args[0], rec.args[1])) {
            if (!sealed) return reject(r, name, unsealed);
            char why_size[128];
            window_size_damage(why_size, sizeof why_size, "a window size of", rec.args[0], rec.args[1]);
            return reject(r, name, why_size);
        }
        previous = rec.tag;
        if (rec.tag == TAG_FRAME) frames_seen++;
        if (rec.tag == TAG_END) break;
    }
    uint32_t crc_stored;
    if (!get_u32(&rd, &crc_stored)) return reject(r, name, truncated);
    r->records_end = rd.pos - 4;
    if (rd.pos != size) return reject(r, name, "is damaged: it goes on after its end");
    if (!sealed) return reject(r, name, unsealed);
    if (frames_seen != frames) return reject(r, name, "is damaged: its frame count does not match");
    return r;
}

ReplayFile *parse_replay_bytes(const unsigned char *bytes, size_t size, const char *name)
{
    unsigned char *copy = (unsigned char *)malloc(size ? size : 1);
    if (!copy) {
        printf("Error: no memory to read the replay %s\n", name);
        return nullptr;
    }
    if (size) memcpy(copy, bytes, size);
    return parse_owned(copy, size, name);
}

ReplayFile *load_replay_file(const char *file)
{
    int fd = open(file, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        printf("Error: cannot open the replay %s: %s\n", file, strerror(errno));
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return reject(nullptr, file, "is not a file");
    }
    if ((unsigned long long)st.st_size > MAX_REPLAY_BYTES) {
        close(fd);
        printf("Error: the replay %s is too large: %lld bytes (a replay holds at most %zu)\n", file,
               (long long)st.st_size, MAX_REPLAY_BYTES);
        return nullptr;
    }
    size_t size = (size_t)st.st_size;
    unsigned char *bytes = (unsigned char *)malloc(size ? size : 1);
    size_t got = 0;
    while (bytes && got < size) {
        ssize_t n = read(fd, bytes + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += (size_t)n;
    }
    close(fd);
    if (!bytes) {
        printf("Error: no memory to read the replay %s\n", file);
        return nullptr;
    }
    // A file that shrank while it was read is checked as what was read.
    return parse_owned(bytes, got, file);
}

int write_all(int fd, const unsigned char *bytes, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        done += (size_t)n;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// Unpacking for the launcher
// ---------------------------------------------------------------------------

static int write_embedded(const char *dir, const char *file, const unsigned char *bytes, long len,
                          char *written, size_t written_size)
{
    written[0] = 0;
    if (len < 0) return 1;
    snprintf(written, written_size, "%s/%s", dir, file);
    int fd = open(written, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        printf("Error: cannot write %s: %s\n", written, strerror(errno));
        written[0] = 0;
        return 0;
    }
    int ok = write_all(fd, bytes, (size_t)len);
    if (close(fd) != 0) ok = 0;
    if (!ok) {
        printf("Error: cannot write %s: %s\n", written, strerror(errno));
        unlink(written);
        written[0] = 0;
    }
    return ok;
}

// The keys that name files or decide what a run does: during a replay they
// come from the launcher only, never from the recorded params.txt.
static const char *const LAUNCHER_KEYS[] = {"replay", "replay_video", "record_replays"};

static int sets_launcher_key(const char *line)
{
    const char *key = param_line_key(line);
    if (!key) return 0;
    for (const char *k : LAUNCHER_KEYS)
        if (strcmp(key, k) == 0) return 1;
    return 0;
}

// The recorded params.txt without the lines that would set a launcher's
// key, cut into lines exactly as the parser reads them, into out.
static int without_launcher_keys(const unsigned char *bytes, long len, ByteBuffer *out)
{
    if (len <= 0) return 1;
    FILE *f = fmemopen(const_cast<unsigned char *>(bytes), (size_t)len, "r");
    if (!f) return 0;
    char line[PARAM_LINE_LEN];
    long at = 0;
    int used;
    while (read_param_line(f, line, sizeof line, &used)) {
        long next = ftell(f);
        if (next < at || next > len) break;
        if (!used || !sets_launcher_key(line)) put_bytes(out, bytes + at, (size_t)(next - at));
        at = next;
    }
    fclose(f);
    return at == len && !out->failed;
}

int unpack_replay(const char *file, const char *dir)
{
    ReplayFile *r = load_replay_file(file);
    if (!r) return 0;
    ByteBuffer own = {nullptr, 0, 0, 0};
    if (!without_launcher_keys(r->bytes + r->params_at, r->params_len, &own)) {
        printf("Error: no memory to unpack the replay %s\n", file);
        free_buffer(&own);
        free_replay_file(r);
        return 0;
    }
    char params_path[4096], scores_path[4096];
    int ok = write_embedded(dir, "params.txt", own.bytes, r->params_len < 0 ? -1 : (long)own.size,
                            params_path, sizeof params_path) &&
             write_embedded(dir, "scores.txt", r->bytes + r->scores_at, r->scores_len, scores_path,
                            sizeof scores_path);
    free_buffer(&own);
    if (!ok) {
        // Half an unpacked replay is of no use: nothing stays.
        if (params_path[0]) unlink(params_path);
    }
    free_replay_file(r);
    return ok;
}
