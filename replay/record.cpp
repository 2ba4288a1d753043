// record.cpp -- the recording of a session: every input event and every
// clock value the frame step reads, frame by frame, with a checksum of the
// whole state every CHECK_INTERVAL frames; written to replays/ at exit.
// Owns the recording.
//
// A frame of the program depends only on the input events delivered before
// it and on the values it reads from GLUT's elapsed-time clock (its random
// numbers are the same sequence in every run, random.cpp). The recording
// holds exactly those, so a replay that feeds them back through the same
// callbacks makes the same frames.
#include "replay/replay.h"
#include "game/game.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

static const char PROGRAM_VERSION[] = FLUXBALL_VERSION;
static const int CHECK_INTERVAL = 60;               // frames between two checksums
static const char REPLAY_DIR[] = "replays";
static const int SIGNAL_STATUS_BASE = 128;          // as a shell reports a signal
enum { NAME_LEN = 128 };

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

void recording_forget(void)
{
    free_buffer(&rec.records);
    free_buffer(&rec.params_text);
    free_buffer(&rec.scores_text);
    memset(&rec, 0, sizeof rec);
    in_step = 0;
}

void recording_start(const char *params_file)
{
    recording_forget();
    int too_large = 0;
    rec.has_params = capture_file(params_file, &rec.params_text, &too_large);
    rec.has_scores = capture_file(score_file_name, &rec.scores_text, &too_large);
    if (too_large || rec.params_text.failed || rec.scores_text.failed) {
        printf("Replay: %s or %s is too large to record; this session is not recorded\n",
               params_file, score_file_name);
        recording_forget();
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

void recording_event(int kind, int a, int b, int c, int d)
{
    if (rec.stopped) return;
    const int args[4] = {a, b, c, d};
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
        put_u32(out, NO_EMBEDDED_FILE);
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
    put_bytes(out, REPLAY_MAGIC, sizeof REPLAY_MAGIC);
    put_u32(out, REPLAY_FORMAT_VERSION);
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
        recording_forget();
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
    recording_forget();
}

// ---------------------------------------------------------------------------
// The recording's side of the hooks (play.cpp dispatches)
// ---------------------------------------------------------------------------

int recording_clock(int live_ms)
{
    if (in_step && !rec.stopped) {
        if (rec.clock_count < MAX_CLOCKS_PER_FRAME)
            rec.clocks[rec.clock_count++] = live_ms;
        else
            cut_recording("a frame read the clock too often");
    }
    return live_ms;
}

void recording_idle(void)
{
    if (quit_signal) exit(SIGNAL_STATUS_BASE + quit_signal);
    rec.event_open = 0;
}

void recording_frame_begin(void)
{
    rec.clock_count = 0;
    in_step = !rec.stopped;
}

void recording_frame_end(void)
{
    if (!in_step) return;
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

void recording_note_window(void)
{
    rec.window_width = win_width;
    rec.window_height = win_height;
    catch_quit_signals();
}

void recording_option(int k, double value)
{
    if (rec.stopped) return;
    put_option_record(&rec.records, k, value);
}
