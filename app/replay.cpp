// replay.cpp -- replays: the session's inputs recorded frame by frame,
// written to replays/ at exit, and played back exactly. Owns the recording,
// the replay being played, the state checksum, the size a replay is drawn at
// and the notice it shows.
//
// A frame of the program depends only on the input events delivered before
// it and on the values it reads from GLUT's elapsed-time clock (its random
// numbers are the same sequence in every run, random.cpp). The recording
// holds exactly those; a replay feeds them back through the same callbacks
// and compares a checksum of the whole state every CHECK_INTERVAL frames.
//
// The file ("*.fxr", all integers little-endian; the README describes it for
// tool writers):
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
//   and a u32 CRC-32 of all the bytes before it.
#include "app/app.h"
#include "fluid/fluid.h"
#include "game/game.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

int replay_mode;
int view_width, view_height;
char replay_notice[REPLAY_NOTICE_LEN];

static const char PROGRAM_VERSION[] = FLUXBALL_VERSION;
static const unsigned char MAGIC[8] = {'F', 'X', 'R', 'E', 'P', 'L', 'A', 'Y'};
static const unsigned FORMAT_VERSION = 1;
static const int CHECK_INTERVAL = 60;               // frames between two checksums
static const int DEFAULT_VIDEO_RATE = 60;           // frames per second, for frame_rate 0
enum { MAX_VERSION_LEN = 64 };
enum { MAX_CLOCKS_PER_FRAME = 64 };                 // a frame reads one or two
enum { TAG_FRAME = 16, TAG_CHECK = 17, TAG_END = 18 };
enum { END_LAST_EVENT_QUITS = 1 };
static const size_t MAX_REPLAY_BYTES = (size_t)256 << 20;
static const size_t MAX_EMBEDDED_BYTES = (size_t)16 << 20;   // params.txt, scores.txt
// The records may fill what the header and the two files leave of a file.
static const size_t MAX_STREAM_BYTES = MAX_REPLAY_BYTES - 2 * MAX_EMBEDDED_BYTES - ((size_t)1 << 20);
static const size_t FIRST_CAPACITY = 64 << 10;
static const char REPLAY_DIR[] = "replays";
static const int KEY_ESC = 27;
static const int QUIT_STATUS = 1;
static const int SIGNAL_STATUS_BASE = 128;          // as a shell reports a signal
static const long long HELD_SLICE_NS = 10000000LL;   // a held replay's idle sleep
enum { NAME_LEN = 128 };

// ---------------------------------------------------------------------------
// Bytes: a growing buffer to write into, a bounded reader
// ---------------------------------------------------------------------------

struct ByteBuffer {
    unsigned char *bytes;
    size_t size;
    size_t capacity;
    int failed;                 // 1 once memory ran out
};

static void put_bytes(ByteBuffer *b, const void *data, size_t n)
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

static void put_u8(ByteBuffer *b, unsigned value)
{
    unsigned char c = (unsigned char)value;
    put_bytes(b, &c, 1);
}

static void put_u32(ByteBuffer *b, uint32_t value)
{
    unsigned char c[4] = {(unsigned char)value, (unsigned char)(value >> 8),
                          (unsigned char)(value >> 16), (unsigned char)(value >> 24)};
    put_bytes(b, c, sizeof c);
}

static void put_varint(ByteBuffer *b, uint32_t value)
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
static void put_svarint(ByteBuffer *b, int32_t value)
{
    uint32_t u = (uint32_t)value;
    put_varint(b, (u << 1) ^ (value < 0 ? 0xFFFFFFFFu : 0u));
}

// The difference to, and the sum with, a previous value wrap around like
// 32-bit integers, so every pair of ints codes exactly.
static int32_t wrap_diff(int value, int previous) { return (int32_t)((uint32_t)value - (uint32_t)previous); }
static int wrap_add(int previous, int32_t diff) { return (int)(int32_t)((uint32_t)previous + (uint32_t)diff); }

struct Reader {
    const unsigned char *bytes;
    size_t pos;
    size_t end;
    int short_read;             // 1 once a read ran past the end
};

static int get_u8(Reader *r, unsigned *value)
{
    if (r->pos >= r->end) {
        r->short_read = 1;
        return 0;
    }
    *value = r->bytes[r->pos++];
    return 1;
}

