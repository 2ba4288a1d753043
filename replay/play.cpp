// play.cpp -- playing a replay back: its events are fed through the input
// callbacks and its clock values through replay_clock, frame by frame, and
// the state checksums it holds are compared as they come. Also the hooks the
// shell calls, which hand each to the recorder or to the player. Owns the
// replay being played, the size it is drawn at and the notice it shows.
#include "replay/replay.h"
#include "sound/sound.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

int replay_mode;
int view_width, view_height;
char replay_notice[REPLAY_NOTICE_LEN];

static const int DEFAULT_VIDEO_RATE = 60;           // frames per second, for frame_rate 0
static const int KEY_ESC = 27;
static const int QUIT_STATUS = 1;
static const long long HELD_SLICE_NS = 10000000LL;   // a held replay's idle sleep

// Frame step bracket: 1 while on_idle runs a frame (its clock reads count).
static int in_step;

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
    recording_forget();
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
    case TAG_OPTION: apply_option(e->option, e->value); break;
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
        if (play.over) return;
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
    while (read_record(&rd, &s, &r) == RECORD_OK && is_event_tag(r.tag)) events++;
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
    if (replay_mode == REPLAY_EXPORT) {
        play.frame_pending = 1;
        // The sound of this step goes with its picture (when the clip has a track).
        sound_clip_step(play.frame - 1, replay_video_rate());
    }
}
// The viewer's own look at the options page: o opens and closes it, Esc
// closes it, Up and Down choose a line. None of it is part of the session.
static int view_options(int kind, int a)
{
    if (kind == EVENT_KEY && (a == 'o' || a == 'O')) {
        options_viewing = !options_viewing;
    } else if (!options_viewing) {
        return 0;
    } else if (kind == EVENT_KEY && a == KEY_ESC) {
        options_viewing = 0;
    } else if (kind == EVENT_SPECIAL && (a == KEY_UP || a == KEY_DOWN)) {
        options_selected = (options_selected + (a == KEY_UP ? OPTION_COUNT - 1 : 1)) % OPTION_COUNT;
    } else {
        return 0;
    }
    post_redisplay();
    return 1;
}

// A live event during a replay: only quitting, screenshots, the viewer's
// window size and look at the options page reach the program.
static int take_live_event(int kind, int a, int b)
{
    if (view_options(kind, a)) return 0;
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
    if (replay_mode != REPLAY_RECORD) return 1;
    // A screenshot is the player's, not part of the session.
    if (kind == EVENT_SPECIAL && a == KEY_F12) return 1;
    if (kind <= 0 || kind >= EVENT_KINDS) return 1;
    recording_event(kind, a, b, c, d);
    return 1;
}

int replay_lets_quit(void)
{
    if (!play.delivering) return 1;
    // The events before a frame are reported at that frame; those after the
    // last frame at the last.
    diverge(play.frame < replay_frames_total() ? play.frame + 1 : play.frame);
    return 0;
}

void replay_record_option(int k, double value)
{
    if (replay_mode == REPLAY_RECORD) recording_option(k, value);
}

int replay_clock(int live_ms)
{
    if (replay_mode == REPLAY_RECORD) return recording_clock(live_ms);
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
    if (replay_mode == REPLAY_RECORD) recording_idle();
}

int replay_frame_begin(void)
{
    if (replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT) return play_frame_begin();
    if (replay_mode == REPLAY_RECORD) recording_frame_begin();
    return 1;
}

void replay_frame_end(void)
{
    if (replay_mode == REPLAY_PLAY || replay_mode == REPLAY_EXPORT) {
        play_frame_end();
        return;
    }
    if (replay_mode == REPLAY_RECORD) recording_frame_end();
}

// The video is written only as a new plain file in the working directory,
// never through a path or an existing link: the launcher moves it to where
// the player asked. 0 after printing why the name is refused.
static int video_name_allowed(const char *name)
{
    if (strchr(name, '/') || !strcmp(name, ".") || !strcmp(name, "..")) {
        printf("Error: the video %s is to be a plain file name in the working folder\n", name);
        return 0;
    }
    struct stat st;
    if (lstat(name, &st) == 0 && S_ISLNK(st.st_mode)) {
        printf("Error: the video %s is a link; the video is written only as a plain file\n", name);
        return 0;
    }
    return 1;
}

int replay_start(const char *params_file)
{
    if (params.replay[0]) {
        if (params.replay_video[0] && !video_name_allowed(params.replay_video)) return 0;
        ReplayFile *r = load_replay_file(params.replay);
        if (!r) return 0;
        replay_play_file(r, params.replay_video[0] ? REPLAY_EXPORT : REPLAY_PLAY);
        printf("Replay: %s, recorded with version %s: %u frames, %d x %d pixels\n", params.replay,
               r->version, r->frames, r->window_width, r->window_height);
        return 1;
    }
    if (params.record_replays) recording_start(params_file);
    return 1;
}

void replay_set_window_size(void)
{
    if (replay_mode == REPLAY_RECORD) {
        recording_note_window();
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
