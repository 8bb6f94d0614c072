#include "saver/x_glue.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <cstring>

#include "platform/lost_display_guard.h"
#include "platform/x_window_gone.h"

namespace solidmorph {

namespace {

Display* display = nullptr;
Window window = 0;
bool own_window = false;
Colormap colormap = 0;
bool double_buffered = true;
GLXContext context = nullptr;
Atom wm_delete_window = 0;
// Where the left button last saw the pointer, for the drag it reports.
int pointer_x = 0, pointer_y = 0;
XLossAction loss_action = nullptr;

// Until the surface is open, an X error is an answer to one of the glue's
// own questions ("is there such a window?"); afterwards it is news about
// the drawable, for the caller to act on. Which errors say that the drawable
// has gone is the rule the program's own handlers follow, so that an error
// about some other resource is never taken for the window's end.
bool drawing = false;
int last_error = Success;

// How long an error waits for the server to hang up before it is taken as
// a refusal: ample for a server already tearing down, and a refusal is the
// end of the saver anyway.
constexpr int server_end_wait_ms = 500;

int on_x_error(Display*, XErrorEvent* error) {
    if (!drawing) {
        last_error = error->error_code;
        return 0;
    }
    const bool gone = x_error_says_window_gone(error->error_code, error->resourceid, window);
    if (gone) {
        loss_action(XLoss::window_gone);
    } else if (connection_hangs_up(ConnectionNumber(display), server_end_wait_ms)) {
        // The server refused it on its way out: the connection's loss.
        loss_action(XLoss::connection_lost);
    } else {
        loss_action(XLoss::protocol_error);
    }
    return 0;
}

int on_x_io_error(Display*) {
    if (loss_action != nullptr) loss_action(XLoss::connection_lost);
    return 0;
}

// The same loss, seen as a fault inside the GL library (lost_display_guard.h).
void on_fault_after_hang_up() { loss_action(XLoss::connection_lost); }

// Asks the server and waits for its answer: true when the request failed.
bool failed_on_server() {
    XSync(display, False);
    const bool failed = last_error != Success;
    last_error = Success;
    return failed;
}

XOpen make_own_window(const XTarget& target, XVisualInfo*& info) {
    const bool fullscreen = target.fullscreen;
    const int screen = DefaultScreen(display);
    int attributes[] = {
        GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
        8,        GLX_DEPTH_SIZE,   24,           None};
    info = glXChooseVisual(display, screen, attributes);
    if (info == nullptr) {
        attributes[9] = 16;
        info = glXChooseVisual(display, screen, attributes);
    }
    if (info == nullptr) return XOpen::no_gl_visual;

    const Window root = RootWindow(display, screen);
    colormap = XCreateColormap(display, root, info->visual, AllocNone);
    XSetWindowAttributes settings{};
    settings.colormap = colormap;
    settings.background_pixel = BlackPixel(display, screen);
    settings.border_pixel = 0;
    settings.event_mask = StructureNotifyMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask |
                          Button1MotionMask;
    const unsigned int width =
        fullscreen ? unsigned(DisplayWidth(display, screen)) : unsigned(target.width);
    const unsigned int height =
        fullscreen ? unsigned(DisplayHeight(display, screen)) : unsigned(target.height);
    window =
        XCreateWindow(display, root, 0, 0, width, height, 0, info->depth, InputOutput, info->visual,
                      CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &settings);
    own_window = true;
    XStoreName(display, window, "solidmorph");
    char name[] = "solidmorph";
    char class_name[] = "Solidmorph";
    XClassHint class_hint{name, class_name};
    XSetClassHint(display, window, &class_hint);
    wm_delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &wm_delete_window, 1);
    // Lets window managers and tools tie the window to this process.
    long pid = long(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&pid), 1);
    if (fullscreen) {
        // Asked of the window manager before mapping, so the window never
        // shows a frame; without one the window is borderless anyway.
        Atom state = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<unsigned char*>(&state), 1);
        // flags: decorations given; decorations: none.
        long motif_hints[5] = {2, 0, 0, 0, 0};
        const Atom motif = XInternAtom(display, "_MOTIF_WM_HINTS", False);
        XChangeProperty(display, window, motif, motif, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(motif_hints), 5);
    }
    XMapWindow(display, window);
    return XOpen::opened;
}

