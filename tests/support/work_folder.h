#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace solidmorph::test {

// A fresh working folder for one run of the program, holding its texture
// only when asked; removed with everything in it at the end of the test.
struct WorkFolder {
    std::filesystem::path path;

    explicit WorkFolder(bool with_texture) {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "solidmorph-run-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        if (made == nullptr) return;  // the test fails on the missing folder
        path = made;
        if (with_texture) {
            fs::copy_file(fs::path(SOLIDMORPH_ASSETS) / "vein.tga", path / "vein.tga");
        }
    }
    ~WorkFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
};

}  // namespace solidmorph::test
