#include "support/x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

#include "support/pty_process.h"

namespace solidmorph::test {

namespace {

// Other clients' windows come and go while a test looks at them: a window
// that vanishes between finding it and asking about it makes the request
// fail with BadWindow, and Xlib's default handler would end the whole test
// process. While a test connection is open, such an error only makes the
// request report failure, as a window that is gone should.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

using XErrorHandlerFunction = int (*)(Display*, XErrorEvent*);
XErrorHandlerFunction previous_handler = nullptr;
int open_connections = 0;

Display* open_test_display() {
    Display* display = XOpenDisplay(nullptr);
    if (display != nullptr && open_connections++ == 0) {
        previous_handler = XSetErrorHandler(ignore_x_error);
    }
    return display;
}

// Errors still in flight are collected before the default handling returns.
void close_test_display(Display* display) {
    XSync(display, False);
    XCloseDisplay(display);
    if (--open_connections == 0) XSetErrorHandler(previous_handler);
}

// Whether window is viewable and names pid as its owner.
bool is_mapped_window_of(Display* display, Window window, Atom pid_atom, pid_t pid) {
    XWindowAttributes attributes;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowAttributes(display, window, &attributes) == 0 ||
        attributes.map_state != IsViewable ||
        XGetWindowProperty(display, window, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &remaining, &data) != Success ||
        data == nullptr) {
        return false;
    }
    const bool owned = items == 1 && format == 32 &&
                       *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(pid);
    XFree(data);
    return owned;
}

// A viewable window below parent that names pid as its owner, or 0. The
// search goes `depth` levels down: a window manager puts each top-level
// window into a frame of its own.
Window find_window_below(Display* display, Window parent, Atom pid_atom, pid_t pid, int depth) {
    Window root = 0, up = 0, found = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) return 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        if (is_mapped_window_of(display, children[i], pid_atom, pid)) {
            found = children[i];
        } else if (depth > 1) {
            found = find_window_below(display, children[i], pid_atom, pid, depth - 1);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

Window find_mapped_window(Display* display, pid_t pid) {
    const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", True);
    if (pid_atom == None) return 0;
    return find_window_below(display, DefaultRootWindow(display), pid_atom, pid, 2);
}

// The primary output (or the first with a video mode) and its CRTC, for the
// mode helpers; output is 0 when there is none.
struct ActiveOutput {
    XRRScreenResources* resources = nullptr;
    XRROutputInfo* output = nullptr;
    XRRCrtcInfo* crtc = nullptr;
    RRCrtc crtc_id = 0;
};

ActiveOutput find_active_output(Display* display) {
    ActiveOutput found;
    const Window root = DefaultRootWindow(display);
    int event_base = 0, error_base = 0;
    if (!XRRQueryExtension(display, &event_base, &error_base)) return found;
    found.resources = XRRGetScreenResourcesCurrent(display, root);
    if (found.resources == nullptr) return found;
    const RROutput primary = XRRGetOutputPrimary(display, root);
    for (int i = -1; i < found.resources->noutput && found.crtc == nullptr; ++i) {
        const RROutput id = i < 0 ? primary : found.resources->outputs[i];
        if (id == 0) continue;
        XRROutputInfo* output = XRRGetOutputInfo(display, found.resources, id);
        if (output != nullptr && output->crtc != 0) {
            found.output = output;
            found.crtc_id = output->crtc;
            found.crtc = XRRGetCrtcInfo(display, found.resources, output->crtc);
        } else if (output != nullptr) {
            XRRFreeOutputInfo(output);
        }
    }
    return found;
}

void free_active_output(ActiveOutput& found) {
    if (found.crtc != nullptr) XRRFreeCrtcInfo(found.crtc);
    if (found.output != nullptr) XRRFreeOutputInfo(found.output);
    if (found.resources != nullptr) XRRFreeScreenResources(found.resources);
    found = {};
}

}  // namespace

unsigned long wait_for_window_of(pid_t pid, int timeout_ms) {
    Display* display = open_test_display();
    if (display == nullptr) return 0;
    const double end = pty_now_ms() + timeout_ms;
    Window window = find_mapped_window(display, pid);
    while (window == 0 && pty_now_ms() < end) {
        pty_sleep_ms(50);
        window = find_mapped_window(display, pid);
    }
    close_test_display(display);
    return window;
}

bool wait_for_picture(pid_t pid, int timeout_ms) {
    if (wait_for_window_of(pid, timeout_ms) == 0) return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (lit_pixels_in_centre() > 1000) return true;
        pty_sleep_ms(100);
    }
    return false;
}

