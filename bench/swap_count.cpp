// swap_count.cpp -- counts a program's buffer swaps from outside it, so that
// the processor time of a real frame can be measured without trusting the
// program's own figures (frame_cost.sh). Loaded with LD_PRELOAD, it passes
// every glXSwapBuffers on and adds one to a 64-bit count kept in the file
// named by SWAP_COUNT_FILE, mapped shared, which a script may read at any
// moment. Without the variable, or when the file cannot be mapped, it only
// passes the calls on.
#include <GL/glx.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

typedef void (*swap_function)(Display *, GLXDrawable);

static std::atomic<uint64_t> *map_count(void)
{
    const char *name = getenv("SWAP_COUNT_FILE");
    if (!name || !*name) return nullptr;
    int fd = open(name, O_RDWR | O_CREAT, 0644);
    if (fd < 0) return nullptr;
    void *p = MAP_FAILED;
    if (ftruncate(fd, sizeof(uint64_t)) == 0)
        p = mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    return p == MAP_FAILED ? nullptr : static_cast<std::atomic<uint64_t> *>(p);
}

extern "C" void glXSwapBuffers(Display *display, GLXDrawable drawable)
{
    static swap_function real = (swap_function)dlsym(RTLD_NEXT, "glXSwapBuffers");
    static std::atomic<uint64_t> *count = map_count();
    if (count) count->fetch_add(1, std::memory_order_relaxed);
    if (real) real(display, drawable);
}