// The window of another client (or the root): its own visual decides
// whether our context can live on it; we never change its attributes, we
// only listen to its size and its end.
XOpen use_existing_window(Window id, XVisualInfo*& info) {
    XWindowAttributes attributes{};
    const Status found = XGetWindowAttributes(display, id, &attributes);
    if (failed_on_server() || found == 0) return XOpen::no_window;

    XVisualInfo wanted{};
    wanted.visualid = XVisualIDFromVisual(attributes.visual);
    wanted.screen = XScreenNumberOfScreen(attributes.screen);
    int count = 0;
    info = XGetVisualInfo(display, VisualIDMask | VisualScreenMask, &wanted, &count);
    if (info == nullptr) return XOpen::no_gl_visual;
    int use_gl = 0;
    int rgba = 0;
    int depth_bits = 0;
    int doubled = 0;
    const bool readable = glXGetConfig(display, info, GLX_USE_GL, &use_gl) == 0 &&
                          glXGetConfig(display, info, GLX_RGBA, &rgba) == 0 &&
                          glXGetConfig(display, info, GLX_DEPTH_SIZE, &depth_bits) == 0 &&
                          glXGetConfig(display, info, GLX_DOUBLEBUFFER, &doubled) == 0;
    if (!readable || use_gl == 0 || rgba == 0 || depth_bits == 0) {
        XFree(info);
        info = nullptr;
        return XOpen::no_gl_visual;
    }
    double_buffered = doubled != 0;
    // Another client may select other events on it; this selection is ours.
    XSelectInput(display, id, StructureNotifyMask);
    if (failed_on_server()) {
        XFree(info);
        info = nullptr;
        return XOpen::no_window;
    }
    window = id;
    own_window = false;
    return XOpen::opened;
}

// One frame per vertical blank where the driver can, as the program asks of
// its window library: the morph and the spin advance per frame.
void ask_for_swap_interval() {
    const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
    if (extensions == nullptr) return;
    const auto* ext_name = reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT");
    const auto* mesa_name = reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA");
    if (std::strstr(extensions, "GLX_EXT_swap_control") != nullptr) {
        const auto set =
            reinterpret_cast<PFNGLXSWAPINTERVALEXTPROC>(glXGetProcAddressARB(ext_name));
        if (set != nullptr) set(display, window, 1);
    } else if (std::strstr(extensions, "GLX_MESA_swap_control") != nullptr) {
        const auto set =
            reinterpret_cast<PFNGLXSWAPINTERVALMESAPROC>(glXGetProcAddressARB(mesa_name));
        if (set != nullptr) set(1);
    }
}

void disconnect() {
    drawing = false;
    if (context != nullptr) {
        glXMakeCurrent(display, None, nullptr);
        glXDestroyContext(display, context);
        context = nullptr;
    }
    if (own_window && window != 0) XDestroyWindow(display, window);
    if (colormap != 0) XFreeColormap(display, colormap);
    XCloseDisplay(display);
    stop_guarding_faults();
    display = nullptr;
    window = 0;
    own_window = false;
    colormap = 0;
}

}  // namespace

