// solidmorph-saver as hosts and users drive it: bad input, every way to end
// it, another client's window (its visual, a resize, its destruction), and
// the real XScreenSaver daemon activating and dismissing it.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "saver/saver_options.h"
#include "support/pty_process.h"
#include "support/running_program.h"
#include "support/tga_bytes.h"
#include "support/work_folder.h"
#include "support/x_display.h"

// Last: Xlib's macros (None, Status) would clash with the names above.
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace solidmorph {
namespace {

namespace fs = std::filesystem;
using test::ScreenBox;

PtyChild start_saver(std::vector<std::string> args, std::vector<EnvChange> env = {}) {
    args.insert(args.begin(), SOLIDMORPH_SAVER);
    PtyOptions options;
    options.env = std::move(env);
    return pty_spawn(args, options);
}

// Ended with 0, silently, within a second of the request made at `asked`.
void expect_prompt_quiet_end(PtyChild& saver, double asked) {
    const ExitStatus status = pty_wait_exit(saver, 5000);
    EXPECT_TRUE(status.exited) << "signal " << status.signal;
    EXPECT_EQ(status.code, 0);
    EXPECT_LT(pty_now_ms() - asked, 1000.0);
    EXPECT_EQ(saver.output, "");
}

TEST(Saver, BadInputIsOneLineAndAPromptExit) {
    const test::PrivateXvfb no_glx({"-screen", "0", "640x480x24", "-extension", "GLX"});
    const std::string malformed = std::string(SOLIDMORPH_TEST_DATA) + "/malformed/png.tga";
    const char* no_window = "0x1fffff0";
    struct Row {
        std::vector<std::string> args;
        std::vector<EnvChange> env;
        int code;
        std::string says;
    };
    const std::vector<Row> rows{
        {{"--bogus"}, {}, 2, "unknown option '--bogus'"},
        {{"--window-id"}, {}, 2, "needs a value"},
        {{"--window-id", "12x"}, {}, 2, "not a window id: '12x'"},
        {{"--window-id", "0"}, {}, 2, "not a window id"},
        {{"--window-id", "0x100000000"}, {}, 2, "not a window id"},
        {{"--delay", "-5"}, {}, 2, "not a delay"},
        {{"--delay", "10000001"}, {}, 2, "not a delay in microseconds (0 to 10000000): '10000001'"},
        {{"-delay", "18446744073709551617"}, {}, 2, "not a delay"},
        {{"--preset", "1"}, {}, 2, "not a preset: '1'"},
        {{"-preset", "12"}, {}, 2, "not a preset: '12'"},
        {{"-visual", "0x21"}, {}, 2, "cannot use the visual '0x21'"},
        {{"--display", ":99"}, {}, 1, "cannot open the display"},
        {{"--window-id", no_window}, {}, 1, "no window 0x1fffff0"},
        {{"--root"}, {{"XSCREENSAVER_WINDOW", "junk"}}, 1, "XSCREENSAVER_WINDOW holds no"},
        {{"--root"}, {{"XSCREENSAVER_WINDOW", no_window}}, 1, "XSCREENSAVER_WINDOW does not exist"},
        {{"--texture", "/nonexistent.tga"}, {}, 1, "no texture file '/nonexistent.tga'"},
        {{"--texture", "/tmp"}, {}, 1, "'/tmp' is a folder"},
        {{"--texture", "/dev/zero"}, {}, 1, "'/dev/zero' is not a regular file"},
        {{"--texture", malformed}, {}, 1, "is not a TGA image"},
        {{"--window"}, {{"DISPLAY", std::nullopt}}, 1, "cannot open the display"},
        {{"--root"}, {{"DISPLAY", no_glx.display}}, 1, "has no GLX"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.back() + " -> " + row.says);
        PtyChild saver = start_saver(row.args, row.env);
        const double start = pty_now_ms();
        const ExitStatus status = pty_wait_exit(saver, 5000);
        EXPECT_EQ(status.code, row.code);
        EXPECT_LT(pty_now_ms() - start, 2000.0);
        EXPECT_EQ(saver.output.rfind("solidmorph-saver: ", 0), 0u) << saver.output;
        EXPECT_NE(saver.output.find(row.says), std::string::npos) << saver.output;
        EXPECT_EQ(saver.output.find('\n'), saver.output.size() - 1) << "one line";
        pty_close(saver);
    }
}

// On a desktop larger than 640 x 480: its own window and the full-screen one
// show the solid at their sizes; keys, the window manager's close, another
// client destroying the window and the stop signals each end it with 0
// within a second, quietly.
TEST(Saver, EveryWayToEndItOnEveryTarget) {
    const test::PrivateXvfb server({"-screen", "0", "1024x768x24"});
    ASSERT_FALSE(server.display.empty());
    const test::UsingDisplay using_display(server.display);
    struct Row {
        const char* target;
        const char* stop;  // a key, "close", "destroy", or a signal's number
        ScreenBox box;
    };
    const ScreenBox window{0, 0, 640, 480};
    const ScreenBox desktop{0, 0, 1024, 768};
    const std::vector<Row> rows{
        {"--window", "Escape", window},     {"--window", "q", window},
        {"--window", "close", window},      {"--fullscreen", "Escape", desktop},
        {"--fullscreen", "q", desktop},     {"--fullscreen", "15", desktop},
        {"--root", "2", desktop},           {"--window", "1", window},
        {"--window", "3", window},          {"--window", "destroy", window},
        {"--fullscreen", "close", desktop}, {"--fullscreen", "destroy", desktop},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.target) + " ended by " + row.stop);
        PtyChild saver = start_saver({row.target});
        unsigned long id = 0;
        if (std::string(row.target) != "--root") {
            id = test::wait_for_window_of(saver.pid, 15000);
            ASSERT_NE(id, 0UL) << saver.output;
            EXPECT_EQ(test::window_box(id), row.box);
        }
        const ScreenBox centre{row.box.width / 2 - 40, row.box.height / 2 - 40, 80, 80};
        ASSERT_TRUE(eventually([&] { return test::lit_pixels(centre) > 1000; }, 15000));
        const std::string stop = row.stop;
        const double asked = pty_now_ms();
        if (stop == "close") {
            ASSERT_TRUE(test::send_close_request(id));
        } else if (stop == "destroy") {
            ASSERT_TRUE(test::destroy_window(id));
        } else if (stop == "Escape" || stop == "q") {
            PtyChild key = pty_spawn({"xdotool", "key", stop});  // the pointer is over it
            EXPECT_EQ(pty_wait_exit(key, 5000).code, 0) << key.output;
            pty_close(key);
        } else {
            ASSERT_EQ(kill(saver.pid, std::stoi(stop)), 0);
        }
        expect_prompt_quiet_end(saver, asked);
    }
}

