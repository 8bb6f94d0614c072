#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "render/texture_loader.h"
#include "support/gl_context.h"

namespace solidmorph {
namespace {

using Bytes = std::vector<uint8_t>;

DecodedImage image_of(int32_t width, int32_t height, int32_t components, Bytes pixels) {
    DecodedImage image;
    image.width = width;
    image.height = height;
    image.components = components;
    image.pixels = std::move(pixels);
    return image;
}

DecodedImage uniform(int32_t width, int32_t height, const Bytes& texel) {
    Bytes pixels;
    for (int32_t i = 0; i < width * height; ++i)
        pixels.insert(pixels.end(), texel.begin(), texel.end());
    return image_of(width, height, int32_t(texel.size()), pixels);
}

GLint level_value(GLint level, GLenum what) {
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, what, &value);
    return value;
}

GLint parameter(GLenum what) {
    GLint value = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, what, &value);
    return value;
}

Bytes read_level(GLint level, GLenum format, size_t components) {
    const GLint width = level_value(level, GL_TEXTURE_WIDTH);
    const GLint height = level_value(level, GL_TEXTURE_HEIGHT);
    Bytes texels(size_t(width) * size_t(height) * components);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, format, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

bool is_power_of_two(GLint n) { return n > 0 && (n & (n - 1)) == 0; }

// A 24-bit uncompressed TGA file; `descriptor` 0x20 stores rows top first.
Bytes tga_file(uint16_t width, uint16_t height, uint8_t descriptor, const Bytes& bgr) {
    Bytes out = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (uint16_t v : {width, height}) {
        out.push_back(uint8_t(v & 0xFF));
        out.push_back(uint8_t(v >> 8));
    }
    out.push_back(24);
    out.push_back(descriptor);
    out.insert(out.end(), bgr.begin(), bgr.end());
    return out;
}

std::string temp_path(const std::string& name) {
    return testing::TempDir() + "solidmorph_tex_" + std::to_string(getpid()) + "_" + name;
}

std::string write_temp(const std::string& name, const Bytes& bytes) {
    const std::string path = temp_path(name);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        // An empty vector's data() may be null, which fwrite must not get.
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

// Each test gets a fresh texture bound, as the program has when it loads.
class TextureUpload : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::ensure_gl_context());
        glGenTextures(1, &name_);
        glBindTexture(GL_TEXTURE_2D, name_);
    }
    void TearDown() override {
        glBindTexture(GL_TEXTURE_2D, 0);
        if (name_ != 0) glDeleteTextures(1, &name_);
    }
    GLuint name_ = 0;
};

// Rows of 6 bytes would be read skewed under the GL's default 4-byte rows.
TEST_F(TextureUpload, RowsArriveAsGivenAndTheAlignmentIsPutBack) {
    const Bytes pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    upload_mipmapped_texture(image_of(2, 2, 3, pixels));
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 8);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    EXPECT_EQ(read_level(0, GL_RGB, 3), pixels);
}

TEST_F(TextureUpload, SidesBecomePowersOfTwoWithTheWholeChain) {
    upload_mipmapped_texture(uniform(3, 5, {40, 80, 120}));
    const GLint width = level_value(0, GL_TEXTURE_WIDTH);
    const GLint height = level_value(0, GL_TEXTURE_HEIGHT);
    EXPECT_TRUE(is_power_of_two(width)) << width;
    EXPECT_TRUE(is_power_of_two(height)) << height;
    EXPECT_EQ(read_level(0, GL_RGB, 3), uniform(width, height, {40, 80, 120}).pixels);

    // 8 x 2 halves to 4 x 1, 2 x 1 and 1 x 1, and stops there.
    upload_mipmapped_texture(uniform(8, 2, {10, 20, 30}));
    const GLint sides[][2] = {{8, 2}, {4, 1}, {2, 1}, {1, 1}};
    for (GLint level = 0; level < 4; ++level) {
        EXPECT_EQ(level_value(level, GL_TEXTURE_WIDTH), sides[level][0]) << "level " << level;
        EXPECT_EQ(level_value(level, GL_TEXTURE_HEIGHT), sides[level][1]) << "level " << level;
    }
    EXPECT_EQ(level_value(4, GL_TEXTURE_WIDTH), 0);
    EXPECT_EQ(read_level(3, GL_RGB, 3), Bytes({10, 20, 30}));
}

