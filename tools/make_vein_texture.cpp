// Makes the program's texture: a warm stone crossed by dark veins, drawn from
// our own tiling gradient noise so that the same seed gives the same bytes.
//
//   make_vein_texture OUTPUT.tga [--png PREVIEW.png]
//
// The preview is a 2 x 2 tiling of the texture, to show that the edges meet.
#include <stb_image_write.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int side = 256;
constexpr int components = 3;
constexpr uint32_t seed = 0x5EED1E57u;
constexpr double two_pi = 6.283185307179586;

uint32_t hash3(uint32_t x, uint32_t y, uint32_t salt) {
    uint32_t h = x * 0x8DA6B343u ^ y * 0xD8163841u ^ salt * 0xCB1AB31Fu;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

double fade(double t) { return t * t * t * (t * (t * 6.0 - 15.0) + 10.0); }

// Gradient noise on a lattice that wraps every `period` cells, so a tile that
// spans whole periods meets itself at the edges.
double tiling_noise(double x, double y, int period, uint32_t salt) {
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int ix = int(fx);
    const int iy = int(fy);
    double corner[2][2];
    for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
            const uint32_t gx = uint32_t(((ix + dx) % period + period) % period);
            const uint32_t gy = uint32_t(((iy + dy) % period + period) % period);
            const double angle = hash3(gx, gy, salt) * (two_pi / 4294967296.0);
            corner[dy][dx] = std::cos(angle) * (x - fx - dx) + std::sin(angle) * (y - fy - dy);
        }
    }
    const double sx = fade(x - fx);
    const double sy = fade(y - fy);
    const double bottom = corner[0][0] + (corner[0][1] - corner[0][0]) * sx;
    const double top = corner[1][0] + (corner[1][1] - corner[1][0]) * sx;
    return bottom + (top - bottom) * sy;
}

double fbm(double u, double v, int period, int octaves, uint32_t salt) {
    double sum = 0.0;
    double amplitude = 0.5;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * tiling_noise(u * period, v * period, period, salt + o);
        period *= 2;
        amplitude *= 0.5;
    }
    return sum;
}

double mix(double a, double b, double t) { return a + (b - a) * t; }

// Noise warped by noise: tiling offsets keep the warped field tiling too.
double warped_field(double u, double v, int period, double warp, uint32_t salt) {
    const double wu = u + warp * fbm(u, v, 2, 4, salt + 17);
    const double wv = v + warp * fbm(u, v, 2, 4, salt + 29);
    return fbm(wu, wv, period, 6, salt) + 0.18 * std::sin(two_pi * (wu + 2.0 * wv));
}

// A dark line along the zero crossings of the field, like a vein in marble,
// with a soft stain around it. Dividing by the field's slope turns the value
// into a distance, so the line keeps its width where the field is flat.
double vein(double u, double v, int period, double warp, double width, uint32_t salt) {
    const double h = 0.25 / side;
    const double f = warped_field(u, v, period, warp, salt);
    const double fu = (warped_field(u + h, v, period, warp, salt) - f) / h;
    const double fv = (warped_field(u, v + h, period, warp, salt) - f) / h;
    const double slope = std::sqrt(fu * fu + fv * fv) + 1e-9;
    const double d = std::fabs(f) / slope / width;
    return std::fmin(1.0, std::exp(-d * d) + 0.16 * std::exp(-d * d / 12.0));
}

void shade(double u, double v, uint8_t* rgb) {
    const double mottle = fbm(u, v, 4, 5, seed + 211);
    const double tint = fbm(u, v, 2, 4, seed + 307) + 0.5;

    const double dark = vein(u, v, 2, 0.35, 1.3 / side, seed);
    const double faint = 0.4 * vein(u, v, 4, 0.25, 0.6 / side, seed + 101);
    const double amount = std::fmin(1.0, dark + faint);

    // Warm cream drifting toward honey, with clouds of a cooler grey.
    const double cloud = std::fmax(0.0, fbm(u, v, 2, 5, seed + 401) * 2.2);
    const double stone[3] = {mix(mix(234.0, 220.0, tint), 196.0, cloud),
                             mix(mix(222.0, 196.0, tint), 190.0, cloud),
                             mix(mix(200.0, 160.0, tint), 180.0, cloud)};
    const double veins[3] = {92.0, 74.0, 64.0};
    for (int c = 0; c < 3; ++c) {
        const double base = stone[c] * (1.0 + 0.18 * mottle);
        const double value = mix(base, veins[c], amount);
        rgb[c] = uint8_t(std::lround(std::fmin(255.0, std::fmax(0.0, value))));
    }
}

// Rows top first, as the image writer expects.
std::vector<uint8_t> make_texture() {
    std::vector<uint8_t> pixels(size_t(side) * side * components);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            shade(double(x) / side, double(y) / side, &pixels[(size_t(y) * side + x) * components]);
        }
    }
    return pixels;
}

bool write_preview(const char* path, const std::vector<uint8_t>& tile) {
    const int wide = 2 * side;
    std::vector<uint8_t> preview(size_t(wide) * wide * components);
    for (int y = 0; y < wide; ++y) {
        for (int x = 0; x < wide; ++x) {
            const uint8_t* src = &tile[(size_t(y % side) * side + x % side) * components];
            std::memcpy(&preview[(size_t(y) * wide + x) * components], src, components);
        }
    }
    return stbi_write_png(path, wide, wide, components, preview.data(), wide * components) != 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool with_preview = argc == 4 && std::strcmp(argv[2], "--png") == 0;
    if (argc != 2 && !with_preview) {
        std::fprintf(stderr, "usage: %s OUTPUT.tga [--png PREVIEW.png]\n", argv[0]);
        return 2;
    }
    const std::vector<uint8_t> pixels = make_texture();
    if (!stbi_write_tga(argv[1], side, side, components, pixels.data())) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    if (with_preview && !write_preview(argv[3], pixels)) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[3]);
        return 1;
    }
    return 0;
}