// Every choice the settings file offers, read as XScreenSaver reads it, and
// the options every hack takes make command lines the saver runs with. With
// -fps its text stands in the lower left corner only; a wireframe lights
// fewer pixels than the solid.
TEST(Saver, EverySettingsChoiceAndEveryHacksOptionRuns) {
    const test::PrivateXvfb server({"-screen", "0", "640x480x24"});
    ASSERT_FALSE(server.display.empty());
    const test::UsingDisplay using_display(server.display);
    xmlDoc* settings = xmlReadFile(SOLIDMORPH_SETTINGS_FILE, nullptr, 0);
    ASSERT_NE(settings, nullptr);
    std::vector<std::string> base, choices;
    const auto attribute = [](xmlNode* node, const char* name) {
        xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
        std::string text = value != nullptr ? reinterpret_cast<const char*>(value) : "";
        xmlFree(value);
        return text;
    };
    const auto walk = [&](auto& self, xmlNode* node) -> void {
        for (; node != nullptr; node = node->next) {
            if (node->type != XML_ELEMENT_NODE) continue;
            const std::string tag = reinterpret_cast<const char*>(node->name);
            if (tag == "command") base.push_back(attribute(node, "arg"));
            if (tag == "boolean" || tag == "option") choices.push_back(attribute(node, "arg-set"));
            if (tag == "number") {
                const std::string arg = attribute(node, "arg");
                for (const char* end : {"low", "high", "default"}) {
                    choices.push_back(arg.substr(0, arg.find('%')) + attribute(node, end));
                }
            }
            self(self, node->children);
        }
    };
    walk(walk, xmlDocGetRootElement(settings));
    xmlFreeDoc(settings);
    ASSERT_EQ(base, std::vector<std::string>{"--root"});
    choices.push_back(
        "-fps -no-fps -wireframe -no-wireframe -install -mono -pair -visual default"
        " -display " +
        server.display);
    choices.push_back("-fps");
    const ScreenBox centre{280, 200, 80, 80}, lower_left{0, 420, 160, 60};
    // The kept shapes' box has a shape to show, so every choice runs silently.
    const test::WorkFolder data(false);
    fs::create_directories(data.path / "solidmorph");
    std::ofstream(data.path / "solidmorph" / "shapes.txt") << "star: --shape 1,1,5,0.3,0.3,0.3\n";
    const std::vector<EnvChange> kept_here{{"XDG_DATA_HOME", data.path.string()}};
    std::map<std::string, int64_t> lit;
    const ScreenBox other_corners[] = {{0, 0, 160, 60}, {480, 0, 160, 60}, {480, 420, 160, 60}};
    for (const std::string& choice : choices) {
        SCOPED_TRACE(choice);
        std::vector<std::string> args = base;
        std::istringstream words(choice);
        for (std::string word; words >> word;) args.push_back(word);
        PtyChild saver = start_saver(args, kept_here);
        ASSERT_TRUE(eventually([&] { return test::lit_pixels(centre) > 0; }, 15000))
            << saver.output;
        const bool fps = choice == "--fps" || choice == "-fps";
        if (fps) {
            EXPECT_TRUE(eventually([&] { return test::lit_pixels(lower_left) > 50; }, 3000));
        }
        EXPECT_EQ(test::lit_pixels(lower_left) > 0, fps);
        for (const ScreenBox& box : other_corners) EXPECT_EQ(test::lit_pixels(box), 0);
        lit[choice] = test::lit_pixels(centre);
        const double asked = pty_now_ms();
        ASSERT_EQ(kill(saver.pid, SIGTERM), 0);
        expect_prompt_quiet_end(saver, asked);
        // The root keeps the last picture: cleared, so the next one is new.
        Display* display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
        XClearWindow(display, DefaultRootWindow(display));
        XSync(display, False);
        XCloseDisplay(display);
    }
    // Both near the sphere, as they start: the lines leave gaps in the centre.
    EXPECT_LT(lit["--wireframe"], lit[choices.front()]);
}

