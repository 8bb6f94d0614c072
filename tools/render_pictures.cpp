// Renders pictures of the solid for the documentation through the program's
// own modules, on whatever X display is current (a private Xvfb will do):
// presets.png, a sheet of the eleven presets; morph.png, the opening morph
// from the sphere; icon.png, a square of one solid; morph.gif, the program's
// first 800 frames, sphere to preset 6 and back, spinning.
// Usage: render_pictures OUTPUT_DIR [TEXTURE.tga]
#include <GL/gl.h>
#include <gif_lib.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/display.h"
#include "geometry/surface_mesh.h"
#include "morph/morph_scheduler.h"
#include "render/frame.h"
#include "render/frame_renderer.h"
#include "render/scene_state.h"
#include "tool_startup.h"

namespace {

using namespace solidmorph;

constexpr int frame_width = 640;
constexpr int frame_height = 480;

// One angle for every still, so the presets compare like for like.
constexpr int view_angle = 30;

struct Picture {
    int width;
    int height;
    std::vector<uint8_t> rgb;
};

Picture blank_picture(int width, int height) {
    return {width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3, 0)};
}

uint8_t* pixel_at(Picture& picture, int x, int y) {
    return &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
}

const uint8_t* pixel_at(const Picture& picture, int x, int y) {
    return &picture.rgb[(static_cast<size_t>(y) * picture.width + x) * 3];
}

// frame_clock stays 0, so texture_scroll stays 0 and every run gives the
// same pictures.
void generate(const ShapeParams& shape) { generate_grid_surface(shape); }

// The GL hands rows bottom first; a PNG wants them top first.
Picture read_back_buffer() {
    Picture picture = blank_picture(frame_width, frame_height);
    std::vector<uint8_t> rows(picture.rgb.size());
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, frame_width, frame_height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
    const size_t stride = static_cast<size_t>(frame_width) * 3;
    for (int y = 0; y < frame_height; ++y) {
        std::copy_n(&rows[(frame_height - 1 - y) * stride], stride, &picture.rgb[y * stride]);
    }
    return picture;
}

// render_frame adds one to frame_count before it turns the model, so the
// count is set one short of the angle wanted.
Picture render_at(int angle) {
    frame_count = angle - 1;
    render_frame();
    return read_back_buffer();
}

