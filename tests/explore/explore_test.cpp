// solidmorph-explore driven as a user drives it, keys and mouse through
// xdotool: exports byte-identical to solidmorph-export's, refusals that
// write nothing, the morph held and played, the solid turned, full screen,
// every stop signal, and the state that brings the shape back.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "explore/explore_panel.h"
#include "explore/studio_state.h"
#include "export/export_job.h"
#include "support/pty_process.h"
#include "support/work_folder.h"
#include "support/x_display.h"

// Last: Xlib's macros would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace solidmorph {
namespace {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One run in its own folder, with its own state folder inside it.
struct Explorer {
    const test::WorkFolder& folder;
    PtyChild child;
    unsigned long window = 0;

    Explorer(const test::WorkFolder& where, std::vector<std::string> args) : folder(where) {
        args.insert(args.begin(), SOLIDMORPH_EXPLORE);
        PtyOptions options;
        options.cwd = folder.path.string();
        options.env = {{"XDG_STATE_HOME", (folder.path / "state").string()},
                       {"HOME", folder.path.string()}};
        child = pty_spawn(args, options);
        window = test::wait_for_window_of(child.pid, 15000);
        // The first check's line shows that frames are being drawn.
        pty_read_until(child, "printable: ", 15000);
        // Keys go to the window under the pointer: over the picture.
        xdotool({"mousemove", "60", "60"});
    }
    ~Explorer() { pty_close(child); }

    static void xdotool(std::vector<std::string> args) {
        args.insert(args.begin(), "xdotool");
        PtyChild tool = pty_spawn(args);
        EXPECT_EQ(pty_wait_exit(tool, 5000).code, 0) << tool.output;
        pty_close(tool);
    }
    // Typed, then a moment for the frame that acts on it.
    void key(const std::string& name) {
        xdotool({"key", name});
        pty_read_for(child, 300);
    }
    // Held for frames of its own, for a key ImGui takes: it sees a key
    // that is down when a frame begins, and xdotool's taps are quicker.
    void hold(const std::string& name) {
        for (const char* way : {"keydown", "keyup"}) {
            xdotool({way, name});
            pty_read_for(child, 300);
        }
    }
    // The middle of the picture's part of the window (beside the panel, in
    // a 640 x 480 window), pixel by pixel.
    std::vector<unsigned long> picture() const {
        std::vector<unsigned long> pixels;
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr) return pixels;
        if (XImage* image = XGetImage(display, window, 30, 140, 200, 200, AllPlanes, ZPixmap)) {
            for (int y = 0; y < 200; ++y) {
                for (int x = 0; x < 200; ++x) pixels.push_back(XGetPixel(image, x, y));
            }
            XDestroyImage(image);
        }
        XCloseDisplay(display);
        return pixels;
    }
    bool picture_stands_still() {
        const std::vector<unsigned long> before = picture();
        pty_read_for(child, 300);
        return picture() == before;
    }
    // Ended by the signal (0: Escape) with status 0 within a second.
    void stop(int signal) {
        const double asked = pty_now_ms();
        if (signal == 0) {
            xdotool({"key", "Escape"});
        } else {
            ASSERT_EQ(kill(child.pid, signal), 0);
        }
        const ExitStatus status = pty_wait_exit(child, 5000);
        EXPECT_TRUE(status.exited) << "signal " << status.signal;
        EXPECT_EQ(status.code, 0) << child.output;
        EXPECT_LT(pty_now_ms() - asked, 1000.0);
    }
};

// What solidmorph-export writes for the same arguments, in its own folder.
std::string exporter_file(const std::string& args, const std::string& name) {
    const test::WorkFolder folder(false);
    const std::string line =
        "cd '" + folder.path.string() + "' && '" SOLIDMORPH_EXPORT "' " + args + " >/dev/null";
    EXPECT_EQ(std::system(line.c_str()), 0) << line;
    return read_file(folder.path / name);
}

