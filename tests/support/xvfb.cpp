// xvfb.cpp -- starts a private Xvfb (display number chosen by the server).
#include "tests/support/xvfb.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

static pid_t xvfb_pid;

static void stop_xvfb(void)
{
    if (xvfb_pid > 0) {
        kill(xvfb_pid, SIGTERM);
        waitpid(xvfb_pid, nullptr, 0);
        xvfb_pid = 0;
    }
}

int ensure_display(void)
{
    const char *display = getenv("DISPLAY");
    if (display && *display) return 1;
    int fds[2];
    if (pipe(fds) != 0) return 0;
    pid_t pid = fork();
    if (pid < 0) return 0;
    if (pid == 0) {
        close(fds[0]);
        char fd_text[16];
        snprintf(fd_text, sizeof fd_text, "%d", fds[1]);
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) { dup2(devnull, 1); dup2(devnull, 2); }
        execlp("Xvfb", "Xvfb", "-displayfd", fd_text, "-screen", "0", "1024x768x24",
               "-nolisten", "tcp", "-noreset", (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    char number[32] = {0};
    ssize_t n = 0, got;
    while (n < (ssize_t)sizeof number - 1 && (got = read(fds[0], number + n, 1)) == 1) {
        if (number[n] == '\n') break;
        n++;
    }
    close(fds[0]);
    number[n] = 0;
    if (n == 0) return 0;
    xvfb_pid = pid;
    atexit(stop_xvfb);
    char name[40];
    snprintf(name, sizeof name, ":%s", number);
    setenv("DISPLAY", name, 1);
    return 1;
}
