#include "explore/explore_window.h"

#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>

namespace solidmorph {

namespace {

GLFWwindow* window = nullptr;

// Where the window was before it went full screen.
int32_t windowed_x = 0, windowed_y = 0, windowed_width = 0, windowed_height = 0;

constexpr int32_t key_queue_size = 16;
ExploreKey key_queue[key_queue_size];
int32_t queued_keys = 0;

// Kept from GLFW's reports, so that a frame does not ask the X server.
int framebuffer_width = 0, framebuffer_height = 0;

// The left button's drag, summed over events until the flow takes it.
bool left_down = false, pointer_seen = false;
float press_x = 0.0f, last_x = 0.0f, last_y = 0.0f;
float drag_dx = 0.0f, drag_dy = 0.0f;

bool translate_key(int key, int mods, ExploreKey& out) {
    switch (key) {
        case GLFW_KEY_SPACE:
            out = ExploreKey::space;
            return true;
        case GLFW_KEY_LEFT:
            out = ExploreKey::left;
            return true;
        case GLFW_KEY_RIGHT:
            out = ExploreKey::right;
            return true;
        case GLFW_KEY_R:
            out = ExploreKey::r;
            return true;
        case GLFW_KEY_W:
            out = ExploreKey::w;
            return true;
        case GLFW_KEY_T:
            out = ExploreKey::t;
            return true;
        case GLFW_KEY_F:
            out = ExploreKey::f;
            return true;
        case GLFW_KEY_F11:
            out = ExploreKey::f11;
            return true;
        case GLFW_KEY_F12:
            out = ExploreKey::f12;
            return true;
        case GLFW_KEY_H:
            out = ExploreKey::h;
            return true;
        case GLFW_KEY_ESCAPE:
            out = ExploreKey::escape;
            return true;
        case GLFW_KEY_S:
            if ((mods & GLFW_MOD_CONTROL) == 0) return false;
            out = ExploreKey::s_with_ctrl;
            return true;
        default:
            return false;
    }
}

// Installed before ImGui's backend, which calls it after its own.
void on_key(GLFWwindow*, int key, int, int action, int mods) {
    ExploreKey pressed;
    const bool repeats = key == GLFW_KEY_LEFT || key == GLFW_KEY_RIGHT;
    if (action == GLFW_RELEASE || (action == GLFW_REPEAT && !repeats)) return;
    // Letters with Control or Alt are shortcuts of their own, not ours.
    if (key != GLFW_KEY_S && (mods & (GLFW_MOD_CONTROL | GLFW_MOD_ALT)) != 0) return;
    if (!translate_key(key, mods, pressed) || queued_keys == key_queue_size) return;
    key_queue[queued_keys++] = pressed;
}

// Where the press was is where the last motion event left the pointer:
// asking the server instead would give where it is now, past motion still
// queued behind the press.
void on_mouse_button(GLFWwindow*, int button, int action, int) {
    if (button != GLFW_MOUSE_BUTTON_LEFT) return;
    left_down = action == GLFW_PRESS;
    if (left_down) press_x = last_x;
}

void on_cursor_pos(GLFWwindow*, double x, double y) {
    if (left_down && pointer_seen) {
        drag_dx += float(x) - last_x;
        drag_dy += float(y) - last_y;
    }
    last_x = float(x);
    last_y = float(y);
    pointer_seen = true;
}

void on_framebuffer_size(GLFWwindow*, int width, int height) {
    framebuffer_width = width;
    framebuffer_height = height;
}

}  // namespace

bool open_explore_window(int32_t width, int32_t height) {
    if (glfwInit() == GLFW_FALSE) return false;
    glfwWindowHint(GLFW_RED_BITS, 8);
    glfwWindowHint(GLFW_GREEN_BITS, 8);
    glfwWindowHint(GLFW_BLUE_BITS, 8);
    glfwWindowHint(GLFW_ALPHA_BITS, 8);
    glfwWindowHint(GLFW_DEPTH_BITS, 32);
    glfwWindowHint(GLFW_STENCIL_BITS, 8);
    glfwWindowHint(GLFW_SCALE_TO_MONITOR, GLFW_TRUE);
    glfwWindowHintString(GLFW_X11_CLASS_NAME, "solidmorph-explore");
    glfwWindowHintString(GLFW_X11_INSTANCE_NAME, "solidmorph-explore");
    // No larger than the screen, so that the panel is never out of reach.
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    if (mode != nullptr) {
        width = width < mode->width ? width : mode->width;
        height = height < mode->height ? height : mode->height;
    }
    window = glfwCreateWindow(width, height, "Solidmorph Explorer", nullptr, nullptr);
    if (window == nullptr) {
        glfwTerminate();
        return false;
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    glfwSetKeyCallback(window, on_key);
    glfwSetMouseButtonCallback(window, on_mouse_button);
    glfwSetCursorPosCallback(window, on_cursor_pos);
    glfwSetFramebufferSizeCallback(window, on_framebuffer_size);
    glfwGetFramebufferSize(window, &framebuffer_width, &framebuffer_height);
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    // The explorer keeps ImGui's settings with its own state; ImGui itself
    // writes nothing (no imgui.ini in the working folder).
    ImGui::GetIO().IniFilename = nullptr;
    ImGui_ImplGlfw_InitForOpenGL(window, true);
    ImGui_ImplOpenGL2_Init();
    return true;
}

float window_content_scale() {
    float x = 1.0f, y = 1.0f;
    glfwGetWindowContentScale(window, &x, &y);
    return y > 0.0f ? y : 1.0f;
}

void framebuffer_size(int32_t& width, int32_t& height) {
    width = framebuffer_width;
    height = framebuffer_height;
}

void process_window_events(double wait_seconds) {
    if (wait_seconds > 0.0) {
        glfwWaitEventsTimeout(wait_seconds);
    } else {
        glfwPollEvents();
    }
}

int32_t take_key_presses(ExploreKey* keys, int32_t capacity) {
    const int32_t count = queued_keys < capacity ? queued_keys : capacity;
    for (int32_t i = 0; i < count; ++i) keys[i] = key_queue[i];
    queued_keys = 0;
    return count;
}

bool take_left_drag(float& press_at, float& dx, float& dy) {
    press_at = press_x;
    dx = drag_dx;
    dy = drag_dy;
    drag_dx = drag_dy = 0.0f;
    return dx != 0.0f || dy != 0.0f;
}

bool window_close_requested() { return glfwWindowShouldClose(window) != 0; }

bool full_screen() { return glfwGetWindowMonitor(window) != nullptr; }

void set_full_screen(bool full) {
    if (full == full_screen()) return;
    if (!full) {
        glfwSetWindowMonitor(window, nullptr, windowed_x, windowed_y, windowed_width,
                             windowed_height, GLFW_DONT_CARE);
        return;
    }
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    if (mode == nullptr) return;
    glfwGetWindowPos(window, &windowed_x, &windowed_y);
    glfwGetWindowSize(window, &windowed_width, &windowed_height);
    // The mode the monitor shows now: GLFW finds it already set and
    // switches nothing.
    glfwSetWindowMonitor(window, monitor, 0, 0, mode->width, mode->height, mode->refreshRate);
}

void window_size(int32_t& width, int32_t& height) {
    if (full_screen()) {
        width = windowed_width;
        height = windowed_height;
    } else {
        glfwGetWindowSize(window, &width, &height);
    }
}

void set_window_size(int32_t width, int32_t height) {
    if (full_screen()) {
        windowed_width = width;
        windowed_height = height;
    } else {
        glfwSetWindowSize(window, width, height);
    }
}

void begin_ui_frame() {
    ImGui_ImplOpenGL2_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
}

void end_ui_frame() {
    ImGui::Render();
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
}

void swap_window() { glfwSwapBuffers(window); }

void close_explore_window() {
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    glfwDestroyWindow(window);
    window = nullptr;
    glfwTerminate();
}

}  // namespace solidmorph