std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(Explorer, CtrlSWritesWhatTheExporterWritesOrSaysWhyNotAndEverySignalEndsIt) {
    const std::string texture = fs::path(SOLIDMORPH_EXPLORE).parent_path() / "vein.tga";
    struct Row {
        std::string args;
        std::string printable;  // the panel's first lines: the check's, or the texture's
        std::string says;       // after Ctrl+S
        std::set<std::string> written;
        int signal;  // 0: Escape
    };
    const std::vector<Row> rows{
        {"--frame 0 -o a.glb", "sound solid", "wrote a.glb", {"a.glb"}, SIGTERM},
        {"--frame 4321 --size 80 -o b.stl", "sound solid: ", "wrote b.stl", {"b.stl"}, SIGINT},
        // The check is of the solid cut flat, as the file holds it.
        {"--preset 4 --size 80 --flat-base 20% -o f.stl",
         "sound solid: 80.0 x 68.3 x 54.7 mm, 17.72 cm3",
         ", base ",
         {"f.stl"},
         SIGTERM},
        {"--frame 9001 -o c.obj",
         "sound solid",
         "wrote c.obj",
         {"c.obj", "c.mtl", "c.png"},
         SIGHUP},
        {"--shape 1,1,6,1,1,-2 -o bad.stl",
         "the surface crosses itself",
         "the surface crosses itself; nothing written",
         {},
         SIGQUIT},
        {"--preset 6 -o missing/out.glb", "sound solid", "No such file", {}, SIGTERM},
        {"--preset 2 --texture nowhere.tga -o t.glb",
         "cannot find the texture nowhere.tga",
         "cannot export: cannot find the texture nowhere.tga; nothing written",
         {},
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const test::WorkFolder folder(false);
        std::vector<std::string> args;
        std::istringstream words(row.args);
        for (std::string word; words >> word;) args.push_back(word);
        Explorer explorer(folder, args);
        ASSERT_NE(explorer.window, 0UL) << explorer.child.output;
        EXPECT_NE(explorer.child.output.find("printable: "), std::string::npos);
        EXPECT_NE(explorer.child.output.find(row.printable), std::string::npos);
        explorer.xdotool({"key", "ctrl+s"});
        EXPECT_TRUE(pty_read_until(explorer.child, row.says, 10000)) << explorer.child.output;
        std::set<std::string> expected = row.written;
        EXPECT_EQ(entries(folder.path), expected);
        for (const std::string& name : row.written) {
            // The explorer writes an .obj with the texture it shows.
            const bool obj = row.args.find(".obj") != std::string::npos;
            const std::string with = obj ? " --texture '" + texture + "'" : "";
            EXPECT_EQ(read_file(folder.path / name), exporter_file(row.args + with, name)) << name;
        }
        // A refusal leaves it running.
        EXPECT_FALSE(pty_wait_exit(explorer.child, 200).exited);
        explorer.stop(row.signal);
        EXPECT_NE(read_file(folder.path / "state" / "solidmorph" / "explore.ini").find("[State]"),
                  std::string::npos);
        expected.insert("state");
        EXPECT_EQ(entries(folder.path), expected);
    }
}

// A file the studio did not write is replaced only when asked twice; "~/"
// is the home folder, in the file and in the command line shown.
TEST(Explorer, AFileAlreadyThereIsReplacedOnlyWhenAskedTwice) {
    const test::WorkFolder folder(false);
    std::ofstream(folder.path / "h.stl") << "someone else's";
    Explorer explorer(folder, {"--preset", "2", "-o", "~/h.stl"});
    ASSERT_NE(explorer.window, 0UL) << explorer.child.output;
    explorer.xdotool({"key", "ctrl+s"});
    EXPECT_TRUE(pty_read_until(explorer.child, "already exists", 10000)) << explorer.child.output;
    EXPECT_EQ(read_file(folder.path / "h.stl"), "someone else's");
    explorer.xdotool({"key", "ctrl+s"});
    EXPECT_TRUE(pty_read_until(explorer.child, "wrote " + (folder.path / "h.stl").string(), 10000))
        << explorer.child.output;
    EXPECT_EQ(read_file(folder.path / "h.stl"), exporter_file("--preset 2 -o h.stl", "h.stl"));
    // Written by the studio itself: again at once.
    explorer.child.output.clear();
    explorer.xdotool({"key", "ctrl+s"});
    EXPECT_TRUE(pty_read_until(explorer.child, "wrote ", 10000)) << explorer.child.output;
    EXPECT_EQ(explorer.child.output.find("already exists"), std::string::npos);
    explorer.stop(SIGTERM);
}

TEST(Explorer, KeysAndMouseHoldPlayTurnAndFillTheScreenAndTheShapeComesBack) {
    const test::WorkFolder folder(false);
    {
        Explorer explorer(folder, {"--shape", "1,1,5,0.3,0.3,0.3", "-o", "s.glb"});
        ASSERT_NE(explorer.window, 0UL) << explorer.child.output;
        // Started paused: with the spin off (R) the picture stands still.
        explorer.key("r");
        EXPECT_TRUE(explorer.picture_stands_still());
        // Space plays the morph, Space again holds it.
        explorer.key("space");
        EXPECT_FALSE(explorer.picture_stands_still());
        explorer.key("space");
        EXPECT_TRUE(explorer.picture_stands_still());
        // A frame typed in its field is gone to; "-7" is refused with its
        // reason, never wrapped to a frame near 2^64.
        for (const char* typed : {"-7", "42"}) {
            // The click makes the field active in a frame of its own: a
            // Ctrl+A pressed in that same frame, as on a loaded machine, is
            // not yet the field's, and "42" would be typed after the frame.
            Explorer::xdotool({"mousemove", "400", "87", "click", "1"});
            pty_read_for(explorer.child, 300);
            explorer.hold("ctrl+a");
            Explorer::xdotool({"type", "--", typed});
            explorer.hold("Return");
        }
        EXPECT_NE(explorer.child.output.find("cannot go to frame '-7': a frame is a whole number"),
                  std::string::npos)
            << explorer.child.output;
        Explorer::xdotool({"mousemove", "60", "60"});
        // H hides the panel, and a line in its corner says how it comes back.
        explorer.key("h");
        const test::ScreenBox whole = test::window_box(explorer.window);
        const test::ScreenBox corner{whole.width - 180, whole.height - 24, 180, 24};
        EXPECT_TRUE(eventually(
            [&] {
                const int64_t lit = test::lit_pixels(corner, explorer.window);
                return lit > 0 && lit < 180 * 24 / 2;
            },
            3000));
        explorer.key("h");
        // A drag over the picture turns the solid, also when all of it
        // (press, motion, release) reaches the explorer within one frame.
        const std::vector<unsigned long> before = explorer.picture();
        Explorer::xdotool(
            {"mousedown", "1", "mousemove", "90", "80", "mousemove", "120", "100", "mouseup", "1"});
        EXPECT_TRUE(eventually([&] { return explorer.picture() != before; }, 3000));
        // F: the whole screen at its own size; F again: the window as it was.
        const test::ScreenBox window = test::window_box(explorer.window);
        explorer.key("f");
        EXPECT_TRUE(eventually(
            [&] { return test::window_box(explorer.window) == test::screen_box(); }, 3000));
        explorer.key("f");
        EXPECT_TRUE(eventually([&] { return test::window_box(explorer.window) == window; }, 3000));
        // A window shrunk to one pixel, or to nothing, draws what fits.
        for (const char* size : {"1 1", "0 0", "620 400"}) {
            const std::string sides(size);
            Explorer::xdotool({"windowsize", std::to_string(explorer.window),
                               sides.substr(0, sides.find(' ')),
                               sides.substr(sides.find(' ') + 1)});
            EXPECT_FALSE(pty_wait_exit(explorer.child, 500).exited) << size;
        }
        explorer.stop(SIGTERM);
    }
    // The next start comes back to the frame it was held on.
    const std::string state = read_file(folder.path / "state" / "solidmorph" / "explore.ini");
    const size_t at = state.find("Frame=");
    ASSERT_NE(at, std::string::npos) << state;
    const std::string frame = state.substr(at + 6, state.find('\n', at) - at - 6);
    EXPECT_EQ(frame, "42");
    Explorer explorer(folder, {});
    ASSERT_NE(explorer.window, 0UL) << explorer.child.output;
    // ... at the size it was left at.
    const test::ScreenBox box = test::window_box(explorer.window);
    EXPECT_EQ(std::make_pair(box.width, box.height), std::make_pair(620, 400));
    explorer.xdotool({"key", "ctrl+s"});
    EXPECT_TRUE(pty_read_until(explorer.child, "wrote s.glb", 10000)) << explorer.child.output;
    EXPECT_EQ(read_file(folder.path / "s.glb"),
              exporter_file("--frame " + frame + " -o s.glb", "s.glb"));
    explorer.stop(SIGINT);
    EXPECT_EQ(entries(folder.path), std::set<std::string>({"s.glb", "state"}));
}

// What a command prints on its standard output, bytes and all.
std::string command_output(const std::string& line) {
    std::string out;
    if (FILE* pipe = popen(line.c_str(), "r")) {
        char chunk[65536];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
            out.append(chunk, got);
        pclose(pipe);
    }
    return out;
}

// Frame `n` of a picture or film ffmpeg reads, as rows of RGB from the top.
std::string ffmpeg_frame(const fs::path& file, int n) {
    return command_output("ffmpeg -v error -i '" + file.string() + "' -vf 'select=eq(n\\," +
                          std::to_string(n) +
                          ")' -vsync 0 -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
}

// Every frame of a GIF as giflib reads it: rows of RGB from the top, and
// each frame's delay.
struct GifFrames {
    int width = 0, height = 0;
    std::vector<std::string> rgb;
    std::vector<int> delays;
};
GifFrames gif_frames(const fs::path& file) {
    GifFrames out;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(file.c_str(), &error);
    if (gif == nullptr || DGifSlurp(gif) != GIF_OK) {
        if (gif != nullptr) DGifCloseFile(gif, &error);
        return out;
    }
    out.width = gif->SWidth;
    out.height = gif->SHeight;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        const ColorMapObject* map =
            image.ImageDesc.ColorMap != nullptr ? image.ImageDesc.ColorMap : gif->SColorMap;
        std::string rgb;
        for (int p = 0; p < image.ImageDesc.Width * image.ImageDesc.Height; ++p) {
            const GifColorType c = map->Colors[image.RasterBits[p]];
            rgb += {char(c.Red), char(c.Green), char(c.Blue)};
        }
        out.rgb.push_back(rgb);
        GraphicsControlBlock control{};
        DGifSavedExtensionToGCB(gif, i, &control);
        out.delays.push_back(control.DelayTime);
    }
    DGifCloseFile(gif, &error);
    return out;
}

// The mean difference of two pictures' channels (255: not the same size).
double mean_difference(const std::string& a, const std::string& b) {
    if (a.size() != b.size() || a.empty()) return 255.0;
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(uint8_t(a[i])) - int(uint8_t(b[i])));
    return sum / double(a.size());
}