// A client message about `window`, of the named type with two data words,
// sent to `target` with the given event mask, as window managers and pagers
// send them.
static bool send_client_message(unsigned long window, const char* type, long first, long second,
                                bool to_root, long mask) {
    Display* display = open_test_display();
    if (display == nullptr) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, type, False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = first;
    event.xclient.data.l[1] = second;
    const Window target = to_root ? DefaultRootWindow(display) : window;
    const Status sent = XSendEvent(display, target, False, mask, &event);
    XSync(display, False);
    close_test_display(display);
    return sent != 0;
}

bool send_close_request(unsigned long window) {
    Display* display = open_test_display();
    if (display == nullptr) return false;
    const long delete_window = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close_test_display(display);
    return send_client_message(window, "WM_PROTOCOLS", delete_window, CurrentTime, false,
                               NoEventMask);
}

bool press_escape() {
    PtyChild xdotool = pty_spawn({"xdotool", "key", "Escape"});
    const ExitStatus status = pty_wait_exit(xdotool, 10000);
    pty_close(xdotool);
    return status.exited && status.code == 0;
}

// From a pager or the like (source 2): the user asked.
bool send_wm_close_request(unsigned long window) {
    return send_client_message(window, "_NET_CLOSE_WINDOW", CurrentTime, 2, true,
                               SubstructureRedirectMask | SubstructureNotifyMask);
}

bool destroy_window(unsigned long window) {
    Display* display = open_test_display();
    if (display == nullptr) return false;
    XDestroyWindow(display, window);
    close_test_display(display);
    return true;
}

bool wait_for_focus(unsigned long window, int timeout_ms) {
    Display* display = open_test_display();
    if (display == nullptr) return false;
    const double end = pty_now_ms() + timeout_ms;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    while (focus != window && pty_now_ms() < end) {
        pty_sleep_ms(50);
        XGetInputFocus(display, &focus, &revert);
    }
    close_test_display(display);
    return focus == window;
}

namespace {

// Calls lit(x, y) for every pixel of box that is not black, x and y within
// box; false when the pixels cannot be read.
template <typename Lit>
bool for_lit_pixels(const ScreenBox& box, unsigned long window, Lit lit) {
    Display* display = open_test_display();
    if (display == nullptr) return false;
    const int screen_width = DisplayWidth(display, DefaultScreen(display));
    const int screen_height = DisplayHeight(display, DefaultScreen(display));
    XImage* image = nullptr;
    if (box.x >= 0 && box.y >= 0 && box.width > 0 && box.height > 0 &&
        (window != 0 ||
         (box.x + box.width <= screen_width && box.y + box.height <= screen_height))) {
        image = XGetImage(display, window != 0 ? window : DefaultRootWindow(display), box.x, box.y,
                          static_cast<unsigned>(box.width), static_cast<unsigned>(box.height),
                          AllPlanes, ZPixmap);
    }
    for (int y = 0; image != nullptr && y < box.height; ++y) {
        for (int x = 0; x < box.width; ++x) {
            if ((XGetPixel(image, x, y) & 0xFFFFFFUL) != 0) lit(x, y);
        }
    }
    const bool read = image != nullptr;
    if (image != nullptr) XDestroyImage(image);
    close_test_display(display);
    return read;
}

}  // namespace

int64_t lit_pixels(const ScreenBox& box, unsigned long window) {
    int64_t lit = 0;
    return for_lit_pixels(box, window, [&lit](int, int) { ++lit; }) ? lit : -1;
}

ScreenBox lit_bounds(const ScreenBox& box, unsigned long window) {
    int left = box.width, top = box.height, right = -1, bottom = -1;
    const bool read = for_lit_pixels(box, window, [&](int x, int y) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
    });
    if (!read || right < 0) return {};
    return {box.x + left, box.y + top, right - left + 1, bottom - top + 1};
}

int64_t lit_pixels_in_centre() {
    const ScreenBox screen = screen_box();
    return lit_pixels({screen.width / 4, screen.height / 4, screen.width / 2, screen.height / 2});
}

ScreenBox screen_box() {
    Display* display = open_test_display();
    if (display == nullptr) return {};
    const ScreenBox box{0, 0, DisplayWidth(display, DefaultScreen(display)),
                        DisplayHeight(display, DefaultScreen(display))};
    close_test_display(display);
    return box;
}

