// Preloaded into the program by the end-to-end tests, which cannot count
// frames from outside. It counts buffer swaps and records the shutdown calls
// in a small file that the test maps too, and on request holds Escape down.
// The saver's CPU benchmark preloads it into XScreenSaver's hacks too, to
// count their frames.
//
// FRAME_PROBE_FILE      file of at least sizeof(struct ProbeCounts) bytes
// FRAME_PROBE_ESCAPE    "1": the Escape key reads as pressed from the start
// FRAME_PROBE_SLOW_MS   each swap takes this many milliseconds longer, as on
//                       a slow machine
// FRAME_PROBE_SLOW_TEXTURE_MS  the texture's upload takes this many
//                       milliseconds longer, as with a large file on a slow
//                       machine
// FRAME_PROBE_END_SERVER "PID SIGNAL": as Mesa's GLX asks about MIT-SHM (the
//                       first context), sends SIGNAL to PID (the compositor),
//                       going on once the X server has hung up
#define _GNU_SOURCE
#include <GL/glu.h>
#include <GLFW/glfw3.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include "preload/probe_counts.h"

static struct ProbeCounts* counts;
static int looked;
static int hold_escape;
static long slow_ms;
static long slow_texture_ms;

// The counters live in a shared mapping, so a test reads them while the
// program runs and after it has ended, without any call from the program.
static struct ProbeCounts* probe(void) {
    if (!looked) {
        looked = 1;
        const char* escape = getenv("FRAME_PROBE_ESCAPE");
        hold_escape = escape != NULL && strcmp(escape, "1") == 0;
        const char* slow = getenv("FRAME_PROBE_SLOW_MS");
        slow_ms = slow != NULL ? strtol(slow, NULL, 10) : 0;
        const char* slow_texture = getenv("FRAME_PROBE_SLOW_TEXTURE_MS");
        slow_texture_ms = slow_texture != NULL ? strtol(slow_texture, NULL, 10) : 0;
        const char* path = getenv("FRAME_PROBE_FILE");
        int fd = path != NULL ? open(path, O_RDWR | O_CLOEXEC) : -1;
        if (fd >= 0) {
            void* map = mmap(NULL, sizeof *counts, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            close(fd);
            if (map != MAP_FAILED) counts = map;
        }
    }
    return counts;
}

static void bump(uint64_t* field, uint64_t by) { __atomic_fetch_add(field, by, __ATOMIC_RELAXED); }

// The program is single-threaded, so a plain lazy lookup is enough. ISO C
// has no cast from dlsym's object pointer to a function pointer; the bytes
// are copied instead.
static void resolve(void* function_slot, const char* name) {
    void* address = dlsym(RTLD_NEXT, name);
    memcpy(function_slot, &address, sizeof address);
}

// The whole pause, whatever signals arrive meanwhile.
static void pause_ms(long ms) {
    struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
    while (ms > 0 && nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

void glfwSwapBuffers(GLFWwindow* window) {
    static void (*real)(GLFWwindow*);
    if (real == NULL) resolve(&real, "glfwSwapBuffers");
    real(window);
    if (probe() != NULL) bump(&counts->swaps, 1);
    pause_ms(slow_ms);
}

// The saver's swaps (the window library's own lookup of GLX skips this).
void glXSwapBuffers(void* display, unsigned long drawable) {
    static void (*real)(void*, unsigned long);
    if (real == NULL) resolve(&real, "glXSwapBuffers");
    real(display, drawable);
    if (probe() != NULL) bump(&counts->swaps, 1);
}

// XScreenSaver's GL hacks swap through EGL: counted alike, so that
// tools/saver_cpu_rounds.sh compares their frame rates with the saver's.
// EGLBoolean is an unsigned int.
unsigned int eglSwapBuffers(void* display, void* surface) {
    static unsigned int (*real)(void*, void*);
    if (real == NULL) resolve(&real, "eglSwapBuffers");
    const unsigned int swapped = real(display, surface);
    if (probe() != NULL) bump(&counts->swaps, 1);
    return swapped;
}

// Its cookie is a struct of one unsigned int, returned as that int is.
unsigned int xcb_query_extension(void* c, uint16_t length, const char* name) {
    static unsigned int (*real)(void*, uint16_t, const char*);
    static int (*socket_of)(void*);
    if (real == NULL) resolve(&real, "xcb_query_extension");
    if (socket_of == NULL) resolve(&socket_of, "xcb_get_file_descriptor");
    const char* end = getenv("FRAME_PROBE_END_SERVER");
    int pid = 0;
    int signal = 0;
    if (end != NULL && sscanf(end, "%d %d", &pid, &signal) == 2 && length == 7 &&
        memcmp(name, "MIT-SHM", 7) == 0 && kill(pid, signal) == 0) {
        struct pollfd server = {socket_of(c), POLLRDHUP, 0};
        for (int wait = 0; wait < 500; ++wait) {
            if (poll(&server, 1, 0) == 1 && (server.revents & (POLLRDHUP | POLLHUP)) != 0) break;
            pause_ms(10);
        }
    }
    return real(c, length, name);
}

GLint gluBuild2DMipmaps(GLenum target, GLint components, GLint width, GLint height, GLenum format,
                        GLenum type, const void* data) {
    static GLint (*real)(GLenum, GLint, GLint, GLint, GLenum, GLenum, const void*);
    if (real == NULL) resolve(&real, "gluBuild2DMipmaps");
    probe();
    pause_ms(slow_texture_ms);
    return real(target, components, width, height, format, type, data);
}

int glfwGetKey(GLFWwindow* window, int key) {
    static int (*real)(GLFWwindow*, int);
    if (real == NULL) resolve(&real, "glfwGetKey");
    probe();
    if (hold_escape && key == GLFW_KEY_ESCAPE) return GLFW_PRESS;
    return real(window, key);
}

void glDeleteTextures(GLsizei n, const GLuint* textures) {
    static void (*real)(GLsizei, const GLuint*);
    if (real == NULL) resolve(&real, "glDeleteTextures");
    real(n, textures);
    if (probe() != NULL && n > 0) bump(&counts->textures_deleted, (uint64_t)n);
}

// Remembers how far the program had got when it let go of the window
// library: a clean shutdown has deleted its texture by then.
void glfwTerminate(void) {
    static void (*real)(void);
    if (real == NULL) resolve(&real, "glfwTerminate");
    if (probe() != NULL) {
        __atomic_store_n(&counts->deleted_at_terminate,
                         __atomic_load_n(&counts->textures_deleted, __ATOMIC_RELAXED),
                         __ATOMIC_RELAXED);
        bump(&counts->terminates, 1);
    }
    real();
}