// The studio's own picture of frame F, held, unturned (F12's screenshot).
std::string studio_picture(uint64_t frame) {
    const test::WorkFolder folder(false);
    fs::create_directories(folder.path / "state" / "solidmorph");
    std::ofstream(folder.path / "state" / "solidmorph" / "explore.ini")
        << "[Solidmorph][State]\nSource=frame\nFrame=" << frame << "\nPlaying=0\nSpin=0\n";
    Explorer explorer(folder, {});
    explorer.key("F12");
    EXPECT_TRUE(pty_read_until(explorer.child, ".png", 10000)) << explorer.child.output;
    explorer.stop(SIGTERM);
    for (const std::string& name : entries(folder.path)) {
        if (name.ends_with(".png")) return ffmpeg_frame(folder.path / name, 0);
    }
    return {};
}

// A clip's frame F is the studio's picture of frame F of the morph: the
// first and the last of one whole turn, each within its format's loss (and
// nearer than the frame beside it); every frame kept at its format's pace.
TEST(Explorer, RecordWritesTheMorphFrameForFrameAsGifAndMp4) {
    const std::string first = studio_picture(0), last = studio_picture(360);
    struct Row {
        const char* name;
        double loss;  // the mean difference a channel may show
    };
    for (const Row& row : {Row{"clip.mp4", 2.5}, Row{"clip.gif", 3.0}}) {
        SCOPED_TRACE(row.name);
        const test::WorkFolder folder(false);
        const std::string line =
            "cd '" + folder.path.string() + "' && XDG_STATE_HOME='" + folder.path.string() +
            "/state' '" SOLIDMORPH_EXPLORE "' --record " + row.name + " --frames 0:361";
        const std::string said = command_output(line + " 2>&1; echo \"exit $?\"");
        EXPECT_NE(said.find("recorded " + std::string(row.name) + ": 361 frames"),
                  std::string::npos)
            << said;
        EXPECT_TRUE(said.ends_with("exit 0\n")) << said;
        // Nothing else: no state kept, no temporary left.
        EXPECT_EQ(entries(folder.path), std::set<std::string>({row.name}));
        const fs::path clip = folder.path / row.name;
        std::vector<std::string> frames(3);
        if (std::string(row.name).ends_with(".mp4")) {
            EXPECT_EQ(command_output("ffprobe -v error -select_streams v:0 -count_frames "
                                     "-show_entries stream=codec_name,nb_read_frames,r_frame_rate "
                                     "-of csv=p=0 '" +
                                     clip.string() + "'"),
                      "h264,60/1,361\n");
            frames = {ffmpeg_frame(clip, 0), ffmpeg_frame(clip, 359), ffmpeg_frame(clip, 360)};
        } else {
            const GifFrames gif = gif_frames(clip);
            ASSERT_EQ(gif.rgb.size(), 361u);
            EXPECT_EQ(std::set<int>(gif.delays.begin(), gif.delays.end()), std::set<int>({2}));
            frames = {gif.rgb[0], gif.rgb[359], gif.rgb[360]};
        }
        const double at_first = mean_difference(frames[0], first);
        const double at_last = mean_difference(frames[2], last);
        const double beside = mean_difference(frames[1], last);
        RecordProperty(std::string(row.name) + "_first", std::to_string(at_first));
        RecordProperty(std::string(row.name) + "_last", std::to_string(at_last));
        RecordProperty(std::string(row.name) + "_beside", std::to_string(beside));
        EXPECT_LT(at_first, row.loss);
        EXPECT_LT(at_last, row.loss);
        EXPECT_GT(beside, 2.0 * at_last);
    }
}