// Box filter: each output pixel is the mean of the source pixels under it.
Picture shrink(const Picture& source, int width, int height) {
    Picture out = blank_picture(width, height);
    for (int oy = 0; oy < height; ++oy) {
        const int y0 = oy * source.height / height;
        const int y1 = (oy + 1) * source.height / height;
        for (int ox = 0; ox < width; ++ox) {
            const int x0 = ox * source.width / width;
            const int x1 = (ox + 1) * source.width / width;
            int sum[3] = {0, 0, 0};
            for (int y = y0; y < y1; ++y) {
                for (int x = x0; x < x1; ++x) {
                    const uint8_t* p = pixel_at(source, x, y);
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const int count = (x1 - x0) * (y1 - y0);
            uint8_t* q = pixel_at(out, ox, oy);
            for (int c = 0; c < 3; ++c) {
                q[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
            }
        }
    }
    return out;
}

Picture crop(const Picture& source, int left, int top, int width, int height) {
    Picture out = blank_picture(width, height);
    for (int y = 0; y < height; ++y) {
        std::copy_n(pixel_at(source, left, top + y), static_cast<size_t>(width) * 3,
                    pixel_at(out, 0, y));
    }
    return out;
}

void paste(Picture& sheet, const Picture& tile, int left, int top) {
    for (int y = 0; y < tile.height; ++y) {
        std::copy_n(pixel_at(tile, 0, y), static_cast<size_t>(tile.width) * 3,
                    pixel_at(sheet, left, top + y));
    }
}

bool write_png(const std::filesystem::path& path, const Picture& picture) {
    const std::string name = path.string();
    if (stbi_write_png(name.c_str(), picture.width, picture.height, 3, picture.rgb.data(),
                       picture.width * 3) == 0) {
        std::fprintf(stderr, "render_pictures: cannot write %s\n", name.c_str());
        return false;
    }
    std::printf("wrote %s (%dx%d)\n", name.c_str(), picture.width, picture.height);
    return true;
}

// Presets 1 to 11 at half size, four across and three down; the twelfth
// cell stays black.
Picture preset_sheet() {
    constexpr int columns = 4;
    constexpr int tile_width = frame_width / 2;
    constexpr int tile_height = frame_height / 2;
    Picture sheet = blank_picture(columns * tile_width, 3 * tile_height);
    for (int preset = 1; preset <= preset_count; ++preset) {
        generate(shape_table[preset]);
        const Picture tile = shrink(render_at(view_angle), tile_width, tile_height);
        const int cell = preset - 1;
        paste(sheet, tile, cell % columns * tile_width, cell / columns * tile_height);
    }
    return sheet;
}

// The scheduler's own opening morph, sphere to preset 6, stepped frame by
// frame as the program steps it; eight of its 200 moving frames are shown.
// The spin is held at one angle so only the shape changes along the strip.
Picture morph_strip() {
    constexpr int shown = 8;
    constexpr int moving_frames = 200;
    constexpr int tile_width = frame_width / 4;
    constexpr int tile_height = frame_height / 4;
    Picture strip = blank_picture(shown * tile_width, tile_height);
    start_morph();
    int next = 0;
    for (int frame = 0; frame < moving_frames && next < shown; ++frame) {
        // The program's own frame, with the clock at 0 so the texture holds
        // still, and the count set so that every frame turns to one angle.
        frame_count = view_angle - 1;
        run_frame(0.0);
        if (frame != next * (moving_frames - 1) / (shown - 1)) {
            continue;
        }
        paste(strip, shrink(read_back_buffer(), tile_width, tile_height), next * tile_width, 0);
        ++next;
    }
    return strip;
}

// A square around the lit pixels of one solid, shrunk to icon size when the
// solid is larger than the icon.
Picture icon(int preset) {
    constexpr int side = 256;
    generate(shape_table[preset]);
    const Picture frame = render_at(view_angle);
    int left = frame_width, right = -1, top = frame_height, bottom = -1;
    for (int y = 0; y < frame_height; ++y) {
        for (int x = 0; x < frame_width; ++x) {
            const uint8_t* p = pixel_at(frame, x, y);
            if (p[0] > 8 || p[1] > 8 || p[2] > 8) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) {
        return blank_picture(side, side);
    }
    const int margin = 8;
    const int extent = std::max(right - left, bottom - top) + 1 + 2 * margin;
    const int square = std::clamp(extent, side, frame_height);
    const int cx = (left + right + 1) / 2;
    const int cy = (top + bottom + 1) / 2;
    const int x0 = std::clamp(cx - square / 2, 0, frame_width - square);
    const int y0 = std::clamp(cy - square / 2, 0, frame_height - square);
    return shrink(crop(frame, x0, y0, square, square), side, side);
}

// One frame of the program, made by the program's own frame: one morph step,
// the surface regenerated, the model spun one more degree and drawn. The
// clock reads 0, so the texture holds still and every run gives the same
// film.
Picture shown_frame() {
    run_frame(0.0);
    return read_back_buffer();
}

// giflib reports failures through an error code; every step checks it.
struct GifWriter {
    GifFileType* file = nullptr;
    int error = 0;
    bool ok = true;

    void check(int result) { ok = ok && result == GIF_OK; }
};

bool put_loop_forever(GifWriter& gif) {
    const GifByteType application[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const GifByteType loop[] = {1, 0, 0};  // sub-block 1: repeat count 0, for ever
    gif.check(EGifPutExtensionLeader(gif.file, APPLICATION_EXT_FUNC_CODE));
    gif.check(EGifPutExtensionBlock(gif.file, sizeof application, application));
    gif.check(EGifPutExtensionBlock(gif.file, sizeof loop, loop));
    gif.check(EGifPutExtensionTrailer(gif.file));
    return gif.ok;
}

// One frame with its own 256-colour palette, shown for delay hundredths.
bool put_frame(GifWriter& gif, const Picture& picture, int delay) {
    const size_t pixels = static_cast<size_t>(picture.width) * picture.height;
    std::vector<GifByteType> red(pixels), green(pixels), blue(pixels), indices(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        red[i] = picture.rgb[i * 3];
        green[i] = picture.rgb[i * 3 + 1];
        blue[i] = picture.rgb[i * 3 + 2];
    }
    int colours = 256;
    GifColorType palette[256] = {};
    gif.check(GifQuantizeBuffer(static_cast<unsigned>(picture.width),
                                static_cast<unsigned>(picture.height), &colours, red.data(),
                                green.data(), blue.data(), indices.data(), palette));
    ColorMapObject* map = GifMakeMapObject(256, palette);
    if (map == nullptr) return false;

    GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, delay, NO_TRANSPARENT_COLOR};
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    gif.check(EGifPutExtension(gif.file, GRAPHICS_EXT_FUNC_CODE, sizeof extension, extension));
    gif.check(EGifPutImageDesc(gif.file, 0, 0, picture.width, picture.height, false, map));
    for (int y = 0; y < picture.height && gif.ok; ++y) {
        gif.check(
            EGifPutLine(gif.file, &indices[static_cast<size_t>(y) * picture.width], picture.width));
    }
    GifFreeMapObject(map);
    return gif.ok;
}

// The opening morph and its return, 800 frames, spin and all, as the program
// shows them from start-up; every fourth frame at half size keeps the file
// small while the motion keeps the program's pace at 60 frames a second.
bool write_morph_gif(const std::filesystem::path& path) {
    constexpr int run_frames = 800;
    constexpr int kept_every = 4;
    constexpr int delay = 7;  // hundredths of a second, about 4 frames at 60 Hz
    const std::string name = path.string();
    GifWriter gif;
    gif.file = EGifOpenFileName(name.c_str(), false, &gif.error);
    if (gif.file == nullptr) {
        std::fprintf(stderr, "render_pictures: cannot write %s\n", name.c_str());
        return false;
    }
    gif.check(EGifPutScreenDesc(gif.file, frame_width / 2, frame_height / 2, 8, 0, nullptr));
    put_loop_forever(gif);

    reset_morph();
    start_shapes();
    frame_count = 0;
    for (int frame = 1; frame <= run_frames && gif.ok; ++frame) {
        const Picture picture = shown_frame();
        if (frame % kept_every == 0) {
            put_frame(gif, shrink(picture, frame_width / 2, frame_height / 2), delay);
        }
    }
    const bool written = gif.ok && EGifCloseFile(gif.file, &gif.error) == GIF_OK;
    if (!written) {
        std::fprintf(stderr, "render_pictures: cannot write %s\n", name.c_str());
        return false;
    }
    std::printf("wrote %s (%d frames)\n", name.c_str(), run_frames / kept_every);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: render_pictures OUTPUT_DIR [TEXTURE.tga]\n");
        return 2;
    }
    const std::filesystem::path out_dir = argv[1];
    const char* texture_path = argc == 3 ? argv[2] : "assets/vein.tga";
    std::error_code error;
    std::filesystem::create_directories(out_dir, error);
    GLuint texture = 0;
    if (!start_like_program("render_pictures", texture_path, texture)) {
        return 1;
    }
    const bool written = write_png(out_dir / "presets.png", preset_sheet()) &&
                         write_png(out_dir / "morph.png", morph_strip()) &&
                         write_png(out_dir / "icon.png", icon(6)) &&
                         write_morph_gif(out_dir / "morph.gif");
    glDeleteTextures(1, &texture);
    terminate_display();
    return written ? 0 : 1;
}
