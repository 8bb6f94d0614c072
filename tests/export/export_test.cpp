// The exporter's own parts, without a display: which shape a frame shows,
// the printable solid, the file formats read back, the command line and
// the all-or-nothing file write.
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "export/export_surface.h"
#include "export/mesh_files.h"
#include "export/printable_solid.h"
#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"
#include "morph/frame_shape.h"
#include "morph/morph_scheduler.h"
#include "platform/file_output.h"
#include "shapes/export_options.h"
#include "support/work_folder.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;

bool same_bits(const ShapeParams& a, const ShapeParams& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The program's own order from start-up, one step per frame drawn.
ShapeParams stepped_shape(uint64_t frames) {
    fill_shape_table();
    cycle_index = 0;
    start_morph();
    for (uint64_t i = 0; i < frames; ++i) advance_morph();
    return current_shape;
}

TEST(ExportFrames, CountTheFirstFrameDrawnAsOneAndMatchEveryStepOfTheRun) {
    fill_shape_table();
    EXPECT_TRUE(same_bits(frame_shape(0), shape_table[1])) << "frame 0 is the sphere";
    // The first morph ends with frame 200 (the 200th step), near but not on
    // preset 6; frame 199 is one step short of it.
    EXPECT_NEAR(frame_shape(200).b, 0.699998f, 2e-6f);
    EXPECT_NE(frame_shape(200).b, 0.7f);
    EXPECT_NE(frame_shape(199).b, frame_shape(200).b);
    EXPECT_TRUE(same_bits(frame_shape(200), frame_shape(400)));
    // Far frames skip whole repeats of the settled cycle; they must land on
    // exactly what stepping every frame gives, before and after it settles.
    for (const uint64_t frame :
         {uint64_t(1), uint64_t(401), opening_frames + cycle_frames * 3 + 4321,
          opening_frames + cycle_frames * 17000 + 4321}) {
        SCOPED_TRACE(frame);
        EXPECT_TRUE(same_bits(frame_shape(frame), stepped_shape(frame)));
    }
    // And far beyond any run anyone watches, still at once.
    const ShapeParams far = frame_shape(UINT64_MAX);
    EXPECT_TRUE(std::isfinite(far.a) && std::isfinite(far.m) && std::isfinite(far.n3));
}

TEST(ExportSurface, IsTheProgramsGridWithTheScrollAtZero) {
    frame_clock = 3.5f;  // whatever an earlier frame left behind
    texture_scroll = 0.25f;
    fill_shape_table();
    const ShapeParams preset = shape_table[6];  // start-up empties the table
    const ExportSurface surface = export_surface(preset);
    ASSERT_EQ(surface.positions.size(), size_t(mesh_vertex_count));
    ASSERT_EQ(surface.triangles.size(), size_t(grid_triangle_count));
    EXPECT_EQ(surface.texcoords[65 * 5 + 7].u, 5.0f / 16.0f);
    EXPECT_EQ(surface.texcoords[65 * 5 + 7].v, 7.0f / 16.0f);
    EXPECT_EQ(surface.triangles[0], (TriangleCorners{65, 64, 0}));
    EXPECT_EQ(surface.triangles[8319], (TriangleCorners{4096, 4097, 1}));

    // The same floats the generator gives when called on its own.
    std::vector<Vec3> positions(mesh_vertex_count);
    std::vector<Vec2> texcoords(mesh_vertex_count);
    const ShapeParams& s = preset;
    generate_supershape(positions, texcoords, grid_scale, float(grid_rows), float(grid_lon_steps),
                        s.a, s.b, s.m, s.n1, s.n2, s.n3);
    EXPECT_EQ(
        std::memcmp(positions.data(), surface.positions.data(), mesh_vertex_count * sizeof(Vec3)),
        0);
}

// Every directed edge once and its reverse once; Euler characteristic 2.
void expect_closed_sphere_like(const PrintableSolid& solid) {
    std::map<std::pair<uint32_t, uint32_t>, int> directed;
    for (const TriangleCorners& c : solid.triangles) {
        for (int e = 0; e < 3; ++e) ++directed[{c[e], c[(e + 1) % 3]}];
    }
    for (const auto& [edge, count] : directed) {
        ASSERT_EQ(count, 1);
        ASSERT_EQ(directed.count({edge.second, edge.first}), 1u);
    }
    EXPECT_EQ(
        long(solid.vertices.size()) - long(directed.size() / 2) + long(solid.triangles.size()), 2);
}

TEST(PrintableSolid, EveryPresetClosesOutwardWithPositiveVolume) {
    for (int preset = 1; preset <= preset_count; ++preset) {
        SCOPED_TRACE(preset);
        PrintableSolid solid;
        std::string reason;
        ASSERT_TRUE(make_printable_solid(export_surface(preset_shape(preset)), solid, reason))
            << reason;
        EXPECT_GT(solid.volume, 0.0);
        expect_closed_sphere_like(solid);
        // Seam, upper pole row and the inside joins go; the lower cap comes.
        EXPECT_EQ(solid.vertices.size(), 63u * 64u + 2u);
    }
    PrintableSolid sphere;
    std::string reason;
    ASSERT_TRUE(make_printable_solid(export_surface(preset_shape(1)), sphere, reason));
    EXPECT_NEAR(sphere.volume, 4.0 / 3.0 * std::numbers::pi, 0.02);

    // At a printing size, on the plate.
    ASSERT_TRUE(make_printable_solid(export_surface(preset_shape(1)), sphere, reason, 80.0));
    float low = 1e9f, high = -1e9f, across = 0;
    for (const Vec3& p : sphere.vertices) {
        low = std::min(low, p.z), high = std::max(high, p.z), across = std::max(across, p.x);
    }
    EXPECT_EQ(low, 0.0f);
    EXPECT_NEAR(std::max(high, 2 * across), 80.0f, 0.1f);
    EXPECT_NEAR(sphere.volume, 4.0 / 3.0 * std::numbers::pi * 40 * 40 * 40, 1e3);
}

TEST(PrintableSolid, RefusesSurfacesThatCannotCloseSoundly) {
    const std::vector<std::pair<ShapeParams, const char*>> rows = {
        {{2, 2, 4, 1e-30f, 1, 1}, "infinite"},  // radii overflow
        {{1, 1, 4, 0, 1, 1}, "axis"},           // n1 = 0: radii of 0 and 1
        {{0, 1, 4, 1, 1, 1}, "axis"},           // a = 0: every radius 0
        // Closed and consistently wound, but the rows next to the lower pole
        // cross those near the upper one, close to the axis.
        {{1, 1, 6, 1, 1, -2}, "crosses itself"},
    };
    for (const auto& [shape, why] : rows) {
        SCOPED_TRACE(why);
        PrintableSolid solid;
        std::string reason;
        EXPECT_FALSE(make_printable_solid(export_surface(shape), solid, reason));
        EXPECT_NE(reason.find(why), std::string::npos) << reason;
    }
}

TEST(MeshFiles, GlbHoldsTheListAndTexCoordsAndAGlRowOrderedTexture) {
    fill_shape_table();
    const ExportSurface surface = export_surface(shape_table[7]);
    std::string reason;

    // GLB, read by TinyGLTF's own loader.
    DecodedImage texture{2, 2, 3, {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}};
    Bytes glb;
    ASSERT_TRUE(glb_bytes(surface, texture, "test", glb, reason)) << reason;
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string error, warning;
    ASSERT_TRUE(
        loader.LoadBinaryFromMemory(&model, &error, &warning, glb.data(), unsigned(glb.size())))
        << error;
    const tinygltf::Primitive& primitive = model.meshes.at(0).primitives.at(0);
    auto accessor_bytes = [&](int index) {
        const tinygltf::Accessor& a = model.accessors.at(size_t(index));
        const tinygltf::BufferView& view = model.bufferViews.at(size_t(a.bufferView));
        return model.buffers.at(0).data.data() + view.byteOffset + a.byteOffset;
    };
    EXPECT_EQ(std::memcmp(accessor_bytes(primitive.attributes.at("TEXCOORD_0")),
                          surface.texcoords.data(), mesh_vertex_count * sizeof(Vec2)),
              0);
    EXPECT_EQ(std::memcmp(accessor_bytes(primitive.indices), surface.triangles.data(),
                          grid_triangle_count * sizeof(TriangleCorners)),
              0);
    ASSERT_EQ(model.images.size(), 1u);
    EXPECT_EQ(model.images[0].width, 2);
    // The GL's first row (its bottom) is the PNG's first row, where glTF's
    // v = 0 looks: both programs sample the same texel.
    EXPECT_EQ(model.images[0].image[0], 255);
    EXPECT_EQ(model.images[0].image[1], 0);
}

TEST(ExportOptions, AcceptsWhatTheManualPromisesAndRefusesTheRest) {
    struct Row {
        std::vector<std::string> args;
        bool ok;
        const char* detail;  // part of the message, or of the parsed result
    };
    const std::vector<Row> rows = {
        {{"--preset", "11", "-o", "a.GLB"}, true, ""},
        {{"--frame=0", "--output=a.stl"}, true, ""},
        {{"--frame", "18446744073709551615", "-o", "a.obj"}, true, ""},
        {{"--shape", "+1,1,-6,.5,2e0,3", "-o", "x/a.obj"}, true, ""},
        {{"--help", "--bogus"}, true, ""},
        {{"--preset", "0", "-o", "a.glb"}, false, "1 to 11"},
        {{"--preset", "12", "-o", "a.glb"}, false, "1 to 11"},
        {{"--preset", "6x", "-o", "a.glb"}, false, "1 to 11"},
        {{"--frame", "-1", "-o", "a.glb"}, false, "--frame"},
        {{"--frame", "1.5", "-o", "a.glb"}, false, "--frame"},
        {{"--frame", "18446744073709551616", "-o", "a.glb"}, false, "--frame"},
        {{"--shape", "1,1,4,1,1", "-o", "a.glb"}, false, "six numbers"},
        {{"--shape", "1,1,4,1,1,1,1", "-o", "a.glb"}, false, "six numbers"},
        {{"--shape", "1,1,4,1,1,1,1,1,4,1,1,1", "-o", "a.glb"}, true, ""},
        {{"--shape", "1,1,4,1,1,1,1,1,4,1,1", "-o", "a.glb"}, false, "or twelve"},
        {{"--shape", "1,1,4,1,1,1,1,1,4,1,1,nan", "-o", "a.glb"}, false, "or twelve"},
        {{"--shape", "1,1,4,1,1,1,1,1,4,1,1,1,", "-o", "a.glb"}, false, "or twelve"},
        {{"--preset", "1", "--detail", "1024", "-o", "a.glb"}, true, ""},
        {{"--preset", "1", "--detail=8", "-o", "a.stl"}, true, ""},
        {{"--preset", "1", "--detail", "7", "-o", "a.glb"}, false, "8 to 1024"},
        {{"--preset", "1", "--detail", "1025", "-o", "a.glb"}, false, "8 to 1024"},
        {{"--preset", "1", "--detail", "64.0", "-o", "a.glb"}, false, "8 to 1024"},
        {{"--preset", "1", "--detail", "+64", "-o", "a.glb"}, false, "8 to 1024"},
        {{"--preset", "1", "--detail", "99999999999", "-o", "a.glb"}, false, "8 to 1024"},
        {{"--preset", "1", "--detail", "64", "--detail", "64", "-o", "a.glb"},
         false,
         "more than one detail"},
        {{"--shape", "1,1,4,1,1,nan", "-o", "a.glb"}, false, "six numbers"},
        {{"--shape", "1,1,4,1,1,1e39", "-o", "a.glb"}, false, "six numbers"},
        {{"--shape", "1,1,4,,1,1", "-o", "a.glb"}, false, "six numbers"},
        {{"--shape", "1, 1,4,1,1,1", "-o", "a.glb"}, false, "six numbers"},
        {{"--preset", "1", "--frame", "2", "-o", "a.glb"}, false, "only one"},
        {{"--preset", "1"}, false, "where to write"},
        {{"-o", "a.glb"}, false, "which shape"},
        {{"--preset", "1", "-o", "a.ply"}, false, ".glb, .stl, .obj or .3mf"},
        {{"--preset", "1", "-o", "a.3MF"}, true, ""},
        {{"--preset", "1", "-o", "a.glb", "-o", "b.glb"}, false, "more than one"},
        {{"--preset", "1", "-o"}, false, "needs a value"},
        {{"--preset", "1", "-o", "a.glb", "--spin"}, false, "unknown option '--spin'"},
        {{"--preset", "1", "-o", "a.glb", "extra"}, false, "unexpected argument"},
        {{"--preset", "1", "--texture", "v.tga", "-o", "a.stl"}, false, "does not go with .stl"},
        {{"--preset", "1", "--texture", "v.tga", "-o", "a.3mf"}, false, "does not go with .3mf"},
        {{"--preset", "1", "--size", "0.5", "--texture", "v.tga", "-o", "a.obj"}, true, ""},
        {{"--animation", "-o", "m.glb"}, true, ""},
        {{"--animation", "--frames=0:1", "--detail", "8", "--texture", "v.tga", "-o", "m.glb"},
         true,
         ""},
        {{"--animation", "--frames", "18446744073709551614:18446744073709551615", "-o", "m.glb"},
         true,
         ""},
        {{"--animation", "--frames", "5:1000005", "-o", "m.glb"}, true, ""},
        {{"--animation", "--frames", "5:1000006", "-o", "m.glb"}, false, "at most 1000000"},
        {{"--animation", "--frames", "9:9", "-o", "m.glb"}, false, "LAST above FIRST"},
        {{"--animation", "--frames", "9:3", "-o", "m.glb"}, false, "LAST above FIRST"},
        {{"--animation", "--frames", "0:18446744073709551616", "-o", "m.glb"}, false, "--frames"},
        {{"--animation", "--frames", "100", "-o", "m.glb"}, false, "--frames takes FIRST:LAST"},
        {{"--animation", "--frames", ":100", "-o", "m.glb"}, false, "--frames takes"},
        {{"--animation", "--frames", "0:+9", "-o", "m.glb"}, false, "--frames takes"},
        {{"--animation", "--frames", "0:9:", "-o", "m.glb"}, false, "--frames takes"},
        {{"--animation", "--frames", "0:9", "--frames", "0:9", "-o", "m.glb"},
         false,
         "more than one --frames"},
        {{"--frames", "0:9", "--preset", "1", "-o", "a.glb"}, false, "goes with --animation"},
        {{"--animation", "--preset", "1", "-o", "m.glb"}, false, "give no --preset"},
        {{"--animation", "--size", "80", "-o", "m.glb"}, false, "--size does not go"},
        {{"--animation"}, false, "-o FILE.glb"},
        {{"--preset", "1", "--size", "0", "-o", "a.stl"}, false, "positive number"},
        {{"--preset", "1", "--size", "-3", "-o", "a.stl"}, false, "positive number"},
        {{"--preset", "1", "--size=inf", "-o", "a.stl"}, false, "positive number"},
        {{"--preset", "1", "--size=1", "--size=2", "-o", "a.stl"}, false, "more than one size"},
        {{"--preset", "1", "--flat-base=2.5", "--size", "80", "-o", "a.stl"}, true, ""},
        {{"--preset", "1", "--flat-base", "99.5%", "-o", "a.stl"}, true, ""},
        {{"--preset", "1", "--flat-base", "2", "--flat-base", "3", "--size", "9", "-o", "a.stl"},
         false,
         "more than one flat base"},
    };
    for (const Row& row : rows) {
        std::string joined;
        for (const std::string& arg : row.args) joined += arg + " ";
        SCOPED_TRACE(joined);
        ExportOptions options;
        std::string error;
        EXPECT_EQ(parse_export_options(row.args, options, error), row.ok) << error;
        if (!row.ok) {
            EXPECT_NE(error.find(row.detail), std::string::npos) << error;
        }
    }
    ExportOptions options;
    std::string error;
    ASSERT_TRUE(
        parse_export_options({"--shape", "+1,1,-6,.5,2e0,3", "-o", "x/a.OBJ"}, options, error));
    EXPECT_EQ(options.format, MeshFormat::obj);
    EXPECT_TRUE(same_bits(options.shape, ShapeParams{1, 1, -6, 0.5f, 2, 3}));
}

// Every option the exporter takes, parsed, written back and parsed again,
// comes back the same, every value in its own place.
TEST(ExportOptions, GoBackToTheArgumentsThatGiveThem) {
    const std::vector<std::vector<std::string>> lines = {
        {"--preset", "11", "-o", "a b.3mf", "--size", "80.25", "--flat-base", "2.5"},
        {"--frame", "18446744073709551615", "-o", "x.obj", "--texture", "v.tga", "--size", "1e-3"},
        {"--shape", "+1.5,2.25,-6,0.3,3e-05,7", "--flat-base", "99.5%", "-o", "s.stl"},
        {"--preset", "3"},
        {"--shape", "0.1,0.2,0.3,0.4,0.5,0.6"},
        {"--shape", "1,2,3,4,5,6,7,8,9,10,11,12", "--detail", "1024", "-o", "t.stl"},
        {"--shape", "0.1,0.2,0.3,0.4,0.5,0.6,0.1,0.2,0.3,0.4,0.5,0.6", "--detail", "64"},
        {"--animation", "--frames", "18446744073709551614:18446744073709551615", "-o", "m.glb"},
        {},
    };
    for (const auto& line : lines) {
        std::string joined;
        for (const std::string& arg : line) joined += arg + " ";
        SCOPED_TRACE(joined);
        ExportOptions first, second;
        ShapeOptionsSeen seen, seen_again;
        std::string error;
        ASSERT_TRUE(parse_shape_options(line, first, seen, error)) << error;
        const std::vector<std::string> args = shape_option_args(first, seen);
        ASSERT_TRUE(parse_shape_options(args, second, seen_again, error)) << error;
        const auto values = [](const ExportOptions& o, const ShapeOptionsSeen& s) {
            return std::tuple(
                o.source, o.preset, o.frame, std::bit_cast<std::array<uint32_t, 6>>(o.shape),
                std::bit_cast<std::array<uint32_t, 6>>(o.longitude), o.detail, o.output, o.texture,
                o.size, o.flat_base, o.flat_base_percent, s.shape, s.output, s.texture,
                o.first_frame, o.last_frame, o.animation, s.frames);
        };
        EXPECT_EQ(values(first, seen), values(second, seen_again));
        EXPECT_EQ(shape_option_args(second, seen_again), args);
    }
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FileOutput, WritesWholeOrLeavesEverythingAsItWas) {
    const test::WorkFolder folder(false);
    const std::string data = "solid contents";
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    std::string error;

    const fs::path target = folder.path / "shape.stl";
    std::ofstream(target) << "older";
    ASSERT_TRUE(write_file_atomically(target.string(), bytes, data.size(), error)) << error;
    EXPECT_EQ(read_file(target), data);

    fs::create_directory(folder.path / "taken.stl");
    EXPECT_FALSE(
        write_file_atomically((folder.path / "taken.stl").string(), bytes, data.size(), error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    EXPECT_FALSE(write_file_atomically((folder.path / "missing" / "a.stl").string(), bytes,
                                       data.size(), error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;

    // The longest legal name, new and replaced; a private file stays
    // private; a link in the way is replaced, not what it points to.
    const fs::path longest = folder.path / (std::string(251, 'n') + ".stl");
    const fs::path link = folder.path / "link.stl";
    fs::permissions(target, fs::perms(0600));
    fs::create_symlink(target, link);
    for (const fs::path& path : {longest, longest, target, link}) {
        ASSERT_TRUE(write_file_atomically(path.string(), bytes, data.size(), error)) << error;
    }
    EXPECT_EQ(read_file(longest), data);
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0600));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(link)));
    // All or none: a folder in the second file's place stops the first.
    EXPECT_FALSE(write_files_atomically(
        {{(folder.path / "first.obj").string(), {1}}, {(folder.path / "taken.stl").string(), {}}},
        error));

    // Nothing but what was there before and the files written.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.path)) ++entries;
    EXPECT_EQ(entries, 4u);
}

}  // namespace
}  // namespace solidmorph