// Ctrl+R records; Escape, the panel's Cancel or a stop signal while it
// records leave nothing of the clip behind, and Escape leaves the studio
// running.
// running. A file already there is replaced only when asked twice, and is
// kept as it was when the clip is given up.
TEST(Explorer, ARecordingCancelledOrStoppedLeavesNothing) {
    const test::WorkFolder folder(false);
    std::ofstream(folder.path / "solidmorph.mp4") << "someone else's";
    Explorer explorer(folder, {"--preset", "3"});
    explorer.key("ctrl+r");
    EXPECT_TRUE(pty_read_until(explorer.child, "already exists: Record again", 10000))
        << explorer.child.output;
    explorer.key("ctrl+r");
    EXPECT_TRUE(pty_read_until(explorer.child, "recording solidmorph.mp4", 10000))
        << explorer.child.output;
    explorer.key("Escape");
    EXPECT_TRUE(pty_read_until(explorer.child, "cancelled: solidmorph.mp4 not recorded", 10000))
        << explorer.child.output;
    EXPECT_FALSE(pty_wait_exit(explorer.child, 200).exited);
    EXPECT_EQ(entries(folder.path), std::set<std::string>({"solidmorph.mp4"}));
    EXPECT_EQ(read_file(folder.path / "solidmorph.mp4"), "someone else's");
    fs::remove(folder.path / "solidmorph.mp4");
    explorer.key("ctrl+r");
    EXPECT_TRUE(pty_read_until(explorer.child, "recording solidmorph.mp4", 10000));
    explorer.stop(SIGTERM);
    EXPECT_NE(explorer.child.output.find("stopped: solidmorph.mp4 not recorded"),
              std::string::npos);
    EXPECT_EQ(entries(folder.path), std::set<std::string>({"state"}));
    // Without a person: a stop signal gives the clip up (status 1), and
    // even a kill leaves no temporary behind.
    for (const int signal : {SIGINT, SIGKILL}) {
        SCOPED_TRACE(signal);
        const test::WorkFolder alone(false);
        PtyOptions options;
        options.cwd = alone.path.string();
        options.env = {{"XDG_STATE_HOME", (alone.path / "state").string()}};
        PtyChild child = pty_spawn({SOLIDMORPH_EXPLORE, "--record", "c.gif"}, options);
        EXPECT_TRUE(pty_read_until(child, "recording c.gif", 15000)) << child.output;
        pty_read_for(child, 300);
        ASSERT_EQ(kill(child.pid, signal), 0);
        const ExitStatus status = pty_wait_exit(child, 5000);
        EXPECT_EQ(status.exited ? status.code : -status.signal, signal == SIGKILL ? -SIGKILL : 1);
        EXPECT_EQ(entries(alone.path), std::set<std::string>());
        pty_close(child);
    }
}

