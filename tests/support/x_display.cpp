#include "support/x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace solidmorph::test {

namespace {

unsigned long window_pid(Display* display, Window window) {
    const Atom pid_atom = XInternAtom(display, "_NET_WM_PID", True);
    if (pid_atom == None) {
        return 0;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    unsigned long pid = 0;
    if (XGetWindowProperty(display, window, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &remaining, &data) == Success &&
        data != nullptr) {
        if (count == 1 && format == 32) {
            pid = *reinterpret_cast<unsigned long*>(data);
        }
        XFree(data);
    }
    return pid;
}

Window find_mapped_window(Display* display, pid_t pid) {
    Window root_return = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root_return, &parent, &children, &count) ==
        0) {
        return 0;
    }
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable &&
            window_pid(display, children[i]) == static_cast<unsigned long>(pid)) {
            found = children[i];
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

}  // namespace

unsigned long wait_for_window_of(pid_t pid, int timeout_ms) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return 0;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    Window window = 0;
    while (window == 0 && std::chrono::steady_clock::now() < deadline) {
        window = find_mapped_window(display, pid);
        if (window == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    XCloseDisplay(display);
    return window;
}

bool send_close_request(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
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
    const char* argv[] = {"xdotool", "key", "Escape", nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int64_t lit_pixels_in_centre() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return -1;
    }
    const int width = DisplayWidth(display, DefaultScreen(display));
    const int height = DisplayHeight(display, DefaultScreen(display));
    XImage* image = XGetImage(display, DefaultRootWindow(display), width / 4, height / 4,
                              static_cast<unsigned>(width / 2), static_cast<unsigned>(height / 2),
                              AllPlanes, ZPixmap);
    int64_t lit = 0;
    if (image != nullptr) {
        for (int y = 0; y < height / 2; ++y) {
            for (int x = 0; x < width / 2; ++x) {
                lit += (XGetPixel(image, x, y) & 0xFFFFFFUL) != 0 ? 1 : 0;
            }
        }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return lit;
}

}  // namespace solidmorph::test
