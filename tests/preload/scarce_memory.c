// Preloaded into the program by the test of start-up without memory: once
// the program's window is open (its swap interval asked for), every
// allocation of 32 KiB or more fails, as when memory runs out just then.
// The small ones still succeed, as they usually do in that state. Not for
// sanitized runs: the sanitizer's allocator must see every block.
#define _GNU_SOURCE
#include <GLFW/glfw3.h>
#include <dlfcn.h>
#include <errno.h>
#include <stddef.h>
#include <string.h>

extern void* __libc_malloc(size_t size);

static int window_open;

void glfwSwapInterval(int interval) {
    static void (*real)(int);
    if (real == NULL) {
        void* address = dlsym(RTLD_NEXT, "glfwSwapInterval");
        memcpy(&real, &address, sizeof address);
    }
    real(interval);
    window_open = 1;
}

void* malloc(size_t size) {
    if (window_open && size >= 32768) {
        errno = ENOMEM;
        return NULL;
    }
    return __libc_malloc(size);
}
