// Preloaded into the program (and the saver) by the end-to-end tests, which
// cannot count frames from outside. It counts buffer swaps and records the
// shutdown calls in a small file that the test maps too, and on request holds
// Escape down, ends the X server at a chosen moment or faults.
//
// FRAME_PROBE_FILE      file of at least sizeof(struct ProbeCounts) bytes
// FRAME_PROBE_ESCAPE    "1": the Escape key reads as pressed from the start
// FRAME_PROBE_SLOW_MS   each swap takes this many milliseconds longer, as on
//                       a slow machine
// FRAME_PROBE_SLOW_TEXTURE_MS  the texture's upload takes this many
//                       milliseconds longer, as with a large file on a slow
//                       machine
// FRAME_PROBE_END_SERVER "PID SIGNAL MOMENT": sends SIGNAL to PID (the
//                       desktop's compositor) at MOMENT and waits until the
//                       server has hung up the connection before going on into
//                       the call: "context" (the GL library's first question
//                       about the server, as a context is made), "frame N"
//                       (before the N-th swap, N from 1) or "shutdown" (as the
//                       window library or the GL context is let go)
// FRAME_PROBE_FAULT_FRAME  before this swap (from 1), a write through a null
//                       pointer, as a fault of the program's own would be
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
static int end_pid;
static int end_signal;
static char end_moment[16];
static long end_frame;
static long fault_frame;

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
        const char* end = getenv("FRAME_PROBE_END_SERVER");
        if (end == NULL ||
            sscanf(end, "%d %d %15s %ld", &end_pid, &end_signal, end_moment, &end_frame) < 3) {
            end_pid = 0;
        }
        const char* fault = getenv("FRAME_PROBE_FAULT_FRAME");
        fault_frame = fault != NULL ? strtol(fault, NULL, 10) : 0;
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

// Ends the server once, at the moment asked for, and returns once the
// server has hung up on connection_fd (or after 5 s).
static void end_server_at(const char* moment, int connection_fd) {
    probe();
    if (end_pid <= 0 || strcmp(moment, end_moment) != 0) return;
    if (strcmp(moment, "frame") == 0 && counts != NULL &&
        (long)__atomic_load_n(&counts->swaps, __ATOMIC_RELAXED) + 1 != end_frame) {
        return;
    }
    kill(end_pid, end_signal);
    end_pid = 0;
    for (int wait = 0; wait < 500; ++wait) {
        struct pollfd connection = {connection_fd, POLLRDHUP, 0};
        if (poll(&connection, 1, 0) == 1 && (connection.revents & (POLLRDHUP | POLLHUP)) != 0) {
            return;
        }
        pause_ms(10);
    }
}

// The display's socket, through Xlib's own function (the probe links no X
// library; the program has it loaded).
static int connection_of(void* display) {
    static int (*number)(void*);
    if (number == NULL) resolve(&number, "XConnectionNumber");
    return display != NULL && number != NULL ? number(display) : -1;
}

static int program_connection(void) {
    static void* (*display)(void);
    if (display == NULL) resolve(&display, "glfwGetX11Display");
    return display != NULL ? connection_of(display()) : -1;
}

// Read through a volatile pointer, so the compiler cannot see the null and
// put a trap of its own in place of the fault.
static int* volatile nowhere;

static void before_swap(int connection_fd) {
    probe();
    const long frame =
        counts != NULL ? (long)__atomic_load_n(&counts->swaps, __ATOMIC_RELAXED) + 1 : 0;
    if (fault_frame > 0 && frame == fault_frame) *nowhere = 1;
    end_server_at("frame", connection_fd);
}

void glfwSwapBuffers(GLFWwindow* window) {
    static void (*real)(GLFWwindow*);
    if (real == NULL) resolve(&real, "glfwSwapBuffers");
    before_swap(program_connection());
    real(window);
    if (probe() != NULL) bump(&counts->swaps, 1);
    pause_ms(slow_ms);
}

// The saver calls GLX itself (the program's window library reaches GLX
// through its own lookup, which this does not see).
void glXSwapBuffers(void* display, unsigned long drawable) {
    static void (*real)(void*, unsigned long);
    if (real == NULL) resolve(&real, "glXSwapBuffers");
    before_swap(connection_of(display));
    real(display, drawable);
    if (probe() != NULL) bump(&counts->swaps, 1);
}

void glXDestroyContext(void* display, void* context) {
    static void (*real)(void*, void*);
    if (real == NULL) resolve(&real, "glXDestroyContext");
    end_server_at("shutdown", connection_of(display));
    real(display, context);
}

// Mesa's GLX asks the server about MIT-SHM through xcb as it sets up the
// first context, for the program and the saver alike.
typedef struct xcb_connection_t xcb_connection_t;
typedef struct {
    unsigned int sequence;
} xcb_query_extension_cookie_t;

xcb_query_extension_cookie_t xcb_query_extension(xcb_connection_t* connection, uint16_t length,
                                                 const char* name) {
    static xcb_query_extension_cookie_t (*real)(xcb_connection_t*, uint16_t, const char*);
    static int (*file_descriptor)(xcb_connection_t*);
    if (real == NULL) resolve(&real, "xcb_query_extension");
    if (file_descriptor == NULL) resolve(&file_descriptor, "xcb_get_file_descriptor");
    if (length == 7 && memcmp(name, "MIT-SHM", 7) == 0) {
        end_server_at("context", file_descriptor(connection));
    }
    return real(connection, length, name);
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
    end_server_at("shutdown", program_connection());
    if (probe() != NULL) {
        __atomic_store_n(&counts->deleted_at_terminate,
                         __atomic_load_n(&counts->textures_deleted, __ATOMIC_RELAXED),
                         __ATOMIC_RELAXED);
        bump(&counts->terminates, 1);
    }
    real();
}