// Left to itself it shows a frame every default period (20 a second): never
// faster, and not far slower where each frame takes a fraction of it.
TEST(Saver, KeepsItsOwnPaceByDefault) {
    test::RunningProgram run(false);
    run.command = {SOLIDMORPH_SAVER, "--window"};
    ASSERT_TRUE(run.start_probed());
    ASSERT_TRUE(run.wait_for_frames(3)) << run.child.output;
    const uint64_t first = run.swaps();
    const double start = pty_now_ms();
    pty_read_for(run.child, 3000);
    const double per_second = double(run.swaps() - first) * 1000.0 / (pty_now_ms() - start);
    const double rate = 1e6 / double(default_frame_period_us);
    EXPECT_LE(per_second, rate * 1.05);
    EXPECT_GE(per_second, rate * 0.4);
}

// A grey texture: with it, and a second between frames, every frame of a
// run left alone is the same from run to run, whatever the clock said.
std::string write_flat_texture(const test::WorkFolder& folder) {
    const std::string flat = (folder.path / "flat.tga").string();
    const test::Bytes grey = test::tga_bytes(test::true_colour(2, 2, test::Bytes(2 * 2 * 3, 0x80)));
    std::ofstream(flat, std::ios::binary)
        .write(reinterpret_cast<const char*>(grey.data()), std::streamsize(grey.size()));
    return flat;
}

