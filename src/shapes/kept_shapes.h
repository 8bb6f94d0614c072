#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "shapes/export_options.h"

namespace solidmorph {

// The shapes a user keeps, one file shared by every program so that a
// shape kept in one is there in the others:
//
//   # comments and blank lines stay as they are
//   spiky star: --shape 1,1,5,0.3,0.3,0.3
//   the fourth: --preset 4 --detail 128
//
// one shape a line, NAME: OPTIONS, where OPTIONS are the exporter's own
// shape options (whatever parse_shape_options takes, as long as it names a
// shape and nothing of an export: no -o, --texture, --size or --flat-base),
// so that any line can be pasted after solidmorph-export on a command line.
// Reading forgives extra spaces around the name and between the words, and
// a '\r' left at the end by an editor; a line is always written with one
// space between words.
//
// A line that cannot be read (not NAME: OPTIONS, a name kept on a line
// above, longer than 4 KiB, bytes that no text has, past the most shapes)
// is skipped, and written back byte for byte where it was: a file the user
// edited by hand, or one a newer program wrote, loses nothing by being
// changed here. Only the final line gains a '\n' if it had none.

struct KeptShape {
    std::string name;
    std::string options;  // the words, one space apart
    size_t line = 0;      // its place in KeptShapes::lines
};

struct KeptShapes {
    std::vector<KeptShape> shapes;   // the readable lines, in file order, each name once
    std::vector<std::string> lines;  // every line as read, without its '\n'
};

// A name is shown in lists and typed into fields, so it is short,
// printable UTF-8, and it must read back as the same name: no ':' (which
// ends it), no space at either end (which reading forgives), no '#' first
// (which would make its line a comment).
inline constexpr size_t longest_shape_name = 64;  // bytes

// Ours hold a few hundred short lines; a file far larger is not one, and
// reading it all would hold a program up. A single line of 10 MiB (a paste
// gone wrong) still fits, and is kept as it was.
inline constexpr size_t most_kept_shapes_bytes = size_t(16) << 20;

// Far more than a list to choose from can show; reading stops taking
// shapes there (the lines after it are kept as they are), so that no file
// within the byte limit takes long to read, and no new name is kept past it.
inline constexpr size_t most_kept_shapes = 10000;

// $XDG_DATA_HOME/solidmorph/shapes.txt when XDG_DATA_HOME is an absolute
// path, else $HOME/.local/share/solidmorph/shapes.txt when HOME is; empty
// when neither is, and nothing can be kept.
std::string kept_shapes_path();

// Whether a name can be kept; false, with why for the user, if not.
bool valid_shape_name(std::string_view name, std::string& why);

// OPTIONS read as a kept shape's (words split on spaces): false, with why,
// unless parse_shape_options takes them and they give a shape and nothing
// of an export. `parsed` is what they ask for.
bool parse_kept_options(std::string_view options, ExportOptions& parsed, std::string& why);

// Reads the file as the studio's state file is read: a regular file only,
// opened without blocking (a pipe or a device in its place is refused, not
// waited on or read without end), at most most_kept_shapes_bytes. A
// missing file is no shapes. False when the file could not be read whole
// (not a plain file, unreadable, too large): `out` has what could be read,
// and no change is made to the file until it can be. `ignored` says in one
// line what could not be taken, empty when everything could.
bool read_kept_shapes(KeptShapes& out, std::string& ignored);

// Each change is one read-modify-write under an advisory lock (flock on
// shapes.txt.lock beside the file, created as needed), so that two
// programs changing the file at once never lose each other's shapes; the
// lock is waited for up to 10 seconds, so that a stopped program holding it
// cannot hang another. The file is written whole through a temporary and a
// rename (through a symbolic link to a regular file, which stays a link),
// so a reader sees the old file or the new one, never half of one. The
// folder is made (0700) when missing. False, with a one-line reason, when
// nothing was changed.

enum class KeptAs { added, replaced };

// A new name is added at the end; a kept one gets the new options in its
// own line.
bool keep_shape(const std::string& name, const std::string& options, KeptAs& kept,
                std::string& error);

// Refused when `from` is not kept, or `to` is not a valid name or is kept
// already.
bool rename_kept_shape(const std::string& from, const std::string& to, std::string& error);

// Refused when `name` is not kept (another program may have deleted it).
bool delete_kept_shape(const std::string& name, std::string& error);

// --kept NAME: the kept shape's shape into `options` (its source, preset,
// frame and sets), and its detail unless `detail_given`. False, with a
// message for the user, when no shapes file can be read, none is called
// that, or its options name another kept shape.
bool use_kept_shape(ExportOptions& options, bool detail_given, std::string& error);

// The kept shape of that name, or null.
const KeptShape* find_kept_shape(const KeptShapes& kept, std::string_view name);

// A name for a new shape that no kept shape has: "shape 1", "shape 2", ...,
// the first one free.
std::string unused_shape_name(const KeptShapes& kept);

}  // namespace solidmorph
