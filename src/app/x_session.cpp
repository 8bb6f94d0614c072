// X11 only: the error handlers the program lives under, and the check for a
// crashed window manager's leftovers before the window library starts.
#include "app/x_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/lost_display_guard.h"
#include "platform/x_window_gone.h"

// Mesa's software GL asks the server for the window's size before it draws
// and uses the answer even when the request failed, as it does once another
// client has destroyed the window: sizes that were never written, and
// buffers resized to them, corrupt the heap before the program can end.
// This one stands in front of Xlib's for every library in the process (the
// executable exports it), so that a failed request answers a size of 0 x 0
// and the GL draws nothing until the program has ended.
extern "C" Status XGetGeometry(Display* display, Drawable drawable, Window* root, int* x, int* y,
                               unsigned int* width, unsigned int* height,
                               unsigned int* border_width, unsigned int* depth) {
    using Query = Status (*)(Display*, Drawable, Window*, int*, int*, unsigned int*, unsigned int*,
                             unsigned int*, unsigned int*);
    static const Query xlib_query = reinterpret_cast<Query>(dlsym(RTLD_NEXT, "XGetGeometry"));
    *root = 0;
    *x = *y = 0;
    *width = *height = *border_width = *depth = 0;
    return xlib_query != nullptr
               ? xlib_query(display, drawable, root, x, y, width, height, border_width, depth)
               : 0;
}

namespace solidmorph {

namespace {

// Read from the error handler, which runs inside Xlib on this same thread.
unsigned long program_window = 0;

// What the program does once the connection is gone for good.
void (*connection_lost_action)() = nullptr;

// The display connection is gone (the X server ended or dropped us): the
// window, its context and the texture went with it, and any further X call
// would only fail again. Xlib's own handler would exit with status 1; the
// program's action decides instead, and should it return, Xlib ends the
// process itself.
int on_connection_lost(Display*) {
    if (connection_lost_action != nullptr) connection_lost_action();
    return 0;
}

// What the program does once its window has gone.
void (*window_gone_action)() = nullptr;

// Xlib's own handler prints the error and exits with status 1. Errors
// arrive here late and out of line with the call that caused them; the
// only one worth reporting is the program's window being gone (destroyed
// under it, or the server tearing everything down). Every other error, like
// those about other clients' windows that vanished, leaves nothing the
// program could do better than go on.
int on_protocol_error(Display*, XErrorEvent* error) {
    if (x_error_says_window_gone(error->error_code, error->resourceid, program_window) &&
        window_gone_action != nullptr) {
        window_gone_action();
    }
    return 0;
}

// Set by the handler below while the check's own queries run.
bool query_failed = false;

int note_query_error(Display*, XErrorEvent*) {
    query_failed = true;
    return 0;
}

// The first window named by window's _NET_SUPPORTING_WM_CHECK, read the way
// the window library reads it (type WINDOW, any number of items); 0 when
// the property is missing, of another type, empty, or window is gone.
Window read_check(Display* display, Window window, Atom check) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    query_failed = false;
    const int status = XGetWindowProperty(display, window, check, 0, 1, False, XA_WINDOW, &type,
                                          &format, &items, &remaining, &data);
    XSync(display, False);
    Window named = 0;
    if (status == Success && !query_failed && data != nullptr && items > 0 && format == 32) {
        named = static_cast<Window>(*reinterpret_cast<unsigned long*>(data));
    }
    if (data != nullptr) XFree(data);
    return named;
}

bool window_exists(Display* display, Window window) {
    XWindowAttributes attributes;
    query_failed = false;
    const Status status = XGetWindowAttributes(display, window, &attributes);
    XSync(display, False);
    return status != 0 && !query_failed;
}

enum class CheckState { sound, names_no_window, names_a_stranger };

// What the root's check names, as the window library will judge it: sound
// when there is none, or its window names something back (a matching name
// or not, the library copes); otherwise the library's detection takes the
// path that leaves its error handling broken.
CheckState root_check_state(Display* display, Atom check) {
    const Window named = read_check(display, DefaultRootWindow(display), check);
    if (named == 0 || read_check(display, named, check) != 0) return CheckState::sound;
    return window_exists(display, named) ? CheckState::names_a_stranger
                                         : CheckState::names_no_window;
}

// A root check naming a window that no longer exists is cleared, inside a
// server grab so that nobody can set a fresh one between the look and the
// deletion. This is harmless: every client that follows the window-manager
// conventions (the window library included) reads a check naming no window
// exactly as it reads no check, "no window manager running", and a window
// manager that starts later sets its own. A check naming a window that
// exists but does not name itself back may be a window manager half-way
// through announcing itself, so it is given a moment to finish, and then
// left alone.
CheckState clear_stale_check(Display* display, Atom check) {
    CheckState state = root_check_state(display, check);
    for (int wait = 0; wait < 10 && state == CheckState::names_a_stranger; ++wait) {
        const timespec step{0, 50'000'000};
        nanosleep(&step, nullptr);
        state = root_check_state(display, check);
    }
    if (state != CheckState::names_no_window) return state;
    XGrabServer(display);
    state = root_check_state(display, check);
    if (state == CheckState::names_no_window) {
        XDeleteProperty(display, DefaultRootWindow(display), check);
        state = CheckState::sound;
    }
    XUngrabServer(display);
    XSync(display, False);
    return state;
}

}  // namespace

void install_x_error_handlers(void (*on_lost)(), void (*on_window_gone)()) {
    connection_lost_action = on_lost;
    window_gone_action = on_window_gone;
    XSetIOErrorHandler(on_connection_lost);
    XSetErrorHandler(on_protocol_error);
}

void watch_program_window(unsigned long window) { program_window = window; }

void watch_program_connection(int connection_fd) {
    if (connection_fd >= 0 && connection_lost_action != nullptr) {
        guard_faults_on_display(connection_fd, connection_lost_action);
    } else {
        stop_guarding_faults();
    }
}

// The packaged window library (GLFW 3.3.8) reads the root's check, then the
// named window's, under a temporary error handler; when the second read
// finds nothing it returns without putting the previous handler back, and
// its next temporary handler fails an assertion: an abort at every start.
//
// The look needs an error handler of its own, and Xlib's is process-wide, so
// it runs in a child process: none of its Xlib state is left in the program
// (swapping the handler in the program itself made the sanitized builds'
// leak checker crash at exit). The child ends with its parent, and on its
// own after a while on a server that never answers.
bool x_session_safe_for_window_library() {
    const pid_t child = fork();
    if (child < 0) return true;
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        signal(SIGALRM, SIG_DFL);
        alarm(10);
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr) _exit(0);
        XSetErrorHandler(note_query_error);
        const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
        const CheckState state =
            check == None ? CheckState::sound : clear_stale_check(display, check);
        XCloseDisplay(display);
        _exit(state == CheckState::sound ? 0 : 1);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}

}  // namespace solidmorph