// --kept shows the kept shapes, here the sphere alone, so the solid's
// outline never changes as the presets' would. A shapes file of any form
// lets it start: one line says what it left out, and with nothing to show
// the presets are shown.
TEST(Saver, ShowsTheKeptShapesAndStartsOnAnyShapesFile) {
    const test::WorkFolder folder(false);
    const std::string flat = write_flat_texture(folder);
    const fs::path file = folder.path / "solidmorph" / "shapes.txt";
    enum class Form { text, folder, pipe, dev_zero };
    struct Row {
        Form form;
        std::string text;
        bool sphere;       // the kept sphere shown, else the presets
        const char* says;  // "" for nothing
    };
    const std::vector<Row> rows{
        {Form::text, std::string(10 << 20, 'x') + "\nround: --preset 1 --detail 16\n", true,
         "1 line that is not NAME: OPTIONS, skipped (line 1)"},
        {Form::text, "round: --frame 0\n# mine\n", true, ""},
        {Form::text,
         std::string("\x7f"
                     "ELF\0\x01\xff\n",
                     8),
         false,
         "not NAME: OPTIONS, skipped (line 1) and left in the file as it is, so the presets"},
        {Form::text, "", false, "no kept shape to show in"},
        {Form::folder, "", false,
         "is not a plain file; no shapes were read from it, so the presets are shown"},
        {Form::pipe, "", false, "is not a plain file"},
        {Form::dev_zero, "", false, "is not a plain file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 20) + " -> " + row.says);
        fs::remove_all(file.parent_path());
        fs::create_directories(file.parent_path());
        if (row.form == Form::text) std::ofstream(file, std::ios::binary) << row.text;
        if (row.form == Form::folder) fs::create_directory(file);
        if (row.form == Form::pipe) mkfifo(file.c_str(), 0644);
        if (row.form == Form::dev_zero) fs::create_symlink("/dev/zero", file);
        test::RunningProgram run(false);
        run.command = {SOLIDMORPH_SAVER, "--window", "--kept", "--delay", "0", "--texture", flat};
        ASSERT_TRUE(run.start_probed(false, 0, {{"XDG_DATA_HOME", folder.path.string()}}));
        const ScreenBox window{0, 0, 640, 480};
        ASSERT_TRUE(run.wait_for_frames(2)) << run.child.output;
        const int64_t first = test::lit_pixels(window);
        // Past the first morph: preset 6 by now, unless the sphere is kept.
        ASSERT_TRUE(run.wait_for_frames(260)) << run.child.output;
        const int64_t later = test::lit_pixels(window);
        EXPECT_EQ(std::abs(later - first) < first / 50, row.sphere) << first << " then " << later;
        ASSERT_EQ(kill(run.child.pid, SIGTERM), 0);
        EXPECT_EQ(pty_wait_exit(run.child, 5000).code, 0);
        const std::string& said = run.child.output;
        if (*row.says == '\0') {
            EXPECT_EQ(said, "");
        } else {
            EXPECT_EQ(said.rfind("solidmorph-saver: ", 0), 0u) << said;
            EXPECT_NE(said.find(row.says), std::string::npos) << said;
            EXPECT_EQ(said.find('\n'), said.size() - 1) << "one line: " << said;
        }
    }
}

// --delay is a pause after every frame in place of the default pace: the
// frames come that far apart and a little more, for the frame's own cost. At
// its limit, ten seconds, a stop still ends it at once, in the pause.
TEST(Saver, ADelayPacesItsFrames) {
    for (const int64_t delay_us : {int64_t(0), int64_t(100'000), int64_t(300'000), max_delay_us}) {
        SCOPED_TRACE("--delay " + std::to_string(delay_us));
        test::RunningProgram run(false);
        run.command = {SOLIDMORPH_SAVER, "--window", "--delay", std::to_string(delay_us)};
        ASSERT_TRUE(run.start_probed());
        ASSERT_TRUE(run.wait_for_frames(1)) << run.child.output;
        if (delay_us == max_delay_us) {
            pty_read_for(run.child, 200);
            const double asked = pty_now_ms();
            ASSERT_EQ(kill(run.child.pid, SIGTERM), 0);
            expect_prompt_quiet_end(run.child, asked);
            EXPECT_EQ(run.swaps(), 1u);
            continue;
        }
        // Timed from one frame's arrival to another's, a few pauses apart.
        const uint64_t first = run.swaps() + 1;
        ASSERT_TRUE(run.wait_for_frames(first));
        const double start = pty_now_ms();
        const uint64_t frames = delay_us == 0 ? 20 : 1'500'000 / uint64_t(delay_us);
        ASSERT_TRUE(run.wait_for_frames(first + frames));
        const double interval_ms = (pty_now_ms() - start) / double(frames);
        const double delay_ms = double(delay_us) / 1000;
        EXPECT_GE(interval_ms, delay_ms - 5);
        EXPECT_LT(interval_ms, delay_ms * 1.2 + 40);
    }
}

// In its own window a drag turns the solid and Space starts the next morph
// at once: the frame after either differs from that frame of a run left
// alone.
TEST(Saver, ADragTurnsItAndSpaceStartsTheNextMorph) {
    const test::WorkFolder folder(false);
    const std::string flat = write_flat_texture(folder);
    const auto second_frame = [&](const std::vector<std::string>& input) {
        test::RunningProgram run(false);
        run.command = {SOLIDMORPH_SAVER, "--window", "--preset",  "2",
                       "--delay",        "1000000",  "--texture", flat};
        EXPECT_TRUE(run.start_probed());
        EXPECT_TRUE(run.wait_for_frames(1)) << run.child.output;
        std::vector<std::string> args{"xdotool", "mousemove", "320", "240"};
        args.insert(args.end(), input.begin(), input.end());
        PtyChild tool = pty_spawn(args);
        EXPECT_EQ(pty_wait_exit(tool, 5000).code, 0) << tool.output;
        pty_close(tool);
        EXPECT_TRUE(run.wait_for_frames(2));
        std::vector<unsigned long> pixels;
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr) return pixels;
        if (XImage* image = XGetImage(display, DefaultRootWindow(display), 160, 80, 320, 320,
                                      AllPlanes, ZPixmap)) {
            for (int y = 0; y < 320; ++y) {
                for (int x = 0; x < 320; ++x) pixels.push_back(XGetPixel(image, x, y));
            }
            XDestroyImage(image);
        }
        XCloseDisplay(display);
        return pixels;
    };
    const std::vector<unsigned long> alone = second_frame({});
    ASSERT_FALSE(alone.empty());
    EXPECT_EQ(second_frame({}), alone);
    EXPECT_NE(second_frame({"mousedown", "1", "mousemove", "370", "280", "mouseup", "1"}), alone);
    EXPECT_NE(second_frame({"key", "space"}), alone);
}

