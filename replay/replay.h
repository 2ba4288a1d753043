// replay.h -- replays: the session's inputs recorded frame by frame, played
// back exactly, the file that holds them, and its export to video.
//
// format.cpp   the file: encoding and decoding of records, reading and
//              checking a file whole, unpacking it for the launcher
// checksum.cpp the CRC of the simulation's whole state
// record.cpp   the recording of a session and its file at exit
// play.cpp     playing a file back, and the hooks the shell calls
// video.cpp    the export of a replay to video through ffmpeg (GL side)
// offscreen.cpp where an export draws: off screen, whatever the window's state
//
// The shell calls the hooks (record_event, replay_clock, the frame brackets,
// start-up and exit); replays call the frame step and the input callbacks.
// The file's layout is described for tool writers in docs/replay-format.md.
#pragma once

#include "app/app.h"

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// The hooks and what the rest of the program sees
// ---------------------------------------------------------------------------

// Set once at start-up by replay_start: what this run does with replays.
enum { REPLAY_OFF = 0, REPLAY_RECORD = 1, REPLAY_PLAY = 2, REPLAY_EXPORT = 3 };
extern int replay_mode;

// Input events as the callbacks receive them. The values are the event tags
// of the file format: new kinds take new numbers, never old ones.
enum {
    EVENT_KEY = 1,          // a: key
    EVENT_SPECIAL = 2,      // a: special key
    EVENT_MOUSE = 3,        // a: button, b: state, c, d: x, y
    EVENT_MOTION = 4,       // a, b: x, y
    EVENT_RESHAPE = 5,      // a, b: width, height
    EVENT_VISIBILITY = 6,   // a: window status
    EVENT_ENTRY = 7,        // a: pointer entered (1) or left (0)
    EVENT_UNDRAWN = 8,      // the next frame is not drawn (on_step_undrawn)
};
enum { EVENT_KINDS = 9 };

// Called first by every input callback with its event. Records it while
// recording. During a replay it tells recorded events (delivered by the
// replay) from live ones: live Esc and q quit, live F12 and the viewer's
// window size are let through, every other live event is dropped. Returns 1
// when the callback is to go on with the event.
int record_event(int kind, int a, int b, int c, int d);
// A key asks the program to quit. A recording ends at the event that quits
// it, so a recorded one that quits before the end of its replay means the
// replay does not play back: it holds there as diverged. 1 when the program
// is to exit (always, outside a replay's recorded events).
int replay_lets_quit(void);
// Every value the frame step reads from GLUT's elapsed-time clock passes
// through here: recorded while recording, replaced by the recorded value
// during a replay. Reads outside the step are not part of the session: they
// give the live clock, or during a replay the last recorded value.
int replay_clock(int live_ms);

// A change made on the options page (setting k, an options page line, and
// its new value), recorded while recording among the events before the
// next frame, and applied from there when the replay plays.
void replay_record_option(int k, double value);

// Start-up, once the parameters and the table are read and the working
// copies made: records from here on (record_replays), or loads the replay the
// key `replay` names; the video `replay_video` names must be a plain file
// name in the working directory, and not a link. 0 after printing why the
// replay cannot be played.
int replay_start(const char *params_file);
// Just before the window opens: notes its size for the recording (and from
// here on a signal ends the program at the next frame, so that the replay is
// written), or sets the recorded size (and the size the frame is drawn at)
// for a replay.
void replay_set_window_size(void);
// Exit handler: writes the recording to replays/ (nothing before a frame).
void replay_finish(void);
// Every idle call, first: the event before it has ended without quitting,
// and a signal that asks the recording program to end ends it here.
void replay_idle(void);
// The frame step's brackets (on_idle). begin returns 0 when no frame is to
// run now: a replay that has ended or diverged holds its last frame, and an
// export waits until the last frame is read back. end closes the frame.
int replay_frame_begin(void);
void replay_frame_end(void);

// During a replay: the size the frame is drawn at (the viewer's window, or
// the video's size); 0 otherwise, and the view follows win_width, win_height.
extern int view_width, view_height;
// One line a replay shows in the window (its end, a divergence); empty
// otherwise. Written by play.cpp.
enum { REPLAY_NOTICE_LEN = 256 };
extern char replay_notice[REPLAY_NOTICE_LEN];

// Export: 1 once per frame stepped since the last call (that frame is to be
// read back); frames played and frames recorded; 1 once the replay has ended
// or diverged, so that no more frames will come.
int replay_take_frame(void);
int replay_frames_played(void);
int replay_frames_total(void);
int replay_over(void);
// Frames per second the video of a replay runs at: the recorded frame rate.
int replay_video_rate(void);

// CRC-32 of the simulation's whole state: every field, the game record, the
// ball, the paddles, the particle ring, the jet table, the table, the name
// typed, the flags, colours, mouse, window size and frame timing.
unsigned replay_state_checksum(void);

// The launcher's unpacking of a replay: checks the whole file, then writes
// its params.txt and scores.txt (those that were there) into dir, an empty
// folder. The params.txt written leaves out every line that would set
// replay, replay_video or record_replays: those come from the launcher. 0
// after printing why the file cannot be played; nothing is written then.
int unpack_replay(const char *file, const char *dir);