XOpen open_x_surface(const XTarget& target, XLossAction on_loss, XSurface& surface) {
    loss_action = on_loss;
    XSetErrorHandler(on_x_error);
    XSetIOErrorHandler(on_x_io_error);
    display = XOpenDisplay(target.display.empty() ? nullptr : target.display.c_str());
    if (display == nullptr) return XOpen::no_display;
    guard_faults_on_display(ConnectionNumber(display), on_fault_after_hang_up);
    int glx_errors = 0;
    int glx_events = 0;
    if (glXQueryExtension(display, &glx_errors, &glx_events) == False) {
        disconnect();
        return XOpen::no_glx;
    }
    XVisualInfo* info = nullptr;
    const XOpen found = target.window_id != 0 ? use_existing_window(Window(target.window_id), info)
                        : target.use_root ? use_existing_window(DefaultRootWindow(display), info)
                                          : make_own_window(target, info);
    if (found != XOpen::opened) {
        if (info != nullptr) XFree(info);
        disconnect();
        return found;
    }
    context = glXCreateContext(display, info, nullptr, True);
    XFree(info);
    if (context == nullptr || glXMakeCurrent(display, window, context) == False ||
        failed_on_server()) {
        disconnect();
        return XOpen::no_context;
    }
    ask_for_swap_interval();
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, window, &attributes);
    if (failed_on_server()) {
        disconnect();
        return XOpen::no_window;
    }
    surface.width = attributes.width;
    surface.height = attributes.height;
    drawing = true;
    return XOpen::opened;
}

bool make_text_lists(uint32_t& base, int32_t& line_height) {
    XFontStruct* font = XLoadQueryFont(display, "fixed");
    if (font == nullptr) return false;
    constexpr int first = ' ', count = '~' - ' ' + 1;
    const GLuint lists = glGenLists(count);
    if (lists == 0) {
        XFreeFont(display, font);
        return false;
    }
    glXUseXFont(font->fid, first, count, GLint(lists));
    // Mesa's lists leave out a glyph without pixels, and drop an empty
    // bitmap's move, so the space would not move the text on: it gets a
    // list that moves by a blank pixel's bitmap.
    static const GLubyte blank = 0;
    glNewList(lists, GL_COMPILE);
    glBitmap(1, 1, 0.0f, 0.0f, float(font->max_bounds.width), 0.0f, &blank);
    glEndList();
    line_height = font->ascent + font->descent;
    XFreeFont(display, font);
    base = lists - first;
    return true;
}

void poll_x_events(XSurface& surface, XEvents& events) {
    events = XEvents{};
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
            case ConfigureNotify:
                if (event.xconfigure.window == window &&
                    (event.xconfigure.width != surface.width ||
                     event.xconfigure.height != surface.height)) {
                    surface.width = event.xconfigure.width;
                    surface.height = event.xconfigure.height;
                    events.resized = true;
                }
                break;
            case DestroyNotify:
                if (event.xdestroywindow.window == window) loss_action(XLoss::window_gone);
                break;
            case KeyPress: {
                const KeySym key = XLookupKeysym(&event.xkey, 0);
                const char typed = key == XK_Escape ? '\x1b' : key < 0x80 ? char(key) : '\0';
                if (typed != '\0' && events.key_count < int32_t(sizeof events.keys)) {
                    events.keys[events.key_count++] = typed;
                }
                break;
            }
            case ButtonPress:
                if (event.xbutton.button == Button1) {
                    ++events.left_presses;
                    pointer_x = event.xbutton.x;
                    pointer_y = event.xbutton.y;
                }
                break;
            case MotionNotify:
            case ButtonRelease: {
                // Motion and the release both carry where the pointer is.
                const bool release = event.type == ButtonRelease;
                if (release && event.xbutton.button != Button1) break;
                const int x = release ? event.xbutton.x : event.xmotion.x;
                const int y = release ? event.xbutton.y : event.xmotion.y;
                events.drag_dx += x - pointer_x;
                events.drag_dy += y - pointer_y;
                pointer_x = x;
                pointer_y = y;
                if (release) ++events.left_releases;
                break;
            }
            case ClientMessage:
                if (wm_delete_window != 0 && Atom(event.xclient.data.l[0]) == wm_delete_window) {
                    events.close_asked = true;
                }
                break;
            default:
                break;
        }
    }
}

void swap_x_surface() {
    if (double_buffered) {
        glXSwapBuffers(display, window);
    } else {
        glFinish();
    }
}

void close_x_surface() {
    if (display != nullptr) disconnect();
}

}  // namespace solidmorph