// The server going away under it: one line, status 1, at once; never a hang.
TEST(Saver, LosingTheDisplayEndsItAtOnceWithOneLine) {
    test::PrivateXvfb server({"-screen", "0", "640x480x24"});
    ASSERT_FALSE(server.display.empty());
    PtyChild saver = start_saver({"--window"}, {{"DISPLAY", server.display}});
    {
        const test::UsingDisplay using_display(server.display);
        ASSERT_TRUE(test::wait_for_picture(saver.pid, 15000)) << saver.output;
    }
    const double killed_at = pty_now_ms();
    pty_close(server.server);
    const ExitStatus status = pty_wait_exit(saver, 5000);
    EXPECT_EQ(status.code, 1);
    EXPECT_LT(pty_now_ms() - killed_at, 1000.0);
    EXPECT_EQ(saver.output, "solidmorph-saver: lost the display connection\n");
    pty_close(saver);
}

// A window another client made, on a visual chosen by the test.
struct ClientWindow {
    Display* display = XOpenDisplay(nullptr);
    Window window = 0;

    // False when the display offers no such visual.
    bool make(bool depth_buffer, bool double_buffer, unsigned width = 640, unsigned height = 480) {
        XVisualInfo wanted{};
        wanted.screen = DefaultScreen(display);
        wanted.depth = 24;
        int count = 0;
        XVisualInfo* all =
            XGetVisualInfo(display, VisualScreenMask | VisualDepthMask, &wanted, &count);
        for (int i = 0; i < count && window == 0; ++i) {
            int gl = 0, depth = 0, doubled = 0;
            glXGetConfig(display, &all[i], GLX_USE_GL, &gl);
            glXGetConfig(display, &all[i], GLX_DEPTH_SIZE, &depth);
            glXGetConfig(display, &all[i], GLX_DOUBLEBUFFER, &doubled);
            if (gl == 0 || (depth > 0) != depth_buffer || (doubled != 0) != double_buffer) continue;
            XSetWindowAttributes settings{};
            settings.colormap =
                XCreateColormap(display, DefaultRootWindow(display), all[i].visual, AllocNone);
            window =
                XCreateWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0, 24,
                              InputOutput, all[i].visual, CWColormap | CWBorderPixel, &settings);
            XMapWindow(display, window);
            XSync(display, False);
        }
        if (all != nullptr) XFree(all);
        return window != 0;
    }
    void resize(int width, int height) {
        XResizeWindow(display, window, unsigned(width), unsigned(height));
        XSync(display, False);
    }
    ~ClientWindow() { XCloseDisplay(display); }
};

