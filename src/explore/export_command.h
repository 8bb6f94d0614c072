#pragma once

#include <cstddef>

#include "shapes/export_options.h"

// The exporter's command line and the export's folder, as the panel shows
// them: plain text from the options an export would take.
namespace solidmorph {

// The command line that writes what `options` describe, through the
// exporter's own inverse of its options, each word in single quotes where
// a shell would otherwise split or expand it. Cut short, never overrun, if
// `capacity` is too small.
void compose_export_command(const ExportOptions& options, const ShapeOptionsSeen& seen,
                            char* command, size_t capacity);

// A file name as a shell would read it: a leading "~/" is the home folder
// ($HOME, when it is an absolute path).
void expand_home(const char* name, char* path, size_t capacity);

// The folder a file named `path` goes to: a relative name is in the working
// folder.
void folder_of(const char* path, char* folder, size_t capacity);

}  // namespace solidmorph
