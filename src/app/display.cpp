// The only file that talks to GLFW: the rest of the program opens, presents
// and closes its window through the free functions of display.h. It reports
// what went wrong and leaves the response (messages, waits, exits) to the
// program flow.
#include "app/display.h"

#include <GLFW/glfw3.h>
#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3native.h>

#include "app/x_session.h"

namespace solidmorph {

namespace {

GLFWwindow* window = nullptr;

// The request's size, bit depths and mode, as the caller filled them in; a
// machine that reports no monitor still gets a plain window of that size.
bool open_window(const WindowSettings& settings) {
    glfwWindowHint(GLFW_RED_BITS, settings.red_bits);
    glfwWindowHint(GLFW_GREEN_BITS, settings.green_bits);
    glfwWindowHint(GLFW_BLUE_BITS, settings.blue_bits);
    glfwWindowHint(GLFW_ALPHA_BITS, settings.alpha_bits);
    glfwWindowHint(GLFW_DEPTH_BITS, settings.depth_bits);
    glfwWindowHint(GLFW_STENCIL_BITS, settings.stencil_bits);
    // Docks, task switchers and the desktop entry know the window by this.
    glfwWindowHintString(GLFW_X11_CLASS_NAME, "solidmorph");
    glfwWindowHintString(GLFW_X11_INSTANCE_NAME, "solidmorph");
    GLFWmonitor* monitor = settings.mode == GLFW_FULLSCREEN ? glfwGetPrimaryMonitor() : nullptr;
    window = glfwCreateWindow(settings.width, settings.height, "", monitor, nullptr);
    if (window == nullptr) {
        return false;
    }
    glfwMakeContextCurrent(window);
    // The key is read once per frame: a tap pressed and released between
    // two reads (a slow frame, a quick finger) must still count.
    glfwSetInputMode(window, GLFW_STICKY_KEYS, GLFW_TRUE);
    return true;
}

}  // namespace

DisplayOpen open_display_window(WindowSettings& settings) {
    if (!x_session_safe_for_window_library() || glfwInit() == GLFW_FALSE) {
        return DisplayOpen::no_library;
    }
    watch_program_connection(ConnectionNumber(glfwGetX11Display()));
    if (!open_window(settings)) {
        glfwTerminate();
        watch_program_connection(-1);
        return DisplayOpen::no_window;
    }
    watch_program_window(glfwGetX11Window(window));
    glfwSwapInterval(1);
    settings.gl_version = glGetString(GL_VERSION);
    return DisplayOpen::opened;
}

void on_display_losses(DisplayLostAction connection_lost, DisplayLostAction window_gone) {
    install_x_error_handlers(connection_lost, window_gone);
}

void poll_events_then_swap() {
    glfwPollEvents();
    glfwSwapBuffers(window);
}

bool escape_pressed() { return glfwGetKey(window, GLFW_KEY_ESCAPE) == GLFW_PRESS; }

bool display_close_requested() { return glfwWindowShouldClose(window) != 0; }

void terminate_display() {
    watch_program_window(0);
    glfwTerminate();
    watch_program_connection(-1);
    window = nullptr;
}

}  // namespace solidmorph
