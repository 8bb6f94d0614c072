// solidmorph-export as its users run it, its files opened by tools nobody
// here wrote: the Khronos glTF validator and admesh.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <tiny_gltf.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "app/morph_scheduler.h"
#include "export/export_surface.h"
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
    for (int preset = 1; preset <= 11; ++preset) {
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
    for (const auto& [name, args] : shapes()) {
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
    EXPECT_EQ(clean, shapes().size()) << check.out;
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
    const std::string stl = read_file(folder.path / "f.stl");
    ASSERT_GE(stl.size(), 84u);
    uint32_t facets = 0;
    std::memcpy(&facets, stl.data() + 80, 4);
    ASSERT_EQ(stl.size(), 84 + 50 * size_t(facets));
    std::set<std::tuple<float, float, float>> used;
    for (size_t f = 0; f < facets; ++f) {
        for (int corner = 0; corner < 3; ++corner) {
            Vec3 p;
            std::memcpy(&p, stl.data() + 84 + 50 * f + 12 + 12 * corner, sizeof p);
            ASSERT_EQ(allowed.count(key(p)), 1u) << "facet " << f;
            used.insert(key(p));
        }
    }
    EXPECT_EQ(used.size(), 63u * 64u + 2u);
}

TEST(ExportProgram, BadInputGetsAMessageAFailingExitAndLeavesNoFile) {
    struct Row {
        std::string args;
        int code;
        const char* message;
    };
    const std::vector<Row> rows = {
        {"--preset 6 -o out.glb --twist", 2, "unknown option '--twist'"},
        {"--preset 12 -o out.glb", 2, "1 to 11"},
        {"--preset 0 -o out.stl", 2, "1 to 11"},
        {"--frame -3 -o out.glb", 2, "--frame"},
        {"--frame soon -o out.glb", 2, "--frame"},
        {"--shape 1,1,4,1,1 -o out.glb", 2, "six numbers"},
        {"--shape 1,1,4,1,1,x -o out.glb", 2, "six numbers"},
        {"--preset 6 -o out.ply", 2, ".glb, .stl or .obj"},
        {"--preset 6", 2, "where to write"},
        {"", 2, "which shape"},
        {"--preset 6 -o folder.glb", 1, "folder"},
        {"--preset 6 -o /proc/solidmorph.stl", 1, "cannot write"},
        {"--preset 6 -o missing/out.obj", 1, "No such file"},
        {"--shape 2,2,4,1e-30,1,1 -o out.obj", 1, "infinite"},
        {"--shape 1,1,4,0,1,1 -o out.stl", 1, "axis"},
        {"--preset 6 --texture nowhere.tga -o out.glb", 1, "nowhere.tga"},
        {"--preset 6 --texture keep.stl -o out.glb", 1, "not a TGA"},
        // A failed write replaces nothing.
        {"--shape 1,1,4,0,1,1 -o keep.stl", 1, "nothing written"},
        // A full disk, as the file size limit makes it (512-byte blocks).
        {"--preset 6 -o out.glb", 1, "File too large"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        const test::WorkFolder folder(false);
        fs::create_directory(folder.path / "folder.glb");
        std::ofstream(folder.path / "keep.stl") << "keep";
        const std::set<std::string> before = entries(folder.path);
        const bool limited = std::string(row.message) == "File too large";
        const CommandRun run =
            limited ? run_in(folder.path,
                             "ulimit -f 64 && exec " + quoted(SOLIDMORPH_EXPORT) + " " + row.args)
                    : export_to(folder.path, row.args);
        EXPECT_EQ(run.code, row.code) << run.err;
        EXPECT_NE(run.err.find(row.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(entries(folder.path), before);
        EXPECT_EQ(read_file(folder.path / "keep.stl"), "keep");
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