// What the studio records is its picture, frame for frame, in a window of
// any size: at an odd one, an MP4 leaves out the right column and the top
// row. Held and unturned, every frame is the screenshot's picture.
TEST(Explorer, CtrlRRecordsThePictureShownAtAnySize) {
    const test::WorkFolder folder(false);
    fs::create_directories(folder.path / "state" / "solidmorph");
    std::ofstream(folder.path / "state" / "solidmorph" / "explore.ini")
        << "[Solidmorph][State]\nSource=frame\nFrame=1234\nPlaying=0\nSpin=0\n";
    Explorer explorer(folder, {});
    Explorer::xdotool({"windowsize", std::to_string(explorer.window), "641", "479"});
    pty_read_for(explorer.child, 500);
    explorer.key("F12");
    ASSERT_TRUE(pty_read_until(explorer.child, ".png", 10000)) << explorer.child.output;
    explorer.key("ctrl+r");
    EXPECT_TRUE(
        pty_read_until(explorer.child, "recorded solidmorph.mp4: 400 frames of 260 x 478", 60000))
        << explorer.child.output;
    explorer.stop(SIGTERM);
    std::string shot;
    for (const std::string& name : entries(folder.path)) {
        if (name.ends_with(".png")) shot = ffmpeg_frame(folder.path / name, 0);
    }
    ASSERT_EQ(shot.size(), size_t(261) * 479 * 3);
    // As written, and as a clip that kept the bottom row or the left column.
    const auto crop = [&](int top, int left) {
        std::string part;
        for (int y = top; y < top + 478; ++y) {
            part += shot.substr((size_t(y) * 261 + size_t(left)) * 3, 260 * 3);
        }
        return part;
    };
    const std::string cropped = crop(1, 0);
    const fs::path clip = folder.path / "solidmorph.mp4";
    EXPECT_EQ(command_output("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                             "stream=width,height,nb_read_frames -of csv=p=0 '" +
                             clip.string() + "'"),
              "260,478,400\n");
    for (const int n : {0, 399}) {
        const std::string frame = ffmpeg_frame(clip, n);
        const double right = mean_difference(frame, cropped);
        RecordProperty("crop_" + std::to_string(n), std::to_string(right));
        RecordProperty("bottom_kept", std::to_string(mean_difference(frame, crop(0, 0))));
        RecordProperty("left_kept", std::to_string(mean_difference(frame, crop(1, 1))));
        EXPECT_LT(right, 2.5) << n;
        EXPECT_LT(2.0 * right, mean_difference(frame, crop(0, 0))) << n;
        EXPECT_LT(2.0 * right, mean_difference(frame, crop(1, 1))) << n;
    }
}

