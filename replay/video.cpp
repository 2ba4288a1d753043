// video.cpp -- the video export of a replay: every frame the replay steps is
// read back once it is drawn (off screen, offscreen.cpp), and piped as raw
// RGB to ffmpeg.
// The sound of each step is mixed off line into a WAV track beside it
// (sound_clip_step); at the end a second ffmpeg run puts the pictures and the
// track together into the file that the key replay_video names. Owns the
// encoder process, the temporary files and the progress shown in the title
// and on the console.
#include "replay/replay.h"
#include "sound/sound.h"

#include <GL/glut.h>
#include <GL/glext.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

static const char ENCODER[] = "ffmpeg";
static const char FILE_PROTOCOL[] = "file:";
static const int FAILURE_STATUS = 255;
static const double NS_PER_S = 1e9;
static const long long TITLE_EVERY_NS = 250000000LL;
static const long long CONSOLE_EVERY_NS = 2000000000LL;
enum { ARG_LEN = PARAM_TEXT_LEN + 64, TITLE_LEN = 128, PATH_LEN = 4096, MAX_ARGS = 48 };
// An argument holds a name of ARG_LEN with a protocol prefix before it.
enum { ARG_TEXT_LEN = 2 * ARG_LEN };

// The encoder: started by start_video_export, fed by frame_drawn, closed
// once the replay is over (or at exit).
static pid_t encoder_pid;
static int encoder_fd = -1;             // the write end of its input
static unsigned char *pixels;           // one frame, RGB, bottom row first
static int video_width, video_height;   // pixels
static long long started_ns, title_ns, console_ns;  // monotonic clock
static int finishing;                   // 1 once the end is under way
// The clip's sound: 1 while its track is written (start_clip_sound).
static int clip_sound;
static int sound_only;                  // 1: the output is the WAV track itself
static char video_path[ARG_LEN];        // what ffmpeg encodes the pictures into
static char track_path[ARG_LEN];        // the WAV track

// 1 when ffmpeg is a program on the PATH.
static int encoder_installed(void)
{
    const char *path = getenv("PATH");
    if (!path || !*path) path = "/usr/local/bin:/usr/bin:/bin";
    for (const char *p = path;;) {
        const char *colon = strchr(p, ':');
        int n = colon ? (int)(colon - p) : (int)strlen(p);
        char file[PATH_LEN];
        snprintf(file, sizeof file, "%.*s/%s", n, n ? p : ".", ENCODER);
        if (n == 0) snprintf(file, sizeof file, "./%s", ENCODER);
        if (access(file, X_OK) == 0) return 1;
        if (!colon) return 0;
        p = colon + 1;
    }
}

// The output's extension, lower case ("" when it has none).
static void extension_of(const char *file, char *ext, size_t size)
{
    const char *dot = strrchr(file, '.');
    const char *slash = strrchr(file, '/');
    ext[0] = 0;
    if (!dot || (slash && dot < slash)) return;
    snprintf(ext, size, "%s", dot + 1);
    for (char *c = ext; *c; c++)
        if (*c >= 'A' && *c <= 'Z') *c = (char)(*c - 'A' + 'a');
}

struct ArgList {
    char text[MAX_ARGS][ARG_TEXT_LEN];
    char *argv[MAX_ARGS + 1];
    int count;
};

static void add_arg(ArgList *a, const char *arg)
{
    if (a->count >= MAX_ARGS) return;
    snprintf(a->text[a->count], ARG_TEXT_LEN, "%s", arg);
    a->argv[a->count] = a->text[a->count];
    a->count++;
    a->argv[a->count] = nullptr;
}

static void add_args(ArgList *a, const char *const *args)
{
    for (; *args; args++) add_arg(a, *args);
}

// GL reads rows bottom first, hence the flip. H.264 and VP9 in 4:2:0 need an
// even size: an odd one gets a black column or row.
static const char FLIP[] = "vflip";
static const char FLIP_EVEN[] = "vflip,pad=ceil(iw/2)*2:ceil(ih/2)*2";
static const char FLIP_PALETTE[] = "vflip,split[a][b];[a]palettegen[p];[b][p]paletteuse";
static const char *const H264[] = {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18",
                                   "-pix_fmt", "yuv420p", nullptr};
static const char *const FAST_START[] = {"-movflags", "+faststart", nullptr};
static const char *const VP9[] = {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used", "8",
                                  "-row-mt", "1", "-b:v", "0", "-crf", "32", "-pix_fmt", "yuv420p",
                                  nullptr};

// The sound codecs the containers take: AAC in MP4, MOV and MKV, Opus in WebM.
static const char *const AAC[] = {"-c:a", "aac", "-b:a", "192k", nullptr};
static const char *const OPUS[] = {"-c:a", "libopus", "-b:a", "128k", nullptr};
static int is_mp4(const char *ext) { return !strcmp(ext, "mp4") || !strcmp(ext, "m4v") || !strcmp(ext, "mov"); }

