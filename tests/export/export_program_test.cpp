// solidmorph-export as its users run it, its files opened by tools nobody
// here wrote: the Khronos glTF validator, admesh, lib3mf, tinyobjloader and
// CGAL's STL reader.
#include <CGAL/IO/STL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiny_gltf.h>
#include <tiny_obj_loader.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "export/export_surface.h"
#include "export/solid_check.h"
#include "export/threemf_file.h"
#include "image/tga_file.h"
#include "morph/morph_scheduler.h"
#include "support/pty_process.h"
#include "support/work_folder.h"

namespace solidmorph {
namespace {

namespace fs = std::filesystem;

struct CommandRun {
    int code = -1;
    std::string out, err;
};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a command line in the folder; its output is kept outside the folder
// so that the folder shows exactly what the command left there.
CommandRun run_in(const fs::path& folder, const std::string& command) {
    const test::WorkFolder logs(false);
    const std::string line = "cd " + quoted(folder.string()) + " && " + command + " >" +
                             quoted((logs.path / "out").string()) + " 2>" +
                             quoted((logs.path / "err").string());
    const int status = std::system(line.c_str());
    CommandRun run;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = read_file(logs.path / "out");
    run.err = read_file(logs.path / "err");
    return run;
}

CommandRun export_to(const fs::path& folder, const std::string& args) {
    return run_in(folder, quoted(SOLIDMORPH_EXPORT) + " " + args);
}

std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Outside checkers may be missing on a developer's machine (scripts/test
// installs them); in CI their absence is a failure.
bool have_checker(const char* path, const char* what) {
    if (path[0] != '\0' && fs::exists(path)) return true;
    if (std::getenv("CI") != nullptr) {
        ADD_FAILURE() << what << " is missing (scripts/test installs it)";
    } else {
        std::printf("skipped: %s is missing (scripts/test installs it)\n", what);
    }
    return false;
}

// The shapes the checks cover: every preset, and frames across the
// opening morph, its rest, the return and later morphs.
std::vector<std::pair<std::string, std::string>> shapes() {
    std::vector<std::pair<std::string, std::string>> list;
    for (int preset = 1; preset <= preset_count; ++preset) {
        list.push_back({"preset" + std::to_string(preset), "--preset " + std::to_string(preset)});
    }
    for (const int frame : {0, 1, 137, 200, 650, 2222, 5000, 9001}) {
        list.push_back({"frame" + std::to_string(frame), "--frame " + std::to_string(frame)});
    }
    list.push_back({"shape", "--shape 1,1,5,0.3,0.3,0.3"});
    return list;
}

TEST(ExportProgram, EveryGlbPassesTheKhronosValidatorWithoutErrorsOrWarnings) {
    if (!have_checker(SOLIDMORPH_NODE, "node") ||
        !have_checker(SOLIDMORPH_GLTF_VALIDATOR_MODULE, "the npm package gltf-validator")) {
        GTEST_SKIP();
    }
    const test::WorkFolder folder(false);
    std::string files;
    // Animations too: the default run, one from a rest over the start of
    // the cycle, and one all rest (a mesh without targets).
    auto checked = shapes();
    checked.insert(checked.end(), {{"animation", "--animation"},
                                   {"cycle_start", "--animation --frames 790:1230 --detail 32"},
                                   {"rest", "--animation --frames 300:350"}});
    for (const auto& [name, args] : checked) {
        const CommandRun run = export_to(folder.path, args + " -o " + name + ".glb");
        ASSERT_EQ(run.code, 0) << args << ": " << run.err;
        files += " " + name + ".glb";
    }
    const CommandRun check = run_in(
        folder.path, quoted(SOLIDMORPH_NODE) + " " + quoted(SOLIDMORPH_GLTF_VALIDATOR) + files);
    EXPECT_EQ(check.code, 0) << check.out << check.err;
    std::istringstream lines(check.out);
    size_t clean = 0;
    for (std::string line; std::getline(lines, line);) {
        clean += line.find(": errors 0 warnings 0 ") != std::string::npos;
    }
    EXPECT_EQ(clean, checked.size()) << check.out;
}

// The numbers after "label :" in admesh's report, up to the next word.
std::vector<double> figures_after(const std::string& report, const std::string& label) {
    const size_t at = report.find(label);
    if (at == std::string::npos) return {};
    const size_t colon = report.find(':', at);
    const size_t end = report.find('\n', at);
    if (colon == std::string::npos || colon > end) return {};
    std::istringstream in(report.substr(colon + 1, end - colon - 1));
    std::vector<double> figures;
    for (double figure = 0; in >> figure;) figures.push_back(figure);
    return figures;
}

TEST(ExportProgram, EveryStlIsASolidAdmeshFindsNothingToFixIn) {
    if (!have_checker(SOLIDMORPH_ADMESH, "admesh")) GTEST_SKIP();
    const test::WorkFolder folder(false);
    for (const auto& [name, args] : shapes()) {
        SCOPED_TRACE(args);
        const CommandRun run = export_to(folder.path, args + " -o " + name + ".stl");
        ASSERT_EQ(run.code, 0) << run.err;
        const CommandRun check =
            run_in(folder.path, quoted(SOLIDMORPH_ADMESH) + " " + name + ".stl");
        ASSERT_EQ(check.code, 0) << check.err;
        for (const char* zero :
             {"Degenerate facets", "Edges fixed", "Facets removed", "Facets added",
              "Facets reversed", "Backwards edges", "Normals fixed"}) {
            EXPECT_EQ(figures_after(check.out, zero), std::vector<double>{0}) << zero;
        }
        EXPECT_EQ(figures_after(check.out, "Total disconnected facets"),
                  (std::vector<double>{0, 0}));
        EXPECT_EQ(figures_after(check.out, "Number of parts"), std::vector<double>{1});
        const std::vector<double> volume = figures_after(check.out, "Volume");
        ASSERT_EQ(volume.size(), 1u) << check.out;
        EXPECT_GT(volume[0], 0.0);
    }
}

std::vector<Vec3> obj_positions(const std::string& text) {
    std::istringstream in(text);
    std::vector<Vec3> positions;
    for (std::string tag; in >> tag;) {
        if (tag == "v") {
            Vec3 p{};
            in >> p.x >> p.y >> p.z;
            positions.push_back(p);
        }
        in.ignore(1 << 20, '\n');
    }
    return positions;
}

// Every facet's three corners, in the file's order.
std::vector<Vec3> stl_corners(const std::string& stl) {
    uint32_t facets = 0;
    if (stl.size() >= 84) std::memcpy(&facets, stl.data() + 80, 4);
    EXPECT_EQ(stl.size(), 84 + 50 * size_t(facets));
    std::vector<Vec3> corners(size_t(facets) * 3);
    for (size_t i = 0; i < corners.size() && stl.size() == 84 + 50 * size_t(facets); ++i) {
        std::memcpy(&corners[i], stl.data() + 84 + 50 * (i / 3) + 12 + 12 * (i % 3), sizeof(Vec3));
    }
    return corners;
}

// The corners' lowest z and the largest extent of their bounding box.
std::pair<float, float> lowest_and_extent(const std::vector<Vec3>& points) {
    Vec3 low = points.at(0), high = points.at(0);
    for (const Vec3& p : points) {
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    return {low.z, std::max({high.x - low.x, high.y - low.y, high.z - low.z})};
}

TEST(ExportProgram, EveryStlPassesTheExactSolidCheckAsWritten) {
    const test::WorkFolder folder(false);
    std::vector<std::pair<std::string, std::string>> list = shapes();
    for (const int frame : {333, 3333, 4100, 6000, 7777, 8399, 8800, 12345, 100000}) {
        list.push_back({"frame" + std::to_string(frame), "--frame " + std::to_string(frame)});
    }
    for (const auto& [name, args] : list) {
        SCOPED_TRACE(args);
        const CommandRun run = export_to(folder.path, args + " -o " + name + ".stl");
        ASSERT_EQ(run.code, 0) << run.err;
        // Corners that are the same point become one vertex; the facets
        // must already face outward, the check turning none of them.
        std::map<std::tuple<float, float, float>, uint32_t> index;
        std::vector<Vec3> vertices;
        std::vector<TriangleCorners> facets;
        const std::vector<Vec3> corners = stl_corners(read_file(folder.path / (name + ".stl")));
        for (size_t i = 0; i < corners.size(); ++i) {
            const Vec3& p = corners[i];
            const auto [at, added] = index.insert({{p.x, p.y, p.z}, uint32_t(vertices.size())});
            if (added) vertices.push_back(p);
            if (i % 3 == 0) facets.emplace_back();
            facets.back()[i % 3] = at->second;
        }
        const std::vector<TriangleCorners> written = facets;
        double volume = 0;
        std::string reason;
        ASSERT_TRUE(orient_and_check_solid(vertices, facets, volume, reason)) << reason;
        EXPECT_EQ(facets, written);
        EXPECT_GT(volume, 0.0);
    }
}

// CGAL's STL reader joins the corners that are the same point, and only
// those (lib3mf's joins near ones too, and drops the facets that collapse).
ThreemfMesh read_stl_with_cgal(const fs::path& path) {
    std::vector<std::array<double, 3>> points;
    std::vector<std::array<uint32_t, 3>> facets;
    EXPECT_TRUE(CGAL::IO::read_STL(path.string(), points, facets)) << path;
    ThreemfMesh mesh;
    mesh.vertices.resize(points.size());
    std::transform(points.begin(), points.end(), mesh.vertices.begin(), [](const auto& p) {
        return Vec3{float(p[0]), float(p[1]), float(p[2])};
    });
    mesh.triangles.assign(facets.begin(), facets.end());
    return mesh;
}

// The volume the triangles enclose and their area.
std::pair<double, double> volume_and_area(const ThreemfMesh& mesh) {
    double volume = 0, area = 0;
    for (const TriangleCorners& c : mesh.triangles) {
        const Vec3 &p = mesh.vertices[c[0]], &q = mesh.vertices[c[1]], &r = mesh.vertices[c[2]];
        const double nx =
            (double(q.y) - p.y) * (double(r.z) - p.z) - (double(q.z) - p.z) * (double(r.y) - p.y);
        const double ny =
            (double(q.z) - p.z) * (double(r.x) - p.x) - (double(q.x) - p.x) * (double(r.z) - p.z);
        const double nz =
            (double(q.x) - p.x) * (double(r.y) - p.y) - (double(q.y) - p.y) * (double(r.x) - p.x);
        volume += (p.x * nx + p.y * ny + p.z * nz) / 6;
        area += std::sqrt(nx * nx + ny * ny + nz * nz) / 2;
    }
    return {volume, area};
}

// Each shape's 3MF (presets at a printing size, the rest as generated), read
// by lib3mf, against its STL, read by CGAL: the same solid and report, and
// the same bytes from the same command.
TEST(ExportProgram, Every3mfHoldsTheStlsSolidInMillimetresAsLib3mfReadsThem) {
    const test::WorkFolder folder(false);
    for (const auto& [name, args] : shapes()) {
        const std::string line = args + (name.rfind("preset", 0) == 0 ? " --size 80" : "");
        SCOPED_TRACE(line);
        const std::string report = export_to(folder.path, line + " -o s.stl").out.substr(11);
        const CommandRun threemf = export_to(folder.path, line + " -o t.3mf");
        ASSERT_EQ(threemf.code, 0) << threemf.err;
        EXPECT_EQ(threemf.out,
                  "wrote t.3mf" + (line != args ? report
                                                : report.substr(0, report.size() - 1) +
                                                      " (units as generated, written as mm)\n"));
        const std::string bytes = read_file(folder.path / "t.3mf");
        ThreemfMesh from_3mf;
        ASSERT_TRUE(read_threemf(Bytes(bytes.begin(), bytes.end()), from_3mf));
        EXPECT_TRUE(from_3mf.millimetres);
        const ThreemfMesh from_stl = read_stl_with_cgal(folder.path / "s.stl");
        EXPECT_EQ(from_3mf.triangles.size(), from_stl.triangles.size());
        EXPECT_EQ(from_3mf.vertices.size(), from_stl.vertices.size());
        // lib3mf keeps six decimals of a coordinate: each vertex moves by
        // less than 1e-6 * sqrt(3), the volume by less than that times the area.
        const auto [volume, area] = volume_and_area(from_stl);
        EXPECT_GT(volume, 0.0);
        EXPECT_NEAR(volume_and_area(from_3mf).first, volume, 2e-6 * area);
        ASSERT_EQ(export_to(folder.path, line + " -o t.3mf").code, 0);
        EXPECT_EQ(read_file(folder.path / "t.3mf"), bytes) << "a second run wrote other bytes";
    }
}

// The figure after `label` in a report line.
double reported(const std::string& report, const std::string& label) {
    const size_t at = report.find(label);
    return at == std::string::npos ? -1.0 : std::stod(report.substr(at + label.size()));
}

TEST(ExportProgram, FlatBasesStandOnTheAreaTheReportGivesOrAreRefusedForTooNarrowABase) {
    const test::WorkFolder folder(false);
    // Cuts exactly through a ring of the sphere's corners and a hair off it.
    ASSERT_EQ(export_to(folder.path, "--preset 1 --size 80 -o ring.stl").code, 0);
    std::set<float> heights;
    for (const Vec3& p : stl_corners(read_file(folder.path / "ring.stl"))) heights.insert(p.z);
    auto exactly = [](double height) {
        char text[32];
        return std::string(text, std::to_chars(text, text + sizeof text, height).ptr);
    };
    const float ring = *std::next(heights.begin(), 5);
    // A third column: also written as a 3MF, where six decimals move the
    // cut's corners (preset 7's base has two 0.8 um apart).
    std::vector<std::tuple<std::string, std::string, bool>> rows = {
        {"--preset 1 --flat-base " + exactly(ring), "", false},
        {"--preset 1 --flat-base " + exactly(double(ring) + 1e-9), "", false},
        {"--preset 7 --flat-base 2", "", true}};
    // Preset 6 ends below in a point and preset 11 in a narrow keel.
    for (int preset = 1; preset <= preset_count; ++preset) {
        for (const std::string base : {"2", "20%"}) {
            const bool narrow = preset == 6 || (preset == 11 && base == "2");
            rows.push_back({"--preset " + std::to_string(preset) + " --flat-base " + base,
                            narrow ? "across, less than the 5 mm" : "", false});
        }
    }
    for (const auto& [args, refusal, threemf] : rows) {
        SCOPED_TRACE(args);
        const CommandRun run = export_to(folder.path, args + " --size 80 -o cut.stl");
        if (!refusal.empty()) {
            EXPECT_EQ(run.code, 1);
            EXPECT_NE(run.err.find(refusal), std::string::npos) << run.err;
            EXPECT_FALSE(fs::exists(folder.path / "cut.stl"));
            continue;
        }
        ASSERT_EQ(run.code, 0) << run.err;
        ThreemfMesh cut = read_stl_with_cgal(folder.path / "cut.stl");
        const std::vector<Vec3>& vertices = cut.vertices;
        std::vector<TriangleCorners>& facets = cut.triangles;
        double volume = 0, base_area = 0;
        std::string reason;
        ASSERT_TRUE(orient_and_check_solid(vertices, facets, volume, reason)) << reason;
        EXPECT_EQ(lowest_and_extent(vertices).first, 0.0f);
        for (const TriangleCorners& t : facets) {
            const Vec3 &a = vertices[t[0]], &b = vertices[t[1]], &c = vertices[t[2]];
            if (a.z != 0.0f || b.z != 0.0f || c.z != 0.0f) continue;
            base_area += std::abs((double(b.x) - a.x) * (double(c.y) - a.y) -
                                  (double(b.y) - a.y) * (double(c.x) - a.x)) /
                         2;
        }
        EXPECT_NEAR(base_area, reported(run.out, ", base "), 0.05 + 1e-9) << run.out;
        EXPECT_NEAR(volume / 1000, reported(run.out, ", volume "), 0.005 + 1e-9) << run.out;
        fs::remove(folder.path / "cut.stl");
        if (!threemf) continue;
        const CommandRun in_3mf = export_to(folder.path, args + " --size 80 -o cut.3mf");
        ASSERT_EQ(in_3mf.code, 0) << in_3mf.err;
        EXPECT_EQ(in_3mf.out.substr(13), run.out.substr(13));
        const std::string bytes = read_file(folder.path / "cut.3mf");
        ThreemfMesh from_3mf;
        ASSERT_TRUE(read_threemf(Bytes(bytes.begin(), bytes.end()), from_3mf));
        EXPECT_EQ(from_3mf.triangles.size(), facets.size());
        ASSERT_TRUE(orient_and_check_solid(from_3mf.vertices, from_3mf.triangles, volume, reason))
            << reason;
    }
    // Half a sphere (79.8 mm pole to pole) stands on its flat face without
    // any overhang.
    const CommandRun half = export_to(folder.path, "--preset 1 --size 80 --flat-base 50% -o h.stl");
    EXPECT_NE(half.out.find("80.0 x 80.0 x 39.9 mm, steepest overhang 0.0 degrees"),
              std::string::npos)
        << half.out;
}

TEST(ExportProgram, FilesCarryTheGeneratorsFloatsBitForBit) {
    // A frame in the middle of the return from preset 6, stepped here the
    // way the program steps it.
    constexpr int frame = 523;
    fill_shape_table();
    cycle_index = 0;
    start_morph();
    for (int i = 0; i < frame; ++i) advance_morph();
    const ExportSurface surface = export_surface(current_shape);
    const size_t bytes = surface.positions.size() * sizeof(Vec3);

    const test::WorkFolder folder(false);
    for (const char* file : {"f.obj", "f.glb", "f.stl"}) {
        const CommandRun run =
            export_to(folder.path, "--frame " + std::to_string(frame) + " -o " + file);
        ASSERT_EQ(run.code, 0) << run.err;
    }
    const std::vector<Vec3> obj = obj_positions(read_file(folder.path / "f.obj"));
    ASSERT_EQ(obj.size(), surface.positions.size());
    EXPECT_EQ(std::memcmp(obj.data(), surface.positions.data(), bytes), 0);
    // tinyobjloader reads the same floats and every triangle of the list,
    // each corner naming its vertex's own normal and texture coordinate.
    tinyobj::ObjReader obj_reader;
    ASSERT_TRUE(obj_reader.ParseFromFile((folder.path / "f.obj").string())) << obj_reader.Error();
    ASSERT_EQ(obj_reader.GetAttrib().vertices.size(), 3 * surface.positions.size());
    EXPECT_EQ(std::memcmp(obj_reader.GetAttrib().vertices.data(), surface.positions.data(), bytes),
              0);
    ASSERT_EQ(obj_reader.GetShapes().size(), 1u);
    const std::vector<tinyobj::index_t>& corners = obj_reader.GetShapes()[0].mesh.indices;
    ASSERT_EQ(corners.size(), 3 * surface.triangles.size());
    for (size_t i = 0; i < corners.size(); ++i) {
        const int vertex = int(surface.triangles[i / 3][i % 3]);
        EXPECT_EQ(
            std::tie(corners[i].vertex_index, corners[i].normal_index, corners[i].texcoord_index),
            std::tie(vertex, vertex, vertex));
    }

    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string error, warning;
    ASSERT_TRUE(loader.LoadBinaryFromFile(&model, &error, &warning, folder.path / "f.glb"))
        << error;
    const tinygltf::Accessor& accessor =
        model.accessors.at(size_t(model.meshes.at(0).primitives.at(0).attributes.at("POSITION")));
    const tinygltf::BufferView& view = model.bufferViews.at(size_t(accessor.bufferView));
    ASSERT_EQ(accessor.count, surface.positions.size());
    EXPECT_EQ(std::memcmp(model.buffers.at(0).data.data() + view.byteOffset + accessor.byteOffset,
                          surface.positions.data(), bytes),
              0);

    // Every STL corner is a generator vertex, or one of the two added on
    // the axis at a pole row's height.
    auto key = [](const Vec3& p) { return std::make_tuple(p.x, p.y, p.z); };
    std::set<std::tuple<float, float, float>> allowed;
    for (const Vec3& p : surface.positions) allowed.insert(key(p));
    allowed.insert({0.0f, 0.0f, surface.positions.front().z});
    allowed.insert({0.0f, 0.0f, surface.positions.back().z});
    std::set<std::tuple<float, float, float>> used;
    for (const Vec3& p : stl_corners(read_file(folder.path / "f.stl"))) {
        ASSERT_EQ(allowed.count(key(p)), 1u);
        used.insert(key(p));
    }
    EXPECT_EQ(used.size(), 63u * 64u + 2u);
}

// One set twice, or --detail 64, writes what the program's one set writes,
// byte for byte; two sets of their own and a finer grid give a grid of that
// detail, every format, and a solid the exact check takes.
TEST(ExportProgram, TwoSetsAndAnyDetailWriteTheirGridAndOneSetTwiceIsTheProgramsOwn) {
    const std::string set = "1,1,5,0.6,0.4,0.5", other = "1,1,3,4.5,10,10";
    const test::WorkFolder folder(false);
    for (const char* format : {"glb", "obj", "stl", "3mf"}) {
        SCOPED_TRACE(format);
        const std::string size = std::string(format) == "3mf" ? " --size 80" : "";
        const std::string one = "one." + std::string(format), two = "two." + std::string(format),
                          fine = "fine." + std::string(format);
        ASSERT_EQ(export_to(folder.path, "--shape " + set + size + " -o " + one).code, 0);
        ASSERT_EQ(export_to(folder.path,
                            "--shape " + set + "," + set + " --detail 64" + size + " -o " + two)
                      .code,
                  0);
        EXPECT_EQ(read_file(folder.path / one), read_file(folder.path / two));
        const CommandRun run = export_to(
            folder.path, "--shape " + set + "," + other + " --detail 96" + size + " -o " + fine);
        EXPECT_EQ(run.code, 0) << run.err;
    }
    std::set<std::tuple<float, float, float>> corners;
    for (const Vec3& p : stl_corners(read_file(folder.path / "fine.stl"))) {
        corners.insert({p.x, p.y, p.z});
    }
    EXPECT_EQ(corners.size(), 95u * 96u + 2u);
    tinygltf::TinyGLTF loader;
    tinygltf::Model model;
    std::string error, warning;
    ASSERT_TRUE(loader.LoadBinaryFromFile(&model, &error, &warning, folder.path / "fine.glb"));
    const int position = model.meshes.at(0).primitives.at(0).attributes.at("POSITION");
    EXPECT_EQ(model.accessors.at(size_t(position)).count, 96u * 97u);
}

TEST(ExportProgram, BadInputGetsAMessageAFailingExitAndLeavesNoFile) {
    struct Row {
        std::string args;
        int code;
        const char* message;
        const char* program = SOLIDMORPH_EXPORT;  // or the explorer, same parser
    };
    std::vector<Row> rows = {
        {"--preset 6 -o out.glb --twist", 2, "unknown option '--twist'"},
        {"--preset 12 -o out.glb", 2, "1 to 11"},
        {"--preset 0 -o out.stl", 2, "1 to 11"},
        {"--frame -3 -o out.glb", 2, "--frame"},
        {"--frame soon -o out.glb", 2, "--frame"},
        {"--shape 1,1,4,1,1 -o out.glb", 2, "six numbers"},
        {"--shape 1,1,4,1,1,x -o out.glb", 2, "six numbers"},
        {"--shape 1,1,4,1,1,1,1,1,4,1,1,inf -o out.stl", 2, "or twelve"},
        {"--preset 6 --detail 4 -o out.stl", 2, "--detail takes a whole number of steps from 8"},
        {"--kept star -o out.glb", 2, "--kept: no shapes are kept yet"},
        {"--kept '' -o out.glb", 2, "--kept takes the name of a kept shape"},
        {"--kept star --preset 2 -o out.glb", 2, "only one of"},
        {"--kept star", 2, "--kept: no shapes are kept yet", SOLIDMORPH_EXPLORE},
        {"--preset 6 --detail 2048", 2, "--detail takes", SOLIDMORPH_EXPLORE},
        {"--shape 1,1,4,1,1,1,1 -o out.glb", 2, "or twelve", SOLIDMORPH_EXPLORE},
        {"--preset 6 -o out.ply", 2, ".glb, .stl, .obj or .3mf"},
        {"--preset 6", 2, "where to write"},
        {"", 2, "which shape"},
        {"--preset 6 -o folder.glb", 1, "folder"},
        {"--preset 6 -o /proc/solidmorph.stl", 1, "cannot write"},
        {"--preset 6 -o missing/out.obj", 1, "No such file"},
        {"--preset 6 -o missing/out.3mf", 1, "No such file"},
        {"--shape 2,2,4,1e-30,1,1 -o out.obj", 1, "infinite"},
        {"--shape 1,1,4,0,1,1 -o out.stl", 1, "axis"},
        {"--preset 6 --texture nowhere.tga -o out.glb", 1, "nowhere.tga"},
        {"--preset 6 --texture keep.stl -o out.glb", 1, "cannot decode the texture keep.stl"},
        {"--preset 6 --texture keep.stl -o out.obj", 1, "cannot decode the texture keep.stl"},
        {"--preset 6 --texture nowhere.tga -o out.obj", 1, "cannot find the texture nowhere.tga"},
        {"--preset 6 --texture folder.glb -o out.glb", 1, "folder.glb is not a regular file"},
        {"--preset 6 --texture fifo.tga -o out.obj", 1, "fifo.tga is not a regular file"},
        {"--preset 6 --texture /dev/zero -o out.glb", 1, "/dev/zero is not a regular file"},
        {"--preset 6 --texture keep.stl -o out.stl", 2, "does not go with .stl"},
        {"--preset 6 --size 0 -o out.stl", 2, "positive number"},
        {"--animation --frames 5 -o out.glb", 2, "--frames takes FIRST:LAST"},
        {"--animation --frames 8:2 -o out.glb", 2, "LAST above FIRST"},
        {"--animation --frames 0:18446744073709551616 -o out.glb", 2, "--frames takes"},
        {"--animation --frames 0:2000000 -o out.glb", 2, "at most 1000000 frames"},
        {"--animation -o out.stl", 2, "a .glb only, not 'out.stl'"},
        {"--animation --frames 0:10 -o out.obj", 2, "a .glb only"},
        {"--animation -o out.3mf", 2, "a .glb only"},
        {"--frames 0:10 --preset 6 -o out.glb", 2, "--frames goes with --animation"},
        {"--animation --frame 3 -o out.glb", 2, "give no --preset, --frame"},
        {"--animation", 2, "--animation is solidmorph-export's", SOLIDMORPH_EXPLORE},
        {"--record c.mp4 --animation", 2, "--animation is solidmorph-export's", SOLIDMORPH_EXPLORE},
        {"--frames 0:10", 2, "--frames goes with --record", SOLIDMORPH_EXPLORE},
        {"--preset 6 --flat-base 5 -o out.stl", 2, "--flat-base in millimetres needs --size"},
        {"--preset 6 --size 80 --flat-base 20% -o out.obj", 2, "goes with .stl"},
        {"--preset 6 --size 80 --flat-base 80 -o out.stl", 1, "at or above the solid's own height"},
        {"--preset 6 --size 80 --flat-base 2 -o out.stl", 1, "only 2.85 across"},
        {"--preset 11 --size 80 --flat-base 40 -o out.stl", 1, "more than one piece"},
        // Two of the cut's corners fall on one point at six decimals.
        {"--preset 7 --size 10 --flat-base 20% -o out.3mf", 1,
         "outline crosses itself at the six decimals a 3MF keeps"},
        {"--flat-base 5", 2, "--flat-base in millimetres needs --size", SOLIDMORPH_EXPLORE},
        {"--shape 1,1,6,1,1,-2 -o out.stl", 1, "the surface crosses itself"},
        // Sound as floats (its STL is written), but a micrometre across.
        {"--shape 1e-4,1e-4,4,1,1,1 -o out.3mf", 1, "at the six decimals a 3MF keeps"},
        {"--preset 6 --texture keep.stl -o out.3mf", 2, "does not go with .3mf"},
        // All three files or none: a folder in the material's place.
        {"--preset 6 --texture vein.tga -o folder.obj", 1, "folder.mtl: it is a folder"},
        // A failed write replaces nothing.
        {"--shape 1,1,4,0,1,1 -o keep.stl", 1, "nothing written"},
        // A full disk, as the file size limit makes it (512-byte blocks).
        {"--preset 6 -o out.glb", 1, "File too large"},
        {"--preset 6 -o out.3mf", 1, "File too large"},
        // The explorer reads the same options through the same parser.
        {"--preset 12", 2, "solidmorph-explore: --preset takes a whole number from 1 to 11",
         SOLIDMORPH_EXPLORE},
        {"--frame -3 -o out.glb", 2, "--frame takes", SOLIDMORPH_EXPLORE},
        {"--shape 1,1,4,1,1,inf", 2, "six numbers", SOLIDMORPH_EXPLORE},
        {"-o out.ply", 2, ".glb, .stl, .obj or .3mf", SOLIDMORPH_EXPLORE},
        {"--size -1", 2, "positive number", SOLIDMORPH_EXPLORE},
        {"--preset 2 --frame 3", 2, "only one of", SOLIDMORPH_EXPLORE},
        {"--texture keep.stl -o out.stl", 2, "does not go with .stl", SOLIDMORPH_EXPLORE},
        {"--twist", 2, "Try 'solidmorph-explore --help'", SOLIDMORPH_EXPLORE},
        {"window", 2, "unexpected argument 'window'", SOLIDMORPH_EXPLORE},
        {"--plate 6 --size 40 -o out.3mf", 2, "unknown option '--plate'", SOLIDMORPH_EXPLORE},
        {"--plate 1 --size 40 -o out.3mf", 2, "--plate takes a whole number of stages from 2"},
        {"--plate 25 --size 40 -o out.3mf", 2, "from 2 to 24, not '25'"},
        {"--plate=-3 --size 40 -o out.3mf", 2, "from 2 to 24, not '-3'"},
        {"--plate 6 --plate 6 --size 40 -o out.3mf", 2, "more than one --plate"},
        {"--plate 6 --size 40 -o out.stl", 2, "--plate writes a .3mf"},
        {"--plate 6 --size 40", 2, "--plate writes a .3mf"},
        {"--plate 6 -o out.3mf", 2, "--plate needs --size"},
        {"--plate 6 --size 40 --frame 3 -o out.3mf", 2, "--preset N or --frames"},
        {"--plate 6 --size 40 --preset 1 -o out.3mf", 2, "a preset from 2 to 11"},
        {"--plate 6 --size 40 --frames 9:3 -o out.3mf", 2, "--frames takes FIRST:LAST"},
        {"--plate 6 --size 40 --frames 9:9 -o out.3mf", 2, "--frames takes FIRST:LAST"},
        {"--plate 6 --size 40 --frames 1:x -o out.3mf", 2, "--frames takes FIRST:LAST"},
        {"--plate 6 --size 40 --frames=:5 -o out.3mf", 2, "--frames takes FIRST:LAST"},
        {"--plate 6 --size 40 --frames 0:18446744073709551616 -o out.3mf", 2,
         "--frames takes FIRST:LAST"},
        {"--plate 6 --size 40 --frames 3:8 -o out.3mf", 2, "fewer frames than the 6 stages"},
        {"--plate 6 --size 40 --frames 3:100 --preset 4 -o out.3mf", 2, "--preset N or --frames"},
        {"--frames 0:100 --size 40 -o out.3mf", 2, "--frames goes with --animation or --plate"},
        {"--plate 6 --animation --size 40 -o out.3mf", 2, "do not go together"},
        {"--plate 6 --size 40 --frames", 2, "option '--frames' needs a value"},
        {"--preset 6 -o --plate", 2, "cannot tell the format of '--plate'"},
        // Its clips: a name it can tell the format of, frames FIRST:LAST.
        {"--record clip.avi", 2, "the clip's name must end in .gif or .mp4", SOLIDMORPH_EXPLORE},
        {"--preset 2 --record out.glb", 2, "must end in .gif or .mp4", SOLIDMORPH_EXPLORE},
        {"--record", 2, "option '--record' needs a value", SOLIDMORPH_EXPLORE},
        {"--record a.gif --record=b.mp4", 2, "more than one clip", SOLIDMORPH_EXPLORE},
        {"--record c.mp4 --frames 400", 2, "--frames takes FIRST:LAST", SOLIDMORPH_EXPLORE},
        {"--record c.mp4 --frames=9:3", 2, "not '9:3'", SOLIDMORPH_EXPLORE},
        {"--record c.mp4 --frames 5:5", 2, "with LAST above FIRST", SOLIDMORPH_EXPLORE},
        {"--record c.mp4 --frames -1:5", 2, "--frames takes", SOLIDMORPH_EXPLORE},
        {"--record c.gif --frames 0:18446744073709551616", 2, "--frames takes", SOLIDMORPH_EXPLORE},
        {"--record c.mp4 --frames 0:1e3", 2, "--frames takes", SOLIDMORPH_EXPLORE},
        {"--record c.mp4 --frame 7 --frames 0:400", 2, "only one of --frame and --frames",
         SOLIDMORPH_EXPLORE},
        {"--record c.mp4 --frame 18446744073709551615", 2, "leaves no frame", SOLIDMORPH_EXPLORE},
        // The value of another option is never taken for one of these.
        {"-o --record", 2, "cannot tell the format of '--record'", SOLIDMORPH_EXPLORE},
    };
    for (const char* base : {"-2", "0", "abc", "5%%", "%", "-3%", "100%", "1e999", "nan"}) {
        rows.push_back({"--preset 6 --size 80 --flat-base " + std::string(base) + " -o out.stl", 2,
                        "--flat-base takes a height above 0"});
    }
    // Kept shapes come from a folder of the test's own, with none kept.
    const test::WorkFolder data(false);
    const std::optional<std::string> data_home =
        getenv("XDG_DATA_HOME") ? std::optional<std::string>(getenv("XDG_DATA_HOME"))
                                : std::nullopt;
    setenv("XDG_DATA_HOME", data.path.c_str(), 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const test::WorkFolder folder(false);
        fs::create_directory(folder.path / "folder.glb");
        fs::create_directory(folder.path / "folder.mtl");
        fs::copy_file(fs::path(SOLIDMORPH_ASSETS) / "vein.tga", folder.path / "vein.tga");
        ASSERT_EQ(mkfifo((folder.path / "fifo.tga").c_str(), 0600), 0);
        std::ofstream(folder.path / "keep.stl") << "keep";
        const std::set<std::string> before = entries(folder.path);
        const bool limited = std::string(row.message) == "File too large";
        const CommandRun run =
            limited ? run_in(folder.path,
                             "ulimit -f 64 && exec " + quoted(SOLIDMORPH_EXPORT) + " " + row.args)
                    : run_in(folder.path, quoted(row.program) + " " + row.args);
        EXPECT_EQ(run.code, row.code) << run.err;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(entries(folder.path), before);
        EXPECT_EQ(read_file(folder.path / "keep.stl"), "keep");
    }
    data_home ? setenv("XDG_DATA_HOME", data_home->c_str(), 1) : unsetenv("XDG_DATA_HOME");
}

// The plate as lib3mf reads it: one object and build item a stage, each a
// sound solid lying on the plate, the stages apart, in frame order; a stage
// the solid that frame's own 3MF holds.
TEST(ExportProgram, APlateLaysEachStageOfTheMorphApartAsASolidOfItsOwn) {
    const test::WorkFolder folder(false);
    struct Row {
        std::string args;
        size_t stages;
        std::string last_stage;  // the --frame of the last stage
        bool fits;
    };
    const std::vector<Row> rows = {
        // Six to a row only 2 mm apart.
        {"--plate 24 --size 40", 24, "200", true},
        {"--plate 4 --preset 11 --size 60 --flat-base 30%", 4, "8200", true},
        {"--plate 3 --frames 0:100 --size 40", 3, "99", true},
        {"--plate 2 --size 220", 2, "200", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const CommandRun run = export_to(folder.path, row.args + " -o plate.3mf");
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.out.find("larger than a 250 x 210 mm plate") == std::string::npos, row.fits)
            << run.out;
        const std::string bytes = read_file(folder.path / "plate.3mf");
        std::vector<ThreemfItem> items;
        ASSERT_TRUE(read_threemf_items(Bytes(bytes.begin(), bytes.end()), items));
        ASSERT_EQ(items.size(), row.stages);
        std::vector<std::pair<Vec3, Vec3>> boxes;
        std::set<std::string> names;
        for (ThreemfItem& item : items) {
            SCOPED_TRACE(item.name);
            names.insert(item.name);
            EXPECT_TRUE(item.mesh.millimetres);
            EXPECT_FALSE(item.turned);
            const std::vector<TriangleCorners> written = item.mesh.triangles;
            double volume = 0;
            std::string reason;
            ASSERT_TRUE(
                orient_and_check_solid(item.mesh.vertices, item.mesh.triangles, volume, reason))
                << reason;
            EXPECT_EQ(item.mesh.triangles, written);
            Vec3 low = item.mesh.vertices.at(0), high = low;
            for (const Vec3& p : item.mesh.vertices) {
                low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
                high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
            }
            EXPECT_EQ(low.z, 0.0f);
            EXPECT_EQ(item.offset.z, 0.0f);
            boxes.push_back({{low.x + item.offset.x, low.y + item.offset.y, 0},
                             {high.x + item.offset.x, high.y + item.offset.y, 0}});
            if (row.fits) {
                EXPECT_GE(boxes.back().first.x, 0.0f);
                EXPECT_GE(boxes.back().first.y, 0.0f);
                EXPECT_LE(boxes.back().second.x, 250.0f);
                EXPECT_LE(boxes.back().second.y, 210.0f);
            }
        }
        EXPECT_EQ(names.size(), row.stages) << "every stage named apart";
        for (size_t i = 0; i < boxes.size(); ++i) {
            for (size_t j = i + 1; j < boxes.size(); ++j) {
                const bool apart =
                    boxes[i].second.x < boxes[j].first.x || boxes[j].second.x < boxes[i].first.x ||
                    boxes[i].second.y < boxes[j].first.y || boxes[j].second.y < boxes[i].first.y;
                EXPECT_TRUE(apart) << i << " and " << j;
            }
        }
        EXPECT_NE(items.back().name.find("(frame " + row.last_stage + ")"), std::string::npos)
            << items.back().name;
        const size_t size_at = row.args.find("--size");
        const CommandRun alone = export_to(folder.path, "--frame " + row.last_stage + " " +
                                                            row.args.substr(size_at) + " -o f.3mf");
        ASSERT_EQ(alone.code, 0) << alone.err;
        const std::string one = read_file(folder.path / "f.3mf");
        ThreemfMesh single;
        ASSERT_TRUE(read_threemf(Bytes(one.begin(), one.end()), single));
        ASSERT_EQ(single.vertices.size(), items.back().mesh.vertices.size());
        EXPECT_EQ(std::memcmp(single.vertices.data(), items.back().mesh.vertices.data(),
                              single.vertices.size() * sizeof(Vec3)),
                  0);
    }
}

TEST(ExportProgram, SizesTexturesAndReportsAsTheManualSays) {
    const test::WorkFolder folder(false);
    // Sized: the largest extent as asked, an STL laid on the plate.
    ASSERT_EQ(export_to(folder.path, "--preset 4 --size 80 -o p.stl").code, 0);
    const auto [lowest, extent] = lowest_and_extent(stl_corners(read_file(folder.path / "p.stl")));
    EXPECT_EQ(lowest, 0.0f);
    EXPECT_NEAR(extent, 80.0f, 1e-4f);
    ASSERT_EQ(export_to(folder.path, "--preset 4 --size 50 -o p.obj").code, 0);
    EXPECT_NEAR(lowest_and_extent(obj_positions(read_file(folder.path / "p.obj"))).second, 50.0f,
                1e-4f);

    // An OBJ with its texture: a material library and an upright PNG, its
    // top row the GL's last.
    const std::string vein = std::string(SOLIDMORPH_ASSETS) + "/vein.tga";
    ASSERT_EQ(export_to(folder.path, "--preset 6 --texture " + quoted(vein) + " -o m.obj").code, 0);
    const std::string obj = read_file(folder.path / "m.obj");
    EXPECT_NE(obj.find("\nmtllib m.mtl\n"), std::string::npos);
    EXPECT_LT(obj.find("\nusemtl marble\n"), obj.find("\nf "));
    EXPECT_NE(read_file(folder.path / "m.mtl").find("newmtl marble\n"), std::string::npos);
    EXPECT_NE(read_file(folder.path / "m.mtl").find("\nmap_Kd m.png\n"), std::string::npos);
    const std::string png = read_file(folder.path / "m.png");
    tinygltf::Image image;
    std::string error, warning;
    ASSERT_TRUE(tinygltf::LoadImageData(&image, 0, &error, &warning, 0, 0,
                                        reinterpret_cast<const unsigned char*>(png.data()),
                                        int(png.size()), nullptr))
        << error;
    DecodedImage texture;
    ASSERT_TRUE(read_tga_file(vein.c_str(), 16384, texture));
    ASSERT_EQ(image.width, texture.width);
    const size_t last_row = size_t(texture.height - 1) * size_t(texture.width);
    for (const size_t x : {size_t(0), size_t(texture.width / 2)}) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(image.image[x * size_t(image.component) + size_t(c)],
                      texture.pixels[(last_row + x) * size_t(texture.components) + size_t(c)]);
        }
    }

