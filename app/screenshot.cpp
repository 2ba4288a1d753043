// screenshot.cpp -- F12's pictures: a new PNG file in "screenshots" for each
// shot, never over an existing file, and the notice that says where it went
// or why it could not be written. Owns the request flag and the notice.
#include "app/app.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char *const SCREENSHOT_DIR = "screenshots";
int screenshot_requested;
char screen_notice[NOTICE_LEN];
int screen_notice_until_ms;

// Names tried within one second: fluxball-<stamp>.png, then -2 ... -99.
static const int MAX_SHOTS_PER_STAMP = 99;
static const mode_t NEW_DIR_MODE = 0777;    // cut by the umask
static const mode_t NEW_FILE_MODE = 0666;   // cut by the umask
// A shot's path leaves room for the words around it in the notice.
enum { STAMP_LEN = 32, LINK_LEN = 4096, SHOT_PATH_LEN = NOTICE_LEN - 64 };

// The folder, made when missing. A link whose target is missing (a pictures
// folder not made yet) gets its target made, one level deep.
static int make_folder(void)
{
    struct stat st;
    if (stat(SCREENSHOT_DIR, &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT) return errno;
    const char *dir = SCREENSHOT_DIR;
    char target[LINK_LEN];
    if (lstat(SCREENSHOT_DIR, &st) == 0 && S_ISLNK(st.st_mode)) {
        ssize_t n = readlink(SCREENSHOT_DIR, target, sizeof target - 1);
        if (n <= 0) return ENOENT;
        target[n] = 0;
        dir = target;       // relative to the working directory, as the link
    }
    if (mkdir(dir, NEW_DIR_MODE) != 0 && errno != EEXIST) return errno;
    return 0;
}

// Writes the picture into a file made for it; 0 or the errno of the failure.
static int write_new_file(int fd, int width, int height, const unsigned char *pixels)
{
    FILE *f = fdopen(fd, "wb");
    if (!f) {
        int err = errno;
        close(fd);
        return err;
    }
    errno = 0;
    int ok = png_write_rgb(f, width, height, pixels, 1);
    int err = errno;
    if (fclose(f) != 0 && ok) {
        ok = 0;
        err = errno;
    }
    if (ok) return 0;
    return err ? err : EIO;
}

int write_screenshot(const char *stamp, int width, int height, const unsigned char *pixels,
                     char *path, size_t path_size)
{
    if (!pixels) return ENOMEM;
    if (!window_size_possible(width, height)) return EINVAL;
    int err = make_folder();
    if (err) return err;
    for (int n = 1; n <= MAX_SHOTS_PER_STAMP; n++) {
        char suffix[STAMP_LEN] = "";
        if (n > 1) snprintf(suffix, sizeof suffix, "-%d", n);
        if (snprintf(path, path_size, "%s/fluxball-%s%s.png", SCREENSHOT_DIR, stamp, suffix) >=
            (int)path_size)
            return ENAMETOOLONG;
        // O_EXCL: a name already taken, even by a dangling link, is skipped.
        int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, NEW_FILE_MODE);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return errno;
        }
        err = write_new_file(fd, width, height, pixels);
        // Half a picture is no picture: the file made here goes again.
        if (err) unlink(path);
        return err;
    }
    return EEXIST;
}

// Why a shot failed, in the player's words.
static void describe_failure(int err, char *text, size_t size)
{
    switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
        snprintf(text, size, "Screenshot failed: the folder %s is not writable", SCREENSHOT_DIR);
        break;
    case ENOSPC:
    case EDQUOT:
        snprintf(text, size, "Screenshot failed: the disk is full");
        break;
    default:
        snprintf(text, size, "Screenshot failed: %s", strerror(err));
        break;
    }
}

void take_screenshot(int width, int height, const unsigned char *pixels)
{
    char stamp[STAMP_LEN];
    time_t now = time(nullptr);
    struct tm local;
    if (!localtime_r(&now, &local) || strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local) == 0)
        snprintf(stamp, sizeof stamp, "%lld", (long long)now);
    char path[SHOT_PATH_LEN];
    int err = write_screenshot(stamp, width, height, pixels, path, sizeof path);
    if (err == 0)
        snprintf(screen_notice, sizeof screen_notice, "Screenshot saved: %s", path);
    else
        describe_failure(err, screen_notice, sizeof screen_notice);
    printf("%s\n", screen_notice);
    screen_notice_until_ms = clock_plus(elapsed_ms(), NOTICE_MS);
    screen_dirty = 1;
}
