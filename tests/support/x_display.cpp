#include "support/x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "support/pty_process.h"

namespace solidmorph::test {

namespace {

// A viewable top-level window that names pid as its owner, or 0.
Window find_mapped_window(Display* display, pid_t pid) {
    const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", True);
    Window root = 0, parent = 0, found = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (pid_atom == None ||
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0) {
        return 0;
    }
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        Atom type = None;
        int format = 0;
        unsigned long items = 0, remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable &&
            XGetWindowProperty(display, children[i], pid_atom, 0, 1, False, XA_CARDINAL, &type,
                               &format, &items, &remaining, &data) == Success &&
            data != nullptr) {
            if (items == 1 && format == 32 &&
                *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(pid)) {
                found = children[i];
            }
            XFree(data);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

unsigned long wait_for_window_of(pid_t pid, int timeout_ms) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 0;
    const double end = pty_now_ms() + timeout_ms;
    Window window = find_mapped_window(display, pid);
    while (window == 0 && pty_now_ms() < end) {
        pty_sleep_ms(50);
        window = find_mapped_window(display, pid);
    }
    XCloseDisplay(display);
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

bool send_close_request(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return sent != 0;
}

bool press_escape() {
    PtyChild xdotool = pty_spawn({"xdotool", "key", "Escape"});
    const ExitStatus status = pty_wait_exit(xdotool, 10000);
    pty_close(xdotool);
    return status.exited && status.code == 0;
}

int64_t lit_pixels_in_centre() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return -1;
    const int width = DisplayWidth(display, DefaultScreen(display)) / 2;
    const int height = DisplayHeight(display, DefaultScreen(display)) / 2;
    XImage* image =
        XGetImage(display, DefaultRootWindow(display), width / 2, height / 2,
                  static_cast<unsigned>(width), static_cast<unsigned>(height), AllPlanes, ZPixmap);
    int64_t lit = 0;
    for (int y = 0; image != nullptr && y < height; ++y) {
        for (int x = 0; x < width; ++x) lit += (XGetPixel(image, x, y) & 0xFFFFFFUL) != 0;
    }
    if (image != nullptr) XDestroyImage(image);
    XCloseDisplay(display);
    return lit;
}

}  // namespace solidmorph::test