static int get_u32(Reader *r, uint32_t *value)
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
// The state checksum
// ---------------------------------------------------------------------------

static uLong add_bytes(uLong crc, const void *data, size_t n)
{
    if (!data || n == 0) return crc;
    return crc32_z(crc, (const Bytef *)data, n);
}

unsigned replay_state_checksum(void)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    size_t cells = solver.cell_count > 0 ? (size_t)solver.cell_count : 0;
    const float *fields[] = {u, v, u_prev, v_prev, vort_force_u, vort_force_v, curl, pressure,
                             divergence, pressure_guess, pressure_source, dens, dens_prev};
    for (const float *f : fields) crc = add_bytes(crc, f, cells * sizeof(float));
    crc = add_bytes(crc, color, cells * sizeof(Color));
    crc = add_bytes(crc, color_prev, cells * sizeof(Color));
    crc = add_bytes(crc, wall, cells * sizeof(int));

    crc = add_bytes(crc, &game, sizeof game);
    crc = add_bytes(crc, &ball, sizeof ball);
    crc = add_bytes(crc, &player_paddle, sizeof player_paddle);
    crc = add_bytes(crc, &opponent_paddle, sizeof opponent_paddle);
    if (jet_settings.max_particles > 0)
        crc = add_bytes(crc, particle_ring, (size_t)jet_settings.max_particles * sizeof(Particle));
    if (jet_settings.max_jets > 0)
        crc = add_bytes(crc, jet_table, (size_t)jet_settings.max_jets * sizeof(Jet));
    crc = add_bytes(crc, &emit_timer, sizeof emit_timer);
    crc = add_bytes(crc, high_scores, sizeof high_scores);
    crc = add_bytes(crc, name_buffer, sizeof name_buffer);

    const int ints[] = {
        particle_next, jet_count, opponent_sucking, opponent_blasted, autopilot_sucking,
        autopilot_blasted, name_entry, name_length, score_saved, game_mode, plasma_shader,
        density_depth, dye_shader, velocity_shader, pressure_shader, divergence_shader,
        curl_shader, velocity_grid, velocity_lines, vorticity_lines, vorticity_on, gravity_on,
        buoyancy_on, wall_mode, pressure_mode, jet_mode, mouse_probe, wireframe, show_trajectory,
        show_text, particles_on, music_on, paused, mouse_x, mouse_y, prev_mouse_x, prev_mouse_y,
        mouse_down[0], mouse_down[1], mouse_down[2], win_width, win_height, is_fullscreen,
        fullscreen, frame_count, fps_time, mouse_row,
    };
    crc = add_bytes(crc, ints, sizeof ints);
    const float floats[] = {fps, dye_hue, hue1, hue2};
    crc = add_bytes(crc, floats, sizeof floats);
    const Color colors[] = {dye_color, hue1_color, hue2_color};
    crc = add_bytes(crc, colors, sizeof colors);
    crc = add_bytes(crc, plasma_color1, sizeof plasma_color1);
    crc = add_bytes(crc, plasma_color2, sizeof plasma_color2);
    return (unsigned)crc;
}

// ---------------------------------------------------------------------------
// Records: one decoder for the check of a file and for playing it
// ---------------------------------------------------------------------------

// Arguments of each event kind in the file.
static const int EVENT_ARGS[EVENT_KINDS] = {0, 1, 1, 4, 2, 2, 1, 1, 0};

// The values that carry on from record to record while decoding.
struct DecodeState {
    int pointer_x, pointer_y;   // pixels
    int clock;                  // ms
};

struct Record {
    unsigned tag;
    int args[4];                // an event's, pointer positions made absolute
    int clock_count;            // a frame's
    int clocks[MAX_CLOCKS_PER_FRAME];
    unsigned flags;             // the end's
    uint32_t checksum;          // a check's or the end's
};

enum { RECORD_OK = 1, RECORD_SHORT = 0, RECORD_BAD = -1 };

// Reads the record at r into rec. RECORD_SHORT when the bytes run out,
// RECORD_BAD for anything no recording writes.
static int read_record(Reader *r, DecodeState *s, Record *rec)
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

