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
KeyPress key_queue[key_queue_size];
int32_t queued_keys = 0;

// Kept from GLFW's reports, so that a frame does not ask the X server.
int framebuffer_width = 0, framebuffer_height = 0;

// The left button's drag, summed over events until the flow takes it.
bool left_down = false, pointer_seen = false;
float press_x = 0.0f, last_x = 0.0f, last_y = 0.0f;
float drag_dx = 0.0f, drag_dy = 0.0f;

// The header's key and modifier values are GLFW's own.
static_assert(key_escape == GLFW_KEY_ESCAPE && key_enter == GLFW_KEY_ENTER &&
              key_tab == GLFW_KEY_TAB && key_backspace == GLFW_KEY_BACKSPACE &&
              key_right == GLFW_KEY_RIGHT && key_left == GLFW_KEY_LEFT &&
              key_down == GLFW_KEY_DOWN && key_up == GLFW_KEY_UP && key_f1 == GLFW_KEY_F1 &&
              key_f11 == GLFW_KEY_F11 && key_f12 == GLFW_KEY_F12 && 'A' == GLFW_KEY_A &&
              ' ' == GLFW_KEY_SPACE);
static_assert(mod_shift == GLFW_MOD_SHIFT && mod_control == GLFW_MOD_CONTROL &&
              mod_alt == GLFW_MOD_ALT && mod_super == GLFW_MOD_SUPER);

// Installed before ImGui's backend, which calls it after its own.
void on_key(GLFWwindow*, int key, int, int action, int mods) {
    if (action == GLFW_RELEASE || key == GLFW_KEY_UNKNOWN || queued_keys == key_queue_size) return;
    key_queue[queued_keys++] = {key, mods, action == GLFW_REPEAT};
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

bool start_window_system() { return glfwInit() == GLFW_TRUE; }

bool screen_size(int32_t& width, int32_t& height) {
    GLFWmonitor* monitor = glfwGetPrimaryMonitor();
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    if (mode == nullptr) return false;
    width = mode->width;
    height = mode->height;
    return true;
}

bool open_explore_window(const WindowRequest& request) {
    glfwWindowHint(GLFW_RED_BITS, request.red_bits);
    glfwWindowHint(GLFW_GREEN_BITS, request.green_bits);
    glfwWindowHint(GLFW_BLUE_BITS, request.blue_bits);
    glfwWindowHint(GLFW_ALPHA_BITS, request.alpha_bits);
    glfwWindowHint(GLFW_DEPTH_BITS, request.depth_bits);
    glfwWindowHint(GLFW_STENCIL_BITS, request.stencil_bits);
    glfwWindowHint(GLFW_SCALE_TO_MONITOR, GLFW_TRUE);
    glfwWindowHintString(GLFW_X11_CLASS_NAME, request.class_name);
    glfwWindowHintString(GLFW_X11_INSTANCE_NAME, request.class_name);
    window = glfwCreateWindow(request.width, request.height, request.title, nullptr, nullptr);
    if (window == nullptr) return false;
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

int32_t take_key_presses(KeyPress* keys, int32_t capacity) {
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

void sync_to_display(bool sync) { glfwSwapInterval(sync ? 1 : 0); }

void close_explore_window() {
    if (window != nullptr) {
        ImGui_ImplOpenGL2_Shutdown();
        ImGui_ImplGlfw_Shutdown();
        ImGui::DestroyContext();
        glfwDestroyWindow(window);
        window = nullptr;
    }
    glfwTerminate();
}

}  // namespace solidmorph