static void build_arguments(ArgList *a, const char *out)
{
    char size[ARG_LEN], rate[ARG_LEN], ext[ARG_LEN];
    snprintf(size, sizeof size, "%dx%d", video_width, video_height);
    snprintf(rate, sizeof rate, "%d", replay_video_rate());
    extension_of(out, ext, sizeof ext);
    const char *const input[] = {ENCODER, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                 "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", size, "-r", rate,
                                 "-i", "-", nullptr};
    a->count = 0;
    add_args(a, input);
    add_arg(a, "-vf");
    int mp4 = is_mp4(ext);
    if (mp4 || !strcmp(ext, "mkv")) {
        add_arg(a, FLIP_EVEN);
        add_args(a, H264);
        if (mp4) add_args(a, FAST_START);
    } else if (!strcmp(ext, "webm")) {
        add_arg(a, FLIP_EVEN);
        add_args(a, VP9);
    } else if (!strcmp(ext, "gif")) {
        add_arg(a, FLIP_PALETTE);
    } else {
        add_arg(a, FLIP);       // whatever ffmpeg makes of the extension
    }
    // Through ffmpeg's file protocol: a name such as "pipe:1" or "-y.mp4" is
    // a file too, never another output or an option.
    char file[ARG_TEXT_LEN];
    snprintf(file, sizeof file, "%s%s", FILE_PROTOCOL, out);
    add_arg(a, file);
}

// The pictures and the track into the output: the pictures copied as they
// are, the track encoded for the container.
static void build_mux_arguments(ArgList *a, const char *out)
{
    char ext[ARG_LEN];
    extension_of(out, ext, sizeof ext);
    const char *const head[] = {ENCODER, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                                "-i", video_path, "-i", track_path, "-map", "0:v", "-map", "1:a",
                                "-c:v", "copy", nullptr};
    a->count = 0;
    add_args(a, head);
    add_args(a, !strcmp(ext, "webm") ? OPUS : AAC);
    if (is_mp4(ext)) add_args(a, FAST_START);
    add_arg(a, out);
}

