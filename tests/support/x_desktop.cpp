#include "support/x_desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace solidmorph::test {

namespace {

int ignore_error(Display*, XErrorEvent*) { return 0; }

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
    Display* display = XOpenDisplay(nullptr);
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
    XCloseDisplay(display);
    return named;
}

// Another client's window may vanish while it is read: the error that
// brings is the answer "no class", not the end of the test process.
std::string window_class(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return "";
    const auto previous = XSetErrorHandler(ignore_error);
    XClassHint hint{};
    std::string found;
    if (XGetClassHint(display, window, &hint) != 0) {
        found = std::string(hint.res_name != nullptr ? hint.res_name : "") + "/" +
                (hint.res_class != nullptr ? hint.res_class : "");
    }
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return found;
}

int64_t lit_pixels_of_window(unsigned long window, int x, int y, int width, int height) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return -1;
    const auto previous = XSetErrorHandler(ignore_error);
    XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    int64_t lit = image == nullptr ? -1 : 0;
    for (int row = 0; image != nullptr && row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            lit += (XGetPixel(image, column, row) & 0xFFFFFFUL) != 0;
        }
    }
    if (image != nullptr) XDestroyImage(image);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return lit;
}

}  // namespace solidmorph::test
