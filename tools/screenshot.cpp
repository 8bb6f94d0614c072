// Saves the whole screen of the X display as a PNG: the demo's picture on a
// machine without a monitor. Usage: screenshot OUTPUT.png
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stb_image_write.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// Spreads a channel mask's bits into an 8-bit value.
uint8_t channel(unsigned long pixel, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while (((mask >> shift) & 1UL) == 0) {
        ++shift;
    }
    const unsigned long max = mask >> shift;
    return static_cast<uint8_t>(((pixel & mask) >> shift) * 255UL / max);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: screenshot OUTPUT.png\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "screenshot: cannot open the display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        std::fprintf(stderr, "screenshot: cannot read the screen\n");
        XCloseDisplay(display);
        return 1;
    }
    const int width = attributes.width;
    const int height = attributes.height;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            uint8_t* out = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(width) +
                                 static_cast<size_t>(x)) *
                                3];
            out[0] = channel(pixel, image->red_mask);
            out[1] = channel(pixel, image->green_mask);
            out[2] = channel(pixel, image->blue_mask);
        }
    }
    XDestroyImage(image);
    XCloseDisplay(display);
    if (stbi_write_png(argv[1], width, height, 3, rgb.data(), width * 3) == 0) {
        std::fprintf(stderr, "screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