// A clip that cannot be written whole is not written at all: the reason,
// exit status 1, and nothing of it left beside a file already there.
TEST(Explorer, AClipThatCannotBeWrittenLeavesNothing) {
    struct Row {
        const char* limit;  // the shell's file size limit, in 512-byte blocks
        const char* clip;
        const char* says;
    };
    const Row rows[] = {
        {"unlimited", "missing/c.mp4", "cannot write missing/c.mp4: No such file"},
        {"64", "c.mp4", "File too large; nothing written"},
        {"64", "c.gif", "File too large; nothing written"},
        {"64", "keep.gif", "File too large; nothing written"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.clip);
        const test::WorkFolder folder(false);
        std::ofstream(folder.path / "keep.gif") << "keep";
        const std::string said = command_output(
            "cd '" + folder.path.string() + "' && ulimit -f " + row.limit + " && XDG_STATE_HOME='" +
            folder.path.string() + "/state' '" SOLIDMORPH_EXPLORE "' --record " + row.clip +
            " 2>&1; echo \"exit $?\"");
        EXPECT_NE(said.find(row.says), std::string::npos) << said;
        EXPECT_TRUE(said.ends_with("exit 1\n")) << said;
        EXPECT_EQ(entries(folder.path), std::set<std::string>({"keep.gif"}));
        EXPECT_EQ(read_file(folder.path / "keep.gif"), "keep");
    }
}