// A replay file loaded into memory and checked whole. Owned by the caller,
// released with free_replay_file.
struct ReplayFile;
// Reads and checks a replay file; nullptr after printing the reason.
ReplayFile *load_replay_file(const char *file);
// The same for bytes in memory (copied); name is used in the messages.
ReplayFile *parse_replay_bytes(const unsigned char *bytes, size_t size, const char *name);
void free_replay_file(ReplayFile *r);
// The recording so far as the bytes of a replay file (as replay_finish would
// write it now), in a buffer the caller frees with free(); nullptr when
// nothing is recorded.
unsigned char *replay_recording_bytes(size_t *size);
// Writes all of bytes to fd, going on after interruptions and short writes;
// 0 when the descriptor takes no more (a full disk, a closed pipe).
int write_all(int fd, const unsigned char *bytes, size_t size);
// Plays r from its first frame (start-up as after replay_start); takes r.
void replay_play_file(ReplayFile *r, int mode);
// Stops recording or playing and forgets it all (tests).
void replay_reset(void);

// ---------------------------------------------------------------------------
// Video export (video.cpp, GL side; a stand-in in unit tests)
// ---------------------------------------------------------------------------

// The frame is drawn and not yet shown: the video export reads it back.
void frame_drawn(void);
// Before the window opens: starts ffmpeg for the video the key
// replay_video names. 0 after printing why it cannot.
int start_video_export(void);
// At start-up, in place of the sound's set-up: the clip's sound is mixed off
// line into a track (none for a GIF; an output named .wav is the track
// alone). Without the sound files the video is made without sound, as the
// console says.
void start_clip_sound(void);
// Once the window is open (offscreen.cpp): frames are drawn off screen and
// stepped from the idle call, so that the export goes on while the window is
// iconified or covered (where the GL has framebuffer objects; otherwise it
// says the window must stay uncovered). export_draws_off_screen is then 1.
void start_export_drawing(void);
int export_draws_off_screen(void);

// ---------------------------------------------------------------------------
// The file format, shared by the recorder, the player and the checker
// (format.cpp). Integers are little-endian; event arguments and clock
// values are zigzag varints.
// ---------------------------------------------------------------------------

extern const unsigned char REPLAY_MAGIC[8];   // "FXREPLAY"
const unsigned REPLAY_FORMAT_VERSION = 1;
enum { MAX_VERSION_LEN = 64 };                 // bytes of the program version text
enum { MAX_CLOCKS_PER_FRAME = 64 };            // a frame reads one or two
// Record tags beyond the input events (EVENT_*).
enum { TAG_FRAME = 16, TAG_CHECK = 17, TAG_END = 18, TAG_OPTION = 19 };
// Records delivered before a frame, in order: the input events and the
// options page's changes.
inline int is_event_tag(unsigned tag) { return tag < EVENT_KINDS || tag == TAG_OPTION; }
enum { END_LAST_EVENT_QUITS = 1 };             // the end record's flags
const size_t MAX_REPLAY_BYTES = (size_t)256 << 20;
const size_t MAX_EMBEDDED_BYTES = (size_t)16 << 20;   // params.txt, scores.txt
// The records may fill what the header and the two files leave of a file.
const size_t MAX_STREAM_BYTES = MAX_REPLAY_BYTES - 2 * MAX_EMBEDDED_BYTES - ((size_t)1 << 20);
const uint32_t NO_EMBEDDED_FILE = 0xFFFFFFFFu;        // length of a file that was not there
// Arguments of each event kind in the file.
extern const int EVENT_ARGS[EVENT_KINDS];

// A growing buffer to write into: written by its owner only.
struct ByteBuffer {
    unsigned char *bytes;
    size_t size;
    size_t capacity;
    int failed;                 // 1 once memory ran out
};
void put_bytes(ByteBuffer *b, const void *data, size_t n);
void put_u8(ByteBuffer *b, unsigned value);
void put_u32(ByteBuffer *b, uint32_t value);
void put_varint(ByteBuffer *b, uint32_t value);
void put_svarint(ByteBuffer *b, int32_t value);
void free_buffer(ByteBuffer *b);
// The difference to a previous value, wrapping like a 32-bit integer, so
// every pair of ints codes exactly.
int32_t wrap_diff(int value, int previous);

// A bounded reader over bytes in memory.
struct Reader {
    const unsigned char *bytes;
    size_t pos;
    size_t end;
    int short_read;             // 1 once a read ran past the end
};
int get_u8(Reader *r, unsigned *value);
int get_u32(Reader *r, uint32_t *value);

// The values that carry on from record to record while decoding.
struct DecodeState {
    int pointer_x, pointer_y;   // pixels
    int clock;                  // ms
};

// One decoded record.
struct Record {
    unsigned tag;
    int args[4];                // an event's, pointer positions made absolute
    int clock_count;            // a frame's
    int clocks[MAX_CLOCKS_PER_FRAME];
    unsigned flags;             // the end's
    uint32_t checksum;          // a check's or the end's
    int option;                 // an option change's setting (options page line)
    double value;               // and its new value
};
enum { RECORD_OK = 1, RECORD_SHORT = 0, RECORD_BAD = -1 };
// Reads the record at r into rec. RECORD_SHORT when the bytes run out,
// RECORD_BAD for anything no recording writes.
int read_record(Reader *r, DecodeState *s, Record *rec);
// An option change (TAG_OPTION) of setting k (an options page line) to value:
// the key table row as a varint, then a whole number as a zigzag varint or
// a real one as the u32 bits of its float.
void put_option_record(ByteBuffer *b, int k, double value);

// A replay file in memory, checked whole: written by the parser only.
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

// ---------------------------------------------------------------------------
// Between the recorder and the player's hooks (record.cpp)
// ---------------------------------------------------------------------------

// Starts recording the session that is about to start.
void recording_start(const char *params_file);
// The window is about to open at win_width x win_height.
void recording_note_window(void);
// An input event of the session, and the frame step's brackets.
void recording_event(int kind, int a, int b, int c, int d);
void recording_option(int k, double value);
int recording_clock(int live_ms);
void recording_idle(void);
void recording_frame_begin(void);
void recording_frame_end(void);
// Forgets the recording (tests).
void recording_forget(void);