// Waits for the encoder; its exit status, or -1.
static int wait_encoder(void)
{
    if (encoder_pid <= 0) return -1;
    int status = 0;
    while (waitpid(encoder_pid, &status, 0) < 0 && errno == EINTR) {
    }
    encoder_pid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Closes the encoder's input and waits for it; its exit status, or -1.
static int close_encoder(void)
{
    if (encoder_fd >= 0) close(encoder_fd);
    encoder_fd = -1;
    return wait_encoder();
}

// Exit handler: an export that ends early (q, a signal) still lets ffmpeg
// finish before the program goes, and leaves no half-made parts behind.
static void stop_encoder(void)
{
    close_encoder();
    sound_clip_close();
    if (clip_sound && !sound_only) {
        unlink(video_path);
        unlink(track_path);
    }
}

// Runs ffmpeg once with the arguments in a; its exit status, or -1.
static int run_encoder(ArgList *a)
{
    int err = posix_spawnp(&encoder_pid, ENCODER, nullptr, nullptr, a->argv, environ);
    if (err != 0) {
        encoder_pid = 0;
        return -1;
    }
    return wait_encoder();
}

static void show_progress(int last)
{
    long long now = monotonic_ns();
    int done = replay_frames_played();
    int total = replay_frames_total();
    double spent = (double)(now - started_ns) / NS_PER_S;
    int left = done > 0 && total > done ? (int)(spent / done * (total - done) + 0.5) : 0;
    if (last || now - title_ns >= TITLE_EVERY_NS) {
        char title[TITLE_LEN];
        snprintf(title, sizeof title, "Fluxball export: %d / %d frames, %d:%02d left", done, total,
                 left / 60, left % 60);
        glutSetWindowTitle(title);
        title_ns = now;
    }
    if (!last && now - console_ns >= CONSOLE_EVERY_NS) {
        printf("Export: %d / %d frames, %d s left\n", done, total, left);
        console_ns = now;
    }
}

[[noreturn]] static void fail_export(const char *why)
{
    printf("Error: %s\n", why);
    glFinish();     // nothing left to draw while the driver is torn down
    close_encoder();
    exit(FAILURE_STATUS);
}

// Runs from a GLUT timer, outside the display callback: an exit in the middle
// of a frame leaves drawing for the GL driver to finish while it is being
// torn down.
static void finish_export(int unused)
{
    (void)unused;
    show_progress(1);
    glFinish();
    int status = sound_only ? 0 : close_encoder();
    int track_whole = sound_clip_close();
    if (clip_sound && !track_whole) {
        unlink(track_path);
        fail_export("the sound track could not be written");
    }
    if (status == 0 && clip_sound && !sound_only) {
        static ArgList mux;
        build_mux_arguments(&mux, params.replay_video);
        status = run_encoder(&mux);
        unlink(video_path);
        unlink(track_path);
    }
    if (status != 0) {
        char why[ARG_LEN + 64];
        snprintf(why, sizeof why, "ffmpeg could not make the video %s (status %d)", params.replay_video, status);
        fail_export(why);
    }
    double spent = (double)(monotonic_ns() - started_ns) / NS_PER_S;
    int frames = replay_frames_played();
    printf("Export: %d frames written to %s in %.1f s (%.1f frames a second), %s\n", frames,
           params.replay_video, spent, spent > 0 ? frames / spent : 0.0,
           clip_sound ? "with sound" : "without sound");
    exit(0);
}

void start_clip_sound(void)
{
    atexit(stop_encoder);
    char ext[ARG_LEN];
    extension_of(params.replay_video, ext, sizeof ext);
    // A GIF has no sound; nor does a container ffmpeg is left to choose for.
    sound_only = !strcmp(ext, "wav");
    if (!sound_only && !is_mp4(ext) && strcmp(ext, "mkv") && strcmp(ext, "webm")) return;
    if (sound_only)
        snprintf(track_path, sizeof track_path, "%s", params.replay_video);
    else
        snprintf(track_path, sizeof track_path, "%s.sound.wav", params.replay_video);
    clip_sound = sound_init_clip(track_path);
    if (!clip_sound) printf("Export: the sound cannot be made; the video is made without sound\n");
}

int start_video_export(void)
{
    if (!encoder_installed()) {
        printf("Error: ffmpeg is not installed; it makes the video (Debian package ffmpeg)\n");
        return 0;
    }
    video_width = win_width;
    video_height = win_height;
    if (!window_size_possible(video_width, video_height)) {
        printf("Error: a window of %d x %d pixels cannot be made into a video\n", video_width,
               video_height);
        return 0;
    }
    pixels = (unsigned char *)malloc((size_t)video_width * (size_t)video_height * 3);
    if (sound_only) {
        if (!clip_sound) {
            printf("Error: %s is to hold the sound alone, and there is none\n", params.replay_video);
            return 0;
        }
        started_ns = title_ns = console_ns = monotonic_ns();
        printf("Export: the sound of %d frames at %d frames a second into %s\n", replay_frames_total(),
               replay_video_rate(), params.replay_video);
        return 1;
    }
    if (clip_sound) {
        // The pictures go into a part of their own, in the output's container.
        char ext[ARG_LEN];
        extension_of(params.replay_video, ext, sizeof ext);
        snprintf(video_path, sizeof video_path, "%s.video.%.4s", params.replay_video, ext);
    } else {
        snprintf(video_path, sizeof video_path, "%s", params.replay_video);
    }
    int fds[2];
    if (!pixels || pipe2(fds, O_CLOEXEC) != 0) {
        printf("Error: no memory or pipe for the video\n");
        return 0;
    }
    static ArgList args;
    build_arguments(&args, video_path);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    int err = posix_spawnp(&encoder_pid, ENCODER, &actions, nullptr, args.argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (err != 0) {
        close(fds[1]);
        encoder_pid = 0;
        printf("Error: cannot start ffmpeg: %s\n", strerror(err));
        return 0;
    }
    encoder_fd = fds[1];
    // A stopped encoder shows as a failed write, not as a signal.
    signal(SIGPIPE, SIG_IGN);
    started_ns = title_ns = console_ns = monotonic_ns();
    printf("Export: %d frames of %d x %d pixels at %d frames a second into %s\n", replay_frames_total(),
           video_width, video_height, replay_video_rate(), params.replay_video);
    return 1;
}

void frame_drawn(void)
{
    if (encoder_fd < 0 && !sound_only) return;
    if (replay_take_frame()) {
        // Pixels outside the window are not drawn: a window the desktop made
        // smaller than the video cannot fill it.
        int off_screen = export_draws_off_screen();
        if (!off_screen && !sound_only &&
            (glutGet(GLUT_WINDOW_WIDTH) < video_width || glutGet(GLUT_WINDOW_HEIGHT) < video_height)) {
            char why[2 * ARG_LEN];
            snprintf(why, sizeof why,
                     "the window could not be opened at %d x %d pixels; export on a larger screen or under xvfb-run",
                     video_width, video_height);
            fail_export(why);
        }
        if (!sound_only) {
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glReadBuffer(off_screen ? GL_COLOR_ATTACHMENT0_EXT : GL_BACK);
            glReadPixels(0, 0, video_width, video_height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
            if (!write_all(encoder_fd, pixels, (size_t)video_width * (size_t)video_height * 3))
                fail_export("ffmpeg stopped before the video was finished");
        }
        show_progress(0);
    }
    if (replay_over() && !finishing) {
        finishing = 1;
        glutTimerFunc(0, finish_export, 0);
    }
}
