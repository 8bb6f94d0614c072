#include "shapes/kept_shapes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unordered_set>

#include "platform/file_output.h"

namespace solidmorph {

namespace {

namespace fs = std::filesystem;

// Longer than any line of ours by far; a longer one is not parsed at all,
// so that a file of huge lines is skipped through at once.
constexpr size_t longest_read_line = 4096;
constexpr auto longest_lock_wait = std::chrono::seconds(10);

bool control_byte(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

bool utf8_text(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
        const unsigned char lead = byte(i);
        const size_t length = lead < 0x80   ? 1
                              : lead < 0xc2 ? 0
                              : lead < 0xe0 ? 2
                              : lead < 0xf0 ? 3
                              : lead < 0xf5 ? 4
                                            : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xc0) != 0x80) return false;
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        const unsigned char second = length > 1 ? byte(i + 1) : 0x80;
        if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second >= 0xa0) ||
            (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second >= 0x90)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::vector<std::string> words_of(std::string_view text) {
    std::vector<std::string> words;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) words.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    return words;
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
    return text;
}

bool comment(std::string_view line) {
    const std::string_view text = trimmed(line);
    return text.empty() || text.front() == '#';
}

// A line as NAME: OPTIONS, or false.
bool read_line(std::string_view line, std::string_view& name, std::string& options) {
    if (line.size() > longest_read_line) return false;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    name = trimmed(line.substr(0, colon));
    std::string why;
    ExportOptions parsed;
    if (!valid_shape_name(name, why)) return false;
    options = joined(words_of(line.substr(colon + 1)));
    return parse_kept_options(options, parsed, why);
}

// Paths under the home folder as the user would type them.
std::string shown_path(const std::string& path) {
    const char* home = std::getenv("HOME");
    const size_t length = home != nullptr ? std::strlen(home) : 0;
    if (length > 1 && home[0] == '/' && path.compare(0, length, home) == 0 &&
        path.size() > length && path[length] == '/') {
        return "~" + path.substr(length);
    }
    return path;
}

std::string counted(size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Every line of the file at `path`, read as the header says. False, with
// the problem, when it could not be read whole.
bool read_lines(const std::string& path, std::vector<std::string>& lines, std::string& problem) {
    lines.clear();
    std::string text, error;
    const PlainFileRead read = read_plain_file(path, most_kept_shapes_bytes, text, error);
    const bool whole = read == PlainFileRead::whole || read == PlainFileRead::missing;
    if (read == PlainFileRead::failed) problem = "cannot be read (" + error + ")";
    if (read == PlainFileRead::not_plain) {
        problem = "is not a plain file; no shapes were read from it";
    }
    if (read == PlainFileRead::too_large) {
        problem = "is larger than 16 MiB; only the shapes in its first 16 MiB were read";
        // A line cut in two is no line.
        const size_t last = text.rfind('\n', most_kept_shapes_bytes - 1);
        text.resize(last == std::string::npos ? 0 : last + 1);
    }
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        lines.emplace_back(text, at, end - at);
        at = end + 1;
    }
    return whole;
}

// The readable lines of `kept.lines` as shapes; the problem, if any, says
// what was skipped.
void take_shapes(KeptShapes& kept, std::string& problem) {
    kept.shapes.clear();
    std::unordered_set<std::string_view> names;
    size_t skipped[3] = {0, 0, 0};  // not NAME: OPTIONS, a name above, past the most shapes
    size_t first = 0;
    for (size_t i = 0; i < kept.lines.size(); ++i) {
        if (comment(kept.lines[i])) continue;
        std::string_view name;
        std::string options;
        const bool full = kept.shapes.size() == most_kept_shapes;
        const bool readable = !full && read_line(kept.lines[i], name, options);
        if (readable && names.insert(name).second) {
            kept.shapes.push_back({std::string(name), std::move(options), i});
            continue;
        }
        if (first == 0) first = i + 1;
        ++skipped[full ? 2 : readable ? 1 : 0];
    }
    const size_t count = skipped[0] + skipped[1] + skipped[2];
    if (count == 0) return;
    const std::string kinds[3] = {
        counted(skipped[0], "line that is", "lines that are") + " not NAME: OPTIONS",
        counted(skipped[1], "line that names", "lines that name") + " a shape kept above",
        counted(skipped[2], "line", "lines") + " past the first 10000 shapes"};
    std::vector<std::string> pieces;
    for (size_t k = 0; k < 3; ++k) {
        if (skipped[k] > 0) pieces.push_back(kinds[k]);
    }
    std::string what;
    for (size_t k = 0; k < pieces.size(); ++k) {
        what += (k == 0 ? "has " : k + 1 == pieces.size() ? " and " : ", ") + pieces[k];
    }
    what += count == 1
                ? ", skipped (line " + std::to_string(first) + ") and left in the file as it is"
                : ", skipped (from line " + std::to_string(first) +
                      ") and left in the file as they are";
    problem += (problem.empty() ? "" : "; ") + what;
}