ScreenBox window_box(unsigned long window) {
    Display* display = open_test_display();
    if (display == nullptr) return {};
    ScreenBox box;
    XWindowAttributes attributes;
    Window child = 0;
    if (XGetWindowAttributes(display, window, &attributes) != 0 &&
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &box.x, &box.y,
                              &child) != 0) {
        box.width = attributes.width;
        box.height = attributes.height;
    }
    close_test_display(display);
    return box;
}

ScreenMode current_mode() {
    Display* display = open_test_display();
    if (display == nullptr) return {};
    ActiveOutput found = find_active_output(display);
    ScreenMode mode;
    if (found.crtc != nullptr && found.crtc->mode != 0) {
        mode = {static_cast<int>(found.crtc->width), static_cast<int>(found.crtc->height)};
    }
    free_active_output(found);
    close_test_display(display);
    return mode;
}

bool set_mode(ScreenMode mode) {
    Display* display = open_test_display();
    if (display == nullptr) return false;
    ActiveOutput found = find_active_output(display);
    RRMode wanted = 0;
    for (int i = 0; found.crtc != nullptr && i < found.output->nmode && wanted == 0; ++i) {
        for (int j = 0; j < found.resources->nmode; ++j) {
            const XRRModeInfo& info = found.resources->modes[j];
            if (info.id == found.output->modes[i] && static_cast<int>(info.width) == mode.width &&
                static_cast<int>(info.height) == mode.height) {
                wanted = info.id;
                break;
            }
        }
    }
    const bool switched =
        wanted != 0 &&
        XRRSetCrtcConfig(display, found.resources, found.crtc_id, CurrentTime, found.crtc->x,
                         found.crtc->y, wanted, found.crtc->rotation, found.crtc->outputs,
                         found.crtc->noutput) == RRSetConfigSuccess;
    free_active_output(found);
    close_test_display(display);
    return switched;
}

PrivateXvfb::PrivateXvfb(const std::vector<std::string>& options) {
    std::vector<std::string> argv{"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-noreset"};
    argv.insert(argv.end(), options.begin(), options.end());
    // The server prints its display number once it accepts clients; its
    // chatter on stderr would only get in the way.
    server = pty_run([&argv] {
        dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        return 127;
    });
    if (pty_read_until(server, "\n", 10000)) {
        const std::string number = server.output.substr(0, server.output.find_first_of("\r\n"));
        display.push_back(':');
        display += number;
    }
}

UsingDisplay::UsingDisplay(const std::string& display) {
    const char* old = getenv("DISPLAY");
    had_previous = old != nullptr;
    if (had_previous) previous = old;
    setenv("DISPLAY", display.c_str(), 1);
}

UsingDisplay::~UsingDisplay() {
    if (had_previous) {
        setenv("DISPLAY", previous.c_str(), 1);
    } else {
        unsetenv("DISPLAY");
    }
}

namespace {

Atom check_atom(Display* display) {
    return XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
}

}  // namespace

StaleWmCheck::StaleWmCheck(bool window_gone) {
    display = XOpenDisplay(nullptr);
    if (display == nullptr) return;
    const Window root = DefaultRootWindow(display);
    const Window window = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    if (window_gone) XDestroyWindow(display, window);
    XChangeProperty(display, root, check_atom(display), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&window), 1);
    XSync(display, False);
    named = window;
}

StaleWmCheck::~StaleWmCheck() {
    if (display == nullptr) return;
    if (root_wm_check() == named) {
        XDeleteProperty(display, DefaultRootWindow(display), check_atom(display));
    }
    XCloseDisplay(display);
}

unsigned long root_wm_check() {
    Display* display = open_test_display();
    if (display == nullptr) return 0;
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    unsigned long named = 0;
    if (XGetWindowProperty(display, DefaultRootWindow(display), check_atom(display), 0, 1, False,
                           XA_WINDOW, &type, &format, &items, &remaining, &data) == Success &&
        data != nullptr && items == 1 && format == 32) {
        named = *reinterpret_cast<unsigned long*>(data);
    }
    if (data != nullptr) XFree(data);
    close_test_display(display);
    return named;
}

std::string window_class(unsigned long window) {
    Display* display = open_test_display();
    if (display == nullptr) return "";
    XClassHint hint{};
    std::string found;
    if (XGetClassHint(display, window, &hint) != 0) {
        found = std::string(hint.res_name != nullptr ? hint.res_name : "") + "/" +
                (hint.res_class != nullptr ? hint.res_class : "");
    }
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
    close_test_display(display);
    return found;
}

}  // namespace solidmorph::test