// The program relies on the defaults: mipmapped minification and repeat.
TEST_F(TextureUpload, SetsNoTextureParameters) {
    upload_mipmapped_texture(uniform(4, 4, {1, 2, 3, 4}));
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST_MIPMAP_LINEAR);
    EXPECT_EQ(parameter(GL_TEXTURE_MAG_FILTER), GL_LINEAR);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), GL_REPEAT);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_T), GL_REPEAT);

    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    upload_mipmapped_texture(uniform(4, 4, {1, 2, 3, 4}));
    EXPECT_EQ(parameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    EXPECT_EQ(parameter(GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);
}

TEST_F(TextureUpload, ComponentCountChoosesTheStoredFormat) {
    upload_mipmapped_texture(image_of(2, 2, 1, {10, 20, 30, 40}));
    EXPECT_GT(level_value(0, GL_TEXTURE_LUMINANCE_SIZE), 0);
    EXPECT_EQ(level_value(0, GL_TEXTURE_ALPHA_SIZE), 0);
    EXPECT_EQ(level_value(0, GL_TEXTURE_RED_SIZE), 0);
    EXPECT_EQ(read_level(0, GL_LUMINANCE, 1), Bytes({10, 20, 30, 40}));

    upload_mipmapped_texture(image_of(2, 1, 2, {10, 200, 30, 100}));
    EXPECT_GT(level_value(0, GL_TEXTURE_LUMINANCE_SIZE), 0);
    EXPECT_GT(level_value(0, GL_TEXTURE_ALPHA_SIZE), 0);
    EXPECT_EQ(read_level(0, GL_LUMINANCE_ALPHA, 2), Bytes({10, 200, 30, 100}));

    upload_mipmapped_texture(uniform(2, 2, {1, 2, 3}));
    EXPECT_GT(level_value(0, GL_TEXTURE_RED_SIZE), 0);
    EXPECT_EQ(level_value(0, GL_TEXTURE_LUMINANCE_SIZE), 0);
    EXPECT_EQ(level_value(0, GL_TEXTURE_ALPHA_SIZE), 0);

    upload_mipmapped_texture(uniform(2, 2, {1, 2, 3, 4}));
    EXPECT_GT(level_value(0, GL_TEXTURE_RED_SIZE), 0);
    EXPECT_GT(level_value(0, GL_TEXTURE_ALPHA_SIZE), 0);
    EXPECT_EQ(read_level(0, GL_RGBA, 4), uniform(2, 2, {1, 2, 3, 4}).pixels);
}

TEST_F(TextureUpload, LoadsTheVeinTexture) {
    ASSERT_TRUE(load_texture_2d(SOLIDMORPH_ASSETS "/vein.tga"));
    EXPECT_EQ(level_value(0, GL_TEXTURE_WIDTH), 256);
    EXPECT_EQ(level_value(0, GL_TEXTURE_HEIGHT), 256);
    EXPECT_GT(level_value(0, GL_TEXTURE_RED_SIZE), 0);
    EXPECT_EQ(level_value(0, GL_TEXTURE_ALPHA_SIZE), 0);
    EXPECT_EQ(level_value(8, GL_TEXTURE_WIDTH), 1);
    EXPECT_EQ(level_value(9, GL_TEXTURE_WIDTH), 0);
}

// A file whose rows are stored top first still puts its bottom row at t = 0.
TEST_F(TextureUpload, LoadedFilesStartAtTheBottomRow) {
    // Top row blue, green; bottom row red, white; all as BGR.
    const Bytes top_first = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    const std::string path = write_temp("top_first.tga", tga_file(2, 2, 0x20, top_first));
    ASSERT_TRUE(load_texture_2d(path.c_str()));
    EXPECT_EQ(read_level(0, GL_RGB, 3), Bytes({255, 0, 0, 255, 255, 255, 0, 0, 255, 0, 255, 0}));

    // Whatever follows the pixels is never needed.
    Bytes padded = tga_file(2, 2, 0x20, top_first);
    padded.resize(padded.size() + (1 << 20), 0xAB);
    const std::string padded_path = write_temp("padded.tga", padded);
    EXPECT_TRUE(load_texture_2d(padded_path.c_str()));
    std::remove(path.c_str());
    std::remove(padded_path.c_str());
}

TEST_F(TextureUpload, LoadRefusesWhatIsNotAReadableImage) {
    EXPECT_FALSE(load_texture_2d(temp_path("missing.tga").c_str()));
    EXPECT_FALSE(load_texture_2d(testing::TempDir().c_str()));
    EXPECT_FALSE(load_texture_2d("/dev/null"));
    EXPECT_FALSE(load_texture_2d(nullptr));

    // A pipe in the file's place must not hang the open.
    const std::string pipe = temp_path("pipe.tga");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_FALSE(load_texture_2d(pipe.c_str()));
    std::remove(pipe.c_str());

    const Bytes whole = tga_file(2, 2, 0, Bytes(12, 7));
    const std::string empty = write_temp("empty.tga", {});
    const std::string header_only =
        write_temp("header.tga", Bytes(whole.begin(), whole.begin() + 18));
    const std::string short_data = write_temp("short.tga", Bytes(whole.begin(), whole.end() - 1));
    EXPECT_FALSE(load_texture_2d(empty.c_str()));
    EXPECT_FALSE(load_texture_2d(header_only.c_str()));
    EXPECT_FALSE(load_texture_2d(short_data.c_str()));

    GLint max_side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
    if (max_side < 65535) {
        const uint16_t too_wide = uint16_t(max_side + 1);
        const std::string wide =
            write_temp("wide.tga", tga_file(too_wide, 1, 0, Bytes(size_t(too_wide) * 3, 9)));
        EXPECT_FALSE(load_texture_2d(wide.c_str()));
        std::remove(wide.c_str());
    }
    for (const std::string& path : {empty, header_only, short_data}) std::remove(path.c_str());
}

}  // namespace
}  // namespace solidmorph