bool read_from(const std::string& path, KeptShapes& out, std::string& problem) {
    const bool whole = read_lines(path, out.lines, problem);
    take_shapes(out, problem);
    return whole;
}

bool make_folders(const fs::path& folder, std::string& error) {
    fs::path at;
    for (const fs::path& step : folder) {
        at /= step;
        if (::mkdir(at.c_str(), 0700) != 0 && errno != EEXIST) {
            error =
                "cannot make the folder " + shown_path(at.string()) + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// An exclusive flock on the lock file, held for as long as this lives.
struct HeldLock {
    int fd = -1;
    HeldLock() = default;
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    ~HeldLock() {
        if (fd >= 0) ::close(fd);  // which lets the lock go
    }

    bool take(const std::string& path, std::string& error) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC,
                    0600);
        struct stat status {};
        if (fd < 0 || fstat(fd, &status) != 0) {
            error = "cannot lock " + shown_path(path) + ": " + std::strerror(errno);
            return false;
        }
        if (!S_ISREG(status.st_mode)) {
            error = "cannot lock " + shown_path(path) + ": it is not a plain file";
            return false;
        }
        // Polled rather than waited on, so that the wait has an end.
        const auto give_up = std::chrono::steady_clock::now() + longest_lock_wait;
        while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() > give_up) {
                error = "cannot lock " + shown_path(path) + ": " +
                        (errno == EWOULDBLOCK ? "another program has held it for 10 seconds"
                                              : std::strerror(errno));
                return false;
            }
            const timespec pause{0, 1000000};
            nanosleep(&pause, nullptr);
        }
        return true;
    }
};

// A symbolic link to the user's own file (kept with their other settings,
// say) is written through, and stays a link; one to anything else (a
// device, say) is never followed.
std::string write_target(const std::string& path) {
    struct stat link {};
    struct stat status {};
    std::error_code failed;
    if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
        stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        const fs::path real = fs::canonical(path, failed);
        if (!failed) return real.string();
    }
    return path;
}

// Reads the file under the lock, lets `change` change its lines, and
// writes them back whole.
template <typename Change>
bool change_kept_shapes(std::string& error, Change change) {
    const std::string path = kept_shapes_path();
    if (path.empty()) {
        error = "no folder to keep shapes in: neither XDG_DATA_HOME nor HOME is an absolute path";
        return false;
    }
    const std::string shown = shown_path(path);
    HeldLock lock;
    if (!make_folders(fs::path(path).parent_path(), error) || !lock.take(path + ".lock", error)) {
        return false;
    }
    KeptShapes kept;
    std::string problem;
    if (!read_from(path, kept, problem)) {
        error = "cannot change " + shown + ": it " + problem.substr(0, problem.find(';'));
        return false;
    }
    if (!change(kept)) return false;
    std::string text;
    for (const std::string& line : kept.lines) text += line + '\n';
    if (text.size() > most_kept_shapes_bytes) {
        error = "cannot change " + shown + ": it would be larger than 16 MiB";
        return false;
    }
    const std::string target = write_target(path);
    if (!write_file_atomically(target, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                               error)) {
        const size_t at = error.find(target);
        if (at != std::string::npos) error.replace(at, target.size(), shown_path(target));
        return false;
    }
    return true;
}

std::string in_quotes(std::string_view name) {
    std::string text(1, '\'');
    return text.append(name).append(1, '\'');
}

}  // namespace