// The solid drawn at the window's size, centred and not stretched: in a
// wide window it keeps within the middle, as tall as the window at most.
bool centred_in(int width, int height) {
    const int side = width / 2 - height * 6 / 10;
    return test::lit_pixels({side, 0, width - 2 * side, height}) > 50 &&
           test::lit_pixels({0, 0, side, height}) == 0 &&
           test::lit_pixels({width - side, 0, side, height}) == 0;
}

TEST(Saver, DrawsInAnotherClientsWindowUntilItIsDestroyed) {
    struct Row {
        bool depth_buffer;
        bool double_buffer;
        bool hex;
    };
    for (const Row row : {Row{false, true, true}, Row{true, false, false}, Row{true, true, true}}) {
        SCOPED_TRACE(std::string(row.depth_buffer ? "" : "no ") + "depth buffer, " +
                     (row.double_buffer ? "double" : "single") + " buffered");
        ClientWindow client;
        ASSERT_TRUE(client.make(row.depth_buffer, row.double_buffer));
        char id[32];
        std::snprintf(id, sizeof id, row.hex ? "0x%lx" : "%lu", client.window);
        PtyChild saver = start_saver({"--window-id", id});
        if (!row.depth_buffer) {
            EXPECT_EQ(pty_wait_exit(saver, 5000).code, 1);
            EXPECT_NE(saver.output.find("cannot carry OpenGL with a depth buffer"),
                      std::string::npos)
                << saver.output;
            continue;
        }
        ASSERT_TRUE(eventually(
            [] {
                return test::lit_pixels({280, 200, 80, 80}) > 1000;
            },
            15000))
            << saver.output;
        if (row.double_buffer) {
            // Every size it may be given, then a wide one it must fill.
            for (const auto& [width, height] : {std::pair{1, 1}, {7680, 4320}, {300, 100}}) {
                client.resize(width, height);
                pty_sleep_ms(300);
                EXPECT_FALSE(pty_wait_exit(saver, 0).exited) << saver.output;
            }
            EXPECT_TRUE(eventually([] { return centred_in(300, 100); }, 10000));
        }
        const double asked = pty_now_ms();
        XDestroyWindow(client.display, client.window);
        XSync(client.display, False);
        expect_prompt_quiet_end(saver, asked);
    }
}

// Not stretched in a window that is not 4:3, its own or another client's,
// from the start or after a resize: the solid's box of lit pixels keeps the
// proportions it has in that frame at 4:3, at the scale of the window's
// height. The first row is the 4:3 run the others are held to.
TEST(Saver, KeepsTheSolidsProportionsInAWindowOfAnyShape) {
    const test::PrivateXvfb server({"-screen", "0", "1280x1024x24"});
    ASSERT_FALSE(server.display.empty());
    const test::UsingDisplay using_display(server.display);
    const test::WorkFolder folder(false);
    const std::string flat = write_flat_texture(folder);
    struct Row {
        const char* target;  // --window, --window-id, or --root in XSCREENSAVER_WINDOW
        int width, height;   // for the first frame
        int resized_width, resized_height;  // for the second
    };
    const std::vector<Row> rows{
        {"--window", 640, 480, 640, 480},     {"--window", 640, 480, 1000, 500},
        {"--window", 640, 480, 500, 700},     {"--window-id", 960, 480, 960, 480},
        {"--window-id", 400, 400, 1200, 450}, {"--root", 900, 600, 640, 480},
    };
    ScreenBox at_4_3[2];
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.target) + " " + std::to_string(row.width) + "x" +
                     std::to_string(row.height) + " then " + std::to_string(row.resized_width) +
                     "x" + std::to_string(row.resized_height));
        const std::string target = row.target;
        ClientWindow client;
        std::vector<EnvChange> env;
        test::RunningProgram run(false);
        run.command = {SOLIDMORPH_SAVER, "--preset",  "2",  "--delay",
                       "1000000",        "--texture", flat, row.target};
        if (target != "--window") {
            ASSERT_TRUE(client.make(true, true, unsigned(row.width), unsigned(row.height)));
            const std::string id = std::to_string(client.window);
            if (target == "--window-id") run.command.push_back(id);
            if (target == "--root") env.push_back({"XSCREENSAVER_WINDOW", id});
        }
        ASSERT_TRUE(run.start_probed(false, 0, env));
        if (target == "--window") client.window = test::wait_for_window_of(run.child.pid, 15000);
        ASSERT_NE(client.window, 0UL) << run.child.output;
        for (int frame = 0; frame < 2; ++frame) {
            ASSERT_TRUE(run.wait_for_frames(uint64_t(frame) + 1)) << run.child.output;
            const int height = frame == 0 ? row.height : row.resized_height;
            const int width = frame == 0 ? row.width : row.resized_width;
            const ScreenBox box = test::lit_bounds({0, 0, width, height}, client.window);
            if (&row == &rows.front()) at_4_3[frame] = box;
            const ScreenBox& held_to = at_4_3[frame];
            ASSERT_GT(held_to.height, 100) << "frame " << frame + 1;
            EXPECT_NEAR(box.width, double(box.height) * held_to.width / held_to.height, 2.0)
                << "frame " << frame + 1;
            EXPECT_NEAR(box.height, double(held_to.height) * height / 480, 2.0)
                << "frame " << frame + 1;
            if (frame == 0) client.resize(row.resized_width, row.resized_height);
        }
    }
}

