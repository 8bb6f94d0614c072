#include <GL/gl.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "render/texture_loader.h"
#include "support/gl_context.h"
#include "support/tga_bytes.h"
#include "support/work_folder.h"

// The GL tells of a texture it had no room for only through its error
// state, which a test cannot fill at will: this executable's glGetError
// reports out-of-memory once when asked to, and otherwise hands the call on.
namespace {
bool report_out_of_memory = false;
}

extern "C" GLenum glGetError() {
    using GetError = GLenum (*)();
    static const GetError gl_get_error = reinterpret_cast<GetError>(dlsym(RTLD_NEXT, "glGetError"));
    if (report_out_of_memory) {
        report_out_of_memory = false;
        return GL_OUT_OF_MEMORY;
    }
    return gl_get_error();
}

namespace solidmorph {
namespace {

using test::Bytes;

DecodedImage image_of(int32_t width, int32_t height, int32_t components, Bytes pixels) {
    return DecodedImage{width, height, components, std::move(pixels)};
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
    return test::tga_bytes(test::true_colour(width, height, bgr, descriptor));
}

void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
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
    struct Case {
        DecodedImage image;
        GLenum format;
        bool luminance, alpha, red;
    };
    const Case cases[] = {
        {image_of(2, 2, 1, {10, 20, 30, 40}), GL_LUMINANCE, true, false, false},
        {image_of(2, 1, 2, {10, 200, 30, 100}), GL_LUMINANCE_ALPHA, true, true, false},
        {uniform(2, 2, {1, 2, 3}), GL_RGB, false, false, true},
        {uniform(2, 2, {1, 2, 3, 4}), GL_RGBA, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.image.components << " components");
        upload_mipmapped_texture(c.image);
        EXPECT_EQ(level_value(0, GL_TEXTURE_LUMINANCE_SIZE) > 0, c.luminance);
        EXPECT_EQ(level_value(0, GL_TEXTURE_ALPHA_SIZE) > 0, c.alpha);
        EXPECT_EQ(level_value(0, GL_TEXTURE_RED_SIZE) > 0, c.red);
        EXPECT_EQ(read_level(0, c.format, size_t(c.image.components)), c.image.pixels);
    }
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

// A file whose rows are stored top first still puts its bottom row at t = 0,
// and whatever follows the pixels is never needed.
TEST_F(TextureUpload, LoadedFilesStartAtTheBottomRow) {
    const test::WorkFolder dir(false);
    // Top row blue, green; bottom row red, white; all as BGR.
    Bytes file = tga_file(2, 2, 0x20, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
    write_file(dir.path / "top_first.tga", file);
    ASSERT_TRUE(load_texture_2d((dir.path / "top_first.tga").c_str()));
    EXPECT_EQ(read_level(0, GL_RGB, 3), Bytes({255, 0, 0, 255, 255, 255, 0, 0, 255, 0, 255, 0}));

    file.resize(file.size() + (1 << 20), 0xAB);
    write_file(dir.path / "padded.tga", file);
    EXPECT_TRUE(load_texture_2d((dir.path / "padded.tga").c_str()));
}

TEST_F(TextureUpload, LoadRefusesWhatIsNotAReadableImage) {
    const test::WorkFolder dir(false);
    EXPECT_FALSE(load_texture_2d((dir.path / "missing.tga").c_str()));
    EXPECT_FALSE(load_texture_2d(dir.path.c_str()));
    EXPECT_FALSE(load_texture_2d("/dev/null"));
    EXPECT_FALSE(load_texture_2d(nullptr));

    // A pipe in the file's place must not hang the open.
    ASSERT_EQ(mkfifo((dir.path / "pipe.tga").c_str(), 0600), 0);
    EXPECT_FALSE(load_texture_2d((dir.path / "pipe.tga").c_str()));

    const Bytes whole = tga_file(2, 2, 0, Bytes(12, 7));
    GLint max_side = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
    std::vector<std::pair<std::string, Bytes>> files = {
        {"empty", {}},
        {"header only", Bytes(whole.begin(), whole.begin() + 18)},
        {"short data", Bytes(whole.begin(), whole.end() - 1)},
    };
    if (max_side < 65535) {
        const auto too_wide = uint16_t(max_side + 1);
        files.push_back({"too wide", tga_file(too_wide, 1, 0, Bytes(size_t(too_wide) * 3, 9))});
    }
    for (const auto& [name, bytes] : files) {
        write_file(dir.path / name, bytes);
        EXPECT_FALSE(load_texture_2d((dir.path / name).c_str())) << name;
    }
}

// Drawn with a texture the GL had no room for, the solid would show
// untextured: such an upload is a failed one.
TEST_F(TextureUpload, OutOfMemoryAfterTheUploadFailsIt) {
    report_out_of_memory = true;
    EXPECT_FALSE(upload_mipmapped_texture(uniform(4, 4, {1, 2, 3})));
    EXPECT_FALSE(report_out_of_memory) << "the error state was read after the upload";
    EXPECT_TRUE(upload_mipmapped_texture(uniform(4, 4, {1, 2, 3})));
}

}  // namespace
}  // namespace solidmorph