std::string kept_shapes_path() {
    const char* data_home = std::getenv("XDG_DATA_HOME");
    if (data_home != nullptr && data_home[0] == '/') {
        return (fs::path(data_home) / "solidmorph" / "shapes.txt").string();
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return {};
    return (fs::path(home) / ".local" / "share" / "solidmorph" / "shapes.txt").string();
}

bool valid_shape_name(std::string_view name, std::string& why) {
    if (name.empty()) {
        why = "a kept shape needs a name";
    } else if (name.size() > longest_shape_name) {
        why = "a shape's name is at most 64 bytes";
    } else if (name.front() == ' ' || name.back() == ' ') {
        why = "a shape's name cannot begin or end with a space";
    } else if (name.front() == '#') {
        why = "a shape's name cannot begin with '#'";
    } else if (name.find(':') != std::string_view::npos) {
        why = "a shape's name cannot hold ':'";
    } else if (std::any_of(name.begin(), name.end(), control_byte)) {
        why = "a shape's name cannot hold control characters";
    } else if (!utf8_text(name)) {
        why = "a shape's name must be UTF-8 text";
    } else {
        return true;
    }
    return false;
}

namespace {

// Set while a kept shape's own options are read, which may not name
// another kept shape (nor, through it, themselves): reading them would read
// the file again.
bool reading_kept = false;

}  // namespace

bool parse_kept_options(std::string_view options, ExportOptions& parsed, std::string& why) {
    if (std::any_of(options.begin(), options.end(), control_byte)) {
        why = "a kept shape's options are one line of text";
        return false;
    }
    ShapeOptionsSeen seen;
    reading_kept = true;
    const bool parsed_well = parse_shape_options(words_of(options), parsed, seen, why);
    reading_kept = false;
    if (!parsed_well) return false;
    if (parsed.action != ExportAction::write || !seen.shape) {
        why = "a kept shape needs --preset N, --frame F or --shape a,b,m,n1,n2,n3";
        return false;
    }
    if (seen.output || seen.texture || parsed.size > 0.0 || parsed.flat_base > 0.0) {
        why = "-o, --texture, --size and --flat-base belong to an export, not to a kept shape";
        return false;
    }
    return true;
}

bool use_kept_shape(ExportOptions& options, bool detail_given, std::string& error) {
    const std::string name = options.kept_name;
    if (reading_kept) {
        error = "a kept shape's options cannot name another kept shape";
        return false;
    }
    const std::string path = kept_shapes_path();
    KeptShapes kept;
    std::string ignored;
    if (path.empty()) {
        error = "--kept: there is no home folder to keep shapes in";
        return false;
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 && errno == ENOENT) {
        error = "--kept: no shapes are kept yet (" + shown_path(path) + " is not there)";
        return false;
    }
    read_kept_shapes(kept, ignored);
    const KeptShape* shape = find_kept_shape(kept, name);
    if (shape == nullptr) {
        error = "--kept: no kept shape is called '" + name + "' in " + shown_path(path) +
                (ignored.empty() ? "" : " (" + ignored + ")");
        return false;
    }
    ExportOptions parsed;
    std::string why;
    if (!parse_kept_options(shape->options, parsed, why)) {
        error = "--kept: the kept shape '" + name + "' cannot be read: " + why;
        return false;
    }
    options.source = parsed.source;
    options.preset = parsed.preset;
    options.frame = parsed.frame;
    options.shape = parsed.shape;
    options.longitude = parsed.longitude;
    if (!detail_given) options.detail = parsed.detail;
    return true;
}

bool read_kept_shapes(KeptShapes& out, std::string& ignored) {
    out = {};
    ignored.clear();
    const std::string path = kept_shapes_path();
    if (path.empty()) return true;
    std::string problem;
    const bool whole = read_from(path, out, problem);
    if (!problem.empty()) ignored = shown_path(path) + " " + problem;
    return whole;
}

bool keep_shape(const std::string& name, const std::string& options, KeptAs& kept,
                std::string& error) {
    ExportOptions parsed;
    if (!valid_shape_name(name, error) || !parse_kept_options(options, parsed, error)) {
        return false;
    }
    const std::string line = name + ": " + joined(words_of(options));
    return change_kept_shapes(error, [&](KeptShapes& file) {
        const KeptShape* shape = find_kept_shape(file, name);
        kept = shape != nullptr ? KeptAs::replaced : KeptAs::added;
        if (shape != nullptr) {
            file.lines[shape->line] = line;
        } else if (file.shapes.size() == most_kept_shapes) {
            error = "cannot keep more than 10000 shapes: delete one first";
            return false;
        } else {
            file.lines.push_back(line);
        }
        return true;
    });
}

bool rename_kept_shape(const std::string& from, const std::string& to, std::string& error) {
    if (!valid_shape_name(to, error)) return false;
    return change_kept_shapes(error, [&](KeptShapes& file) {
        const KeptShape* shape = find_kept_shape(file, from);
        if (shape == nullptr) {
            error = "no kept shape is called " + in_quotes(from);
        } else if (from != to && find_kept_shape(file, to) != nullptr) {
            error = "a shape called " + in_quotes(to) + " is kept already";
        } else {
            file.lines[shape->line] = to + ": " + shape->options;
            return true;
        }
        return false;
    });
}

bool delete_kept_shape(const std::string& name, std::string& error) {
    return change_kept_shapes(error, [&](KeptShapes& file) {
        const KeptShape* shape = find_kept_shape(file, name);
        if (shape == nullptr) {
            error = "no kept shape is called " + in_quotes(name);
            return false;
        }
        file.lines.erase(file.lines.begin() + std::ptrdiff_t(shape->line));
        return true;
    });
}

const KeptShape* find_kept_shape(const KeptShapes& kept, std::string_view name) {
    const auto found = std::find_if(kept.shapes.begin(), kept.shapes.end(),
                                    [&](const KeptShape& shape) { return shape.name == name; });
    return found != kept.shapes.end() ? &*found : nullptr;
}

std::string unused_shape_name(const KeptShapes& kept) {
    std::unordered_set<std::string_view> names;
    for (const KeptShape& shape : kept.shapes) names.insert(shape.name);
    for (size_t n = 1;; ++n) {
        std::string name = "shape " + std::to_string(n);
        if (names.count(name) == 0) return name;
    }
}

}  // namespace solidmorph