    // A report line that cannot be written fails the run; the file stays.
    for (const char* stdout_to : {">/dev/full", ">&-"}) {
        SCOPED_TRACE(stdout_to);
        const CommandRun run = run_in(folder.path, "{ " + quoted(SOLIDMORPH_EXPORT) +
                                                       " --preset 2 -o r.stl " + stdout_to + "; }");
        EXPECT_EQ(run.code, 1);
        EXPECT_NE(run.err.find("wrote r.stl, but cannot write the report"), std::string::npos)
            << run.err;
        EXPECT_EQ(stl_corners(read_file(folder.path / "r.stl")).size(), 3u * 8064u);
        fs::remove(folder.path / "r.stl");
    }
}

TEST(ExportProgram, AStopSignalWhileWritingLeavesOnlyTheOldFile) {
    if (!have_checker(SOLIDMORPH_STRACE, "strace")) GTEST_SKIP();
    // The file's fsync held up for two seconds; with /proc seemingly
    // missing, the exporter gives its temporary a name.
    for (const std::string named : {"", "-e inject=access,faccessat,faccessat2:error=ENOENT "}) {
        for (const int stop : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
            SCOPED_TRACE(named + std::to_string(stop));
            const test::WorkFolder folder(false);
            std::ofstream(folder.path / "keep.stl") << "keep";
            const std::string line =
                "cd " + quoted(folder.path.string()) + " && exec " + quoted(SOLIDMORPH_STRACE) +
                " -f -qq -o /dev/null -e trace=fsync,access,faccessat,faccessat2 " + named +
                "-e inject=fsync:delay_enter=2s sh -c 'echo $$ >pid; exec \"$0\" --preset 6 -o "
                "keep.stl' " +
                quoted(SOLIDMORPH_EXPORT) + " >/dev/null";
            const pid_t tracer = fork();
            ASSERT_GE(tracer, 0);
            if (tracer == 0) {
                execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            pid_t exporter = 0;
            const bool in_fsync = eventually(
                [&] {
                    std::ifstream(folder.path / "pid") >> exporter;
                    // fsync is system call 74 on x86-64, 82 on arm64.
                    const std::string call =
                        exporter > 0 ? read_file("/proc/" + std::to_string(exporter) + "/syscall")
                                     : "";
                    return call.rfind("74 ", 0) == 0 || call.rfind("82 ", 0) == 0;
                },
                10000, 10);
            if (in_fsync) kill(exporter, stop);
            int status = 0;
            waitpid(tracer, &status, 0);
            ASSERT_TRUE(in_fsync);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + stop) << status;
            EXPECT_EQ(entries(folder.path), (std::set<std::string>{"keep.stl", "pid"}));
            EXPECT_EQ(read_file(folder.path / "keep.stl"), "keep");
        }
    }
}

TEST(ExportProgram, HelpAndVersionAsPeopleExpect) {
    const test::WorkFolder folder(false);
    const CommandRun help = export_to(folder.path, "--help");
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Usage: solidmorph-export"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
    const CommandRun version = export_to(folder.path, "--version");
    EXPECT_EQ(version.code, 0);
    const std::string prefix = "solidmorph-export ";
    EXPECT_EQ(version.out.substr(0, prefix.size()), prefix);
    EXPECT_EQ(version.out.find_first_not_of("0123456789.", prefix.size()), version.out.size() - 1)
        << version.out;
    EXPECT_EQ(version.out.back(), '\n');
    EXPECT_TRUE(entries(folder.path).empty());
}

}  // namespace
}  // namespace solidmorph
