#include "explore/export_command.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace solidmorph {

namespace {

// Appends one word at `at`, quoted unless every character is one no shell
// reads specially.
void append_word(char*& at, const char* end, const std::string& word) {
    bool plain = !word.empty();
    for (const char c : word) {
        plain = plain && (std::strchr("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                      "0123456789._/-+,=:@%",
                                      c) != nullptr);
    }
    const auto put = [&](char c) {
        if (at < end - 1) *at++ = c;
    };
    put(' ');
    if (!plain) put('\'');
    for (const char c : word) {
        if (c == '\'' && !plain) {
            for (const char q : {'\'', '\\', '\'', '\''}) put(q);
        } else {
            put(c);
        }
    }
    if (!plain) put('\'');
    *at = '\0';
}

}  // namespace

void compose_export_command(const ExportOptions& options, const ShapeOptionsSeen& seen,
                            char* command, size_t capacity) {
    if (capacity == 0) return;
    std::snprintf(command, capacity, "solidmorph-export");
    char* at = command + std::strlen(command);
    for (const std::string& word : shape_option_args(options, seen)) {
        append_word(at, command + capacity, word);
    }
}

void expand_home(const char* name, char* path, size_t capacity) {
    const char* home = std::getenv("HOME");
    if (name[0] == '~' && name[1] == '/' && home != nullptr && home[0] == '/') {
        std::snprintf(path, capacity, "%s%s", home, name + 1);
    } else {
        std::snprintf(path, capacity, "%s", name);
    }
}

void folder_of(const char* path, char* folder, size_t capacity) {
    const char* slash = std::strrchr(path, '/');
    char cwd[2048] = "";
    if (path[0] != '/' && getcwd(cwd, sizeof cwd) == nullptr) cwd[0] = '\0';
    const int name_part = slash != nullptr ? int(slash - path) : 0;
    std::snprintf(folder, capacity, "%s%s%.*s", cwd, cwd[0] != '\0' && name_part > 0 ? "/" : "",
                  name_part, path);
    if (folder[0] == '\0') std::snprintf(folder, capacity, "/");
}

}  // namespace solidmorph