struct ReplayFile {
    unsigned char *bytes;       // the whole file
    size_t size;
    char version[MAX_VERSION_LEN + 1];
    int window_width, window_height;    // pixels
    int frame_rate;
    uint32_t frames;
    long params_len;            // -1: no params.txt
    size_t params_at;
    long scores_len;            // -1: no scores.txt
    size_t scores_at;
    size_t records_at;          // the first record
    size_t records_end;         // the CRC after the end record
};

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
    if (n == 0xFFFFFFFFu) {
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
    size_t magic_seen = size < sizeof MAGIC ? size : sizeof MAGIC;
    if (memcmp(bytes, MAGIC, magic_seen) != 0) return reject(r, name, "is not a Fluxball replay");
    Reader rd = {bytes, sizeof MAGIC, size, 0};
    if (size < sizeof MAGIC) return reject(r, name, truncated);

    uint32_t format, version_len, frames, w, h, rate;
    if (!get_u32(&rd, &format)) return reject(r, name, truncated);
    if (format != FORMAT_VERSION) {
        printf("Error: the replay %s has format version %u; this Fluxball plays version %u\n", name,
               format, FORMAT_VERSION);
        free_replay_file(r);
        return nullptr;
    }
    if (!get_u32(&rd, &version_len)) return reject(r, name, truncated);
    if (version_len > MAX_VERSION_LEN) return reject(r, name, "is damaged: its version text is too long");
    if (rd.end - rd.pos < version_len) return reject(r, name, truncated);
    memcpy(r->version, bytes + rd.pos, version_len);
    r->version[version_len] = 0;
    rd.pos += version_len;
    if (!get_u32(&rd, &w) || !get_u32(&rd, &h) || !get_u32(&rd, &rate) || !get_u32(&rd, &frames))
        return reject(r, name, truncated);
    r->window_width = (int)w;
    r->window_height = (int)h;
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

// ---------------------------------------------------------------------------
// Recording
// ---------------------------------------------------------------------------

// The recording: started by replay_start, grown by every event and frame,
// written by replay_finish at exit (or cut off when it grows too large).
struct Recording {
    ByteBuffer records;
    ByteBuffer params_text, scores_text;
    int has_params, has_scores;
    int window_width, window_height;    // pixels, as the window opened
    int frame_rate;
    uint32_t frames;
    int clocks[MAX_CLOCKS_PER_FRAME];   // ms, read by the frame running
    int clock_count;
    int last_clock;             // ms, the last value recorded
    int pointer_x, pointer_y;   // pixels, the last position recorded
    int event_open;             // 1 from an event until the next idle call
    int stopped;                // 1 once cut off; end_checksum is then final
    uint32_t end_checksum;
    size_t whole_size;          // bytes of records up to the last whole frame
    char name[NAME_LEN];        // file name without the extension
};
static Recording rec;

// Frame step bracket: 1 while on_idle runs a frame (its clock reads count).
static int in_step;

static volatile sig_atomic_t quit_signal;

static void on_quit_signal(int sig) { quit_signal = sig; }

// Reads a file whole into b; 0 when it is not there (or not a regular file,
// which the program reads as missing too) or too large to record.
static int capture_file(const char *file, ByteBuffer *b, int *too_large)
{
    struct stat st;
    if (stat(file, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    if ((unsigned long long)st.st_size > MAX_EMBEDDED_BYTES) {
        *too_large = 1;
        return 0;
    }
    FILE *f = fopen(file, "rb");
    if (!f) return 0;
    unsigned char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0 && b->size + n <= MAX_EMBEDDED_BYTES)
        put_bytes(b, chunk, n);
    fclose(f);
    if (b->size + n > MAX_EMBEDDED_BYTES) *too_large = 1;
    return 1;
}

static void free_buffer(ByteBuffer *b)
{
    free(b->bytes);
    memset(b, 0, sizeof *b);
}

static void forget_recording(void)
{
    free_buffer(&rec.records);
    free_buffer(&rec.params_text);
    free_buffer(&rec.scores_text);
    memset(&rec, 0, sizeof rec);
}

static void start_recording(const char *params_file)
{
    forget_recording();
    int too_large = 0;
    rec.has_params = capture_file(params_file, &rec.params_text, &too_large);
    rec.has_scores = capture_file(score_file_name, &rec.scores_text, &too_large);
    if (too_large || rec.params_text.failed || rec.scores_text.failed) {
        printf("Replay: %s or %s is too large to record; this session is not recorded\n",
               params_file, score_file_name);
        forget_recording();
        return;
    }
    rec.frame_rate = params.frame_rate;
    rec.window_width = win_width;
    rec.window_height = win_height;
    time_t now = time(nullptr);
    struct tm local;
    char stamp[32] = "00000000-000000";
    if (localtime_r(&now, &local)) strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    snprintf(rec.name, sizeof rec.name, "%s/fluxball-%s", REPLAY_DIR, stamp);
    replay_mode = REPLAY_RECORD;
}

// From the window on, a signal ends the program at the next frame, so that
// the replay is written (before, it ends the start-up as always).
static void catch_quit_signals(void)
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_quit_signal;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    const int signals[] = {SIGINT, SIGTERM, SIGHUP};
    for (int sig : signals) sigaction(sig, &sa, nullptr);
}

// Stops recording for good: what is recorded so far stays a whole replay.
static void cut_recording(const char *why)
{
    if (rec.stopped) return;
    rec.stopped = 1;
    rec.end_checksum = replay_state_checksum();
    printf("Replay: %s; the recording stops at frame %u\n", why, rec.frames);
}

static void put_event(int kind, const int *args)
{
    int32_t out[4] = {args[0], args[1], args[2], args[3]};
    if (kind == EVENT_MOUSE || kind == EVENT_MOTION) {
        int x = kind == EVENT_MOUSE ? 2 : 0;
        out[x] = wrap_diff(args[x], rec.pointer_x);
        out[x + 1] = wrap_diff(args[x + 1], rec.pointer_y);
        rec.pointer_x = args[x];
        rec.pointer_y = args[x + 1];
    }
    put_u8(&rec.records, (unsigned)kind);
    for (int k = 0; k < EVENT_ARGS[kind]; k++) put_svarint(&rec.records, out[k]);
    rec.event_open = 1;
}

static void put_embedded(ByteBuffer *out, int present, const ByteBuffer *text)
{
    if (!present) {
        put_u32(out, 0xFFFFFFFFu);
        return;
    }
    put_u32(out, (uint32_t)text->size);
    put_bytes(out, text->bytes, text->size);
}

// The whole file as the recording stands, ending in the state checksum end.
static int build_file(ByteBuffer *out, uint32_t end)
{
    // Records of events that found no memory are dropped with their frame.
    size_t records = rec.records.failed ? rec.whole_size : rec.records.size;
    put_bytes(out, MAGIC, sizeof MAGIC);
    put_u32(out, FORMAT_VERSION);
    put_u32(out, (uint32_t)strlen(PROGRAM_VERSION));
    put_bytes(out, PROGRAM_VERSION, strlen(PROGRAM_VERSION));
    put_u32(out, (uint32_t)rec.window_width);
    put_u32(out, (uint32_t)rec.window_height);
    put_u32(out, (uint32_t)rec.frame_rate);
    put_u32(out, rec.frames);
    put_embedded(out, rec.has_params, &rec.params_text);
    put_embedded(out, rec.has_scores, &rec.scores_text);
    put_bytes(out, rec.records.bytes, records);
    put_u8(out, TAG_END);
    put_u8(out, !rec.stopped && !rec.records.failed && rec.event_open ? END_LAST_EVENT_QUITS : 0);
    put_u32(out, end);
    put_u32(out, (uint32_t)crc32_z(crc32(0L, Z_NULL, 0), out->bytes, out->size));
    if (!out->failed) return 1;
    free_buffer(out);
    return 0;
}

static uint32_t end_checksum(void) { return rec.stopped ? rec.end_checksum : replay_state_checksum(); }

unsigned char *replay_recording_bytes(size_t *size)
{
    if (replay_mode != REPLAY_RECORD) return nullptr;
    ByteBuffer out = {nullptr, 0, 0, 0};
    if (!build_file(&out, end_checksum())) return nullptr;
    *size = out.size;
    return out.bytes;
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

// Gives the finished temporary file its name without replacing a replay
// of another copy started in the same second: a link fails on a taken name;
// where links are not to be had, a rename to a name not yet taken.
static int publish(const char *temp, char *final_name, size_t size)
{
    for (int k = 1; k < 100; k++) {
        if (k == 1)
            snprintf(final_name, size, "%s.fxr", rec.name);
        else
            snprintf(final_name, size, "%s-%d.fxr", rec.name, k);
        if (link(temp, final_name) == 0) {
            unlink(temp);
            return 1;
        }
        if (errno == EEXIST) continue;
        struct stat st;
        if (lstat(final_name, &st) == 0) continue;
        return rename(temp, final_name) == 0;
    }
    return 0;
}

void replay_finish(void)
{
    if (replay_mode != REPLAY_RECORD) return;
    replay_mode = REPLAY_OFF;      // once, whichever exit comes
    if (rec.frames == 0) {         // nothing to watch
        forget_recording();
        return;
    }
    uint32_t end = end_checksum();
    ByteBuffer out = {nullptr, 0, 0, 0};
    char temp[NAME_LEN + 16];
    char final_name[NAME_LEN + 16];
    snprintf(temp, sizeof temp, "%s.fxr.tmp", rec.name);
    snprintf(final_name, sizeof final_name, "%s.fxr", rec.name);
    const char *why = "out of memory";
    int ok = build_file(&out, end);
    if (ok && mkdir(REPLAY_DIR, 0777) != 0 && errno != EEXIST) ok = 0;
    if (ok) {
        struct stat st;
        if (lstat(temp, &st) == 0 && S_ISREG(st.st_mode)) unlink(temp);
        int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        ok = fd >= 0;
        if (ok) {
            ok = write_all(fd, out.bytes, out.size) && fsync(fd) == 0;
            if (close(fd) != 0) ok = 0;
            if (ok) ok = publish(temp, final_name, sizeof final_name);
            if (!ok) unlink(temp);
        }
    }
    if (!ok && out.bytes) why = strerror(errno);
    if (ok)
        printf("Replay saved: %s (%u frames, final state %08x)\n", final_name, rec.frames, (unsigned)end);
    else
        printf("Error: could not save the replay %s: %s\n", final_name, why);
    free_buffer(&out);
    forget_recording();
}

// ---------------------------------------------------------------------------
// Playing
// ---------------------------------------------------------------------------

// The replay being played: set by replay_play_file, advanced by the frame
// brackets; lives until exit.
struct Playback {
    ReplayFile *file;
    size_t pos;                 // the next record
    DecodeState decode;
    int frame;                  // frames played
    int clocks[MAX_CLOCKS_PER_FRAME];   // ms, the running frame's
    int clock_count;
    int clock_used;
    int last_clock;             // ms, the last value handed out
    int delivering;             // 1 while a recorded event is delivered
    int frame_pending;          // export: a frame played and not yet read back
    int over;                   // 1 once ended or diverged
};
static Playback play;

void replay_play_file(ReplayFile *r, int mode)
{
    free_replay_file(play.file);
    memset(&play, 0, sizeof play);
    play.file = r;
    play.pos = r->records_at;
    replay_notice[0] = 0;
    replay_mode = mode;
    // An export runs as fast as frames can be drawn and encoded.
    if (mode == REPLAY_EXPORT) frame_period_ns = 0;
}

void replay_reset(void)
{
    forget_recording();
    free_replay_file(play.file);
    memset(&play, 0, sizeof play);
    replay_mode = REPLAY_OFF;
    in_step = 0;
    view_width = view_height = 0;
    replay_notice[0] = 0;
}

// Says once that the replay does not play back exactly, and holds it there.
static void diverge(int frame)
{
    if (play.over) return;
    snprintf(replay_notice, sizeof replay_notice,
             "This replay was recorded with version %s and does not play back exactly from frame %d",
             play.file->version, frame);
    printf("%s\n", replay_notice);
    play.over = 1;
    play.frame_pending = 0;
    post_redisplay();
}

static void deliver(const Record *e)
{
    play.delivering = 1;
    switch (e->tag) {
    case EVENT_KEY: on_keyboard((unsigned char)e->args[0], 0, 0); break;
    case EVENT_SPECIAL: on_special_key(e->args[0], 0, 0); break;
    case EVENT_MOUSE: on_mouse(e->args[0], e->args[1], e->args[2], e->args[3]); break;
    case EVENT_MOTION: on_motion(e->args[0], e->args[1]); break;
    case EVENT_RESHAPE: on_reshape(e->args[0], e->args[1]); break;
    case EVENT_VISIBILITY: on_window_status(e->args[0]); break;
    case EVENT_ENTRY: on_entry(e->args[0]); break;
    case EVENT_UNDRAWN: on_step_undrawn(); break;
    default: break;
    }
    play.delivering = 0;
}

// The events after the last frame, then the comparison with the state the
// recording ended in.
static void end_playback(int events, unsigned flags, uint32_t checksum)
{
    if (flags & END_LAST_EVENT_QUITS) events -= 1;
    Reader rd = {play.file->bytes, play.pos, play.file->records_end, 0};
    Record e;
    for (int k = 0; k < events; k++) {
        read_record(&rd, &play.decode, &e);
        deliver(&e);
    }
    if (replay_state_checksum() != checksum) {
        diverge(play.frame);
        return;
    }
    printf("Replay: the end, after %d frames; the state matches the recording (%08x)\n", play.frame,
           (unsigned)checksum);
    snprintf(replay_notice, sizeof replay_notice, "End of the replay (%d frames). Esc or q quits.",
             play.frame);
    play.over = 1;
    post_redisplay();
}

static int play_frame_begin(void)
{
    if (play.over) {
        sleep_until_ns(monotonic_ns() + HELD_SLICE_NS);
        return 0;
    }
    if (play.frame_pending) return 0;
    // Find what closes this frame's events: its frame record, or the end.
    Reader rd = {play.file->bytes, play.pos, play.file->records_end, 0};
    DecodeState s = play.decode;
    Record r;
    int events = 0;
    while (read_record(&rd, &s, &r) == RECORD_OK && r.tag < EVENT_KINDS) events++;
    if (r.tag == TAG_END) {
        end_playback(events, r.flags, r.checksum);
        return 0;
    }
    rd.pos = play.pos;
    for (int k = 0; k < events; k++) {
        read_record(&rd, &play.decode, &r);
        deliver(&r);
        if (play.over) return 0;
    }
    read_record(&rd, &play.decode, &r);     // the frame record
    play.pos = rd.pos;
    memcpy(play.clocks, r.clocks, sizeof(int) * (size_t)r.clock_count);
    play.clock_count = r.clock_count;
    play.clock_used = 0;
    in_step = 1;
    return 1;
}

static void play_frame_end(void)
{
    in_step = 0;
    play.frame += 1;
    if (play.clock_used != play.clock_count) {
        diverge(play.frame);
        return;
    }
    Reader rd = {play.file->bytes, play.pos, play.file->records_end, 0};
    DecodeState s = play.decode;
    Record r;
    if (read_record(&rd, &s, &r) == RECORD_OK && r.tag == TAG_CHECK) {
        play.pos = rd.pos;
        if (replay_state_checksum() != r.checksum) {
            diverge(play.frame);
            return;
        }
    }
    if (replay_mode == REPLAY_EXPORT) play.frame_pending = 1;
}

// ---------------------------------------------------------------------------
// The hooks: input callbacks, the clock, the frame step, start-up
// ---------------------------------------------------------------------------

// A live event during a replay: only quitting, screenshots and the viewer's
// window size reach the program.
static int take_live_event(int kind, int a, int b)
{
    switch (kind) {
    case EVENT_KEY:
        if (a == KEY_ESC || a == 'q' || a == 'Q') exit(QUIT_STATUS);
        return 0;
    case EVENT_SPECIAL:
        return a == KEY_F12;
    case EVENT_RESHAPE:
        if (replay_mode == REPLAY_PLAY) {
            view_width = a;
            view_height = b;
            post_redisplay();
        }
        return 0;
    default:
        return 0;
    }
}

int record_event(int kind, int a, int b, int c, int d)
{
    if (replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT)
        return play.delivering ? 1 : take_live_event(kind, a, b);
    if (replay_mode != REPLAY_RECORD || rec.stopped) return 1;
    // A screenshot is the player's, not part of the session.
    if (kind == EVENT_SPECIAL && a == KEY_F12) return 1;
    if (kind <= 0 || kind >= EVENT_KINDS) return 1;
    const int args[4] = {a, b, c, d};
    put_event(kind, args);
    return 1;
}

int replay_clock(int live_ms)
{
    if (replay_mode == REPLAY_RECORD) {
        if (in_step && !rec.stopped) {
            if (rec.clock_count < MAX_CLOCKS_PER_FRAME)
                rec.clocks[rec.clock_count++] = live_ms;
            else
                cut_recording("a frame read the clock too often");
        }
        return live_ms;
    }
    if (replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT) {
        if (in_step) {
            if (play.clock_used < play.clock_count) play.last_clock = play.clocks[play.clock_used];
            play.clock_used++;
        }
        return play.last_clock;
    }
    return live_ms;
}

void replay_idle(void)
{
    if (replay_mode != REPLAY_RECORD) return;
    if (quit_signal) exit(SIGNAL_STATUS_BASE + quit_signal);
    rec.event_open = 0;
}

int replay_frame_begin(void)
{
    if (replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT) return play_frame_begin();
    if (replay_mode == REPLAY_RECORD) {
        rec.clock_count = 0;
        in_step = !rec.stopped;
    }
    return 1;
}

void replay_frame_end(void)
{
    if (replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT) {
        play_frame_end();
        return;
    }
    if (replay_mode != REPLAY_RECORD || !in_step) return;
    in_step = 0;
    ByteBuffer *b = &rec.records;
    put_u8(b, TAG_FRAME);
    put_varint(b, (uint32_t)rec.clock_count);
    int last = rec.last_clock;
    for (int k = 0; k < rec.clock_count; k++) {
        put_svarint(b, wrap_diff(rec.clocks[k], last));
        last = rec.clocks[k];
    }
    if ((rec.frames + 1) % CHECK_INTERVAL == 0) {
        put_u8(b, TAG_CHECK);
        put_u32(b, replay_state_checksum());
    }
    if (b->failed) {
        // Memory ran out: the replay ends with the last whole frame.
        b->size = rec.whole_size;
        b->failed = 0;
        rec.event_open = 0;
        cut_recording("no memory left for the recording");
        return;
    }
    rec.last_clock = last;
    rec.frames += 1;
    rec.whole_size = b->size;
    if (b->size > MAX_STREAM_BYTES) cut_recording("the recording is as long as a replay may be");
}

int replay_start(const char *params_file)
{
    if (params.replay[0]) {
        ReplayFile *r = load_replay_file(params.replay);
        if (!r) return 0;
        replay_play_file(r, params.replay_video[0] ? REPLAY_EXPORT : REPLAY_PLAY);
        printf("Replay: %s, recorded with version %s: %u frames, %d x %d pixels\n", params.replay,
               r->version, r->frames, r->window_width, r->window_height);
        return 1;
    }
    if (params.record_replays) start_recording(params_file);
    return 1;
}

void replay_set_window_size(void)
{
    if (replay_mode == REPLAY_RECORD) {
        rec.window_width = win_width;
        rec.window_height = win_height;
        catch_quit_signals();
    } else if (replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT) {
        win_width = view_width = play.file->window_width;
        win_height = view_height = play.file->window_height;
    }
}

int replay_take_frame(void)
{
    int pending = play.frame_pending;
    play.frame_pending = 0;
    return pending;
}

int replay_frames_played(void) { return play.frame; }
int replay_frames_total(void) { return play.file ? (int)play.file->frames : 0; }
int replay_over(void) { return play.over; }

int replay_video_rate(void)
{
    return play.file && play.file->frame_rate > 0 ? play.file->frame_rate : DEFAULT_VIDEO_RATE;
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

int unpack_replay(const char *file, const char *dir)
{
    ReplayFile *r = load_replay_file(file);
    if (!r) return 0;
    char params_path[4096], scores_path[4096];
    int ok = write_embedded(dir, "params.txt", r->bytes + r->params_at, r->params_len, params_path,
                            sizeof params_path) &&
             write_embedded(dir, "scores.txt", r->bytes + r->scores_at, r->scores_len, scores_path,
                            sizeof scores_path);
    if (!ok) {
        // Half an unpacked replay is of no use: nothing stays.
        if (params_path[0]) unlink(params_path);
    }
    free_replay_file(r);
    return ok;
}