// Random promises shapes that mostly print: of a fixed run of draws, most
// must pass the exporter's own check.
TEST(Explorer, RandomFindsSoundSolidsAllOverTheSpace) {
    // Each press draws as the studio does, again while the check refuses:
    // every press ends on a sound solid, linked or not, and together they
    // reach far from the sphere's a = b = 1 and whole m.
    constexpr int presses = 30;
    std::mt19937 generator(20261209);
    int sound = 0, draws = 0;
    float least_a = 1, most_a = 1, most_m = 0;
    bool fractional_m = false, sets_apart = false;
    for (int press = 0; press < presses; ++press) {
        const bool linked = press % 2 == 0;
        for (int tries = 0; tries < random_tries; ++tries) {
            ++draws;
            const ShapeParams lat = random_shape(generator);
            const ShapeParams lon = linked ? lat : random_shape(generator);
            const ExportSurface surface = export_surface(lat, lon, 64);
            SolidReport report;
            check_solid(surface.positions, surface.triangles, 0.0, report);
            if (!report.sound) continue;
            ++sound;
            least_a = std::min({least_a, lat.a, lon.a});
            most_a = std::max({most_a, lat.a, lon.a});
            most_m = std::max({most_m, lat.m, lon.m});
            fractional_m |= lat.m != std::floor(lat.m);
            sets_apart |= !same_set(lat, lon);
            break;
        }
    }
    RecordProperty("draws_for_30_presses", draws);
    EXPECT_EQ(sound, presses);
    EXPECT_LT(least_a, 0.6f);
    EXPECT_GT(most_a, 1.6f);
    EXPECT_GT(most_m, 8.0f);
    EXPECT_TRUE(fractional_m && sets_apart);
}

}  // namespace
}  // namespace solidmorph