// Whether a saver runs on `display` (other tests may run savers meanwhile,
// on displays of their own). A zombie has ended: no one
// may reap it soon once its parent is gone.
bool saver_runs_on(const std::string& display) {
    const auto read = [](const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(file)), {});
    };
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
        if (!std::isdigit(static_cast<unsigned char>(entry.path().filename().string()[0])))
            continue;
        std::istringstream stat(read(entry.path() / "stat"));
        std::string pid, name, state;
        stat >> pid >> name >> state;
        if (state == "Z" || read(entry.path() / "cmdline").rfind(SOLIDMORPH_SAVER + '\0', 0) != 0) {
            continue;
        }
        // Hosts name the screen too: ":5.0".
        const std::string environment = '\0' + read(entry.path() / "environ");
        for (const char* end : {"", ".0"}) {
            const std::string wanted = '\0' + ("DISPLAY=" + display) + end + '\0';
            if (environment.find(wanted) != std::string::npos) return true;
        }
    }
    return false;
}

// The daemon runs hacks only for an unprivileged user: as root, the test
// starts it as nobody, with a home of its own whose settings list only the
// saver, on a server that lets any user in.
TEST(XScreenSaver, ActivatingShowsTheSolidAndDeactivatingEndsTheSaverWithinASecond) {
    const test::PrivateXvfb server({"-ac", "-screen", "0", "640x480x24"});
    ASSERT_FALSE(server.display.empty());
    const test::UsingDisplay using_display(server.display);
    const test::WorkFolder home(false);
    std::ofstream(home.path / ".xscreensaver")
        << "mode: one\nselected: 0\nlock: False\nfade: False\nunfade: False\n"
        << "splash: False\ntimeout: 0:30:00\n"
        << "programs: GL: " << SOLIDMORPH_SAVER << " --root \\n\n";
    std::vector<std::string> daemon{"xscreensaver", "-no-splash"};
    if (geteuid() == 0) {
        fs::permissions(home.path, fs::perms::all);  // nobody writes its own state there
        daemon.insert(daemon.begin(),
                      {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    PtyOptions options;
    options.env = {{"HOME", home.path.string()}};
    PtyChild xscreensaver = pty_spawn(daemon, options);
    const PtyCloser closer{xscreensaver};
    const auto command = [&](const char* what) {
        PtyChild run = pty_spawn({"xscreensaver-command", what}, options);
        const bool done = pty_wait_exit(run, 5000).code == 0;
        pty_close(run);
        return done;
    };
    ASSERT_TRUE(eventually([&] { return command("-activate"); }, 15000)) << xscreensaver.output;
    const std::string& display = server.display;
    ASSERT_TRUE(eventually([&] { return saver_runs_on(display); }, 15000)) << xscreensaver.output;
    EXPECT_TRUE(eventually([] { return test::lit_pixels_in_centre() > 1000; }, 15000));
    ASSERT_TRUE(command("-deactivate"));
    const double asked = pty_now_ms();
    EXPECT_TRUE(eventually([&] { return !saver_runs_on(display); }, 5000));
    EXPECT_LT(pty_now_ms() - asked, 1000.0);
}

}  // namespace
}  // namespace solidmorph
