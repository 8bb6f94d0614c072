#pragma once

#include "saver/saver_options.h"

namespace solidmorph {

// The saver's whole life: its texture read, its drawable opened, the
// program's scene, solid and frame drawn at the drawable's size until a
// stop signal, a key or the window manager ends it; then shutdown. Failures
// print one line on standard error. Returns the exit code: 0 when ended, 1
// when it could not start.
int run_saver(const SaverOptions& options);

// The texture the saver shows without --texture: the installed one, else
// vein.tga beside the executable.
std::string default_saver_texture();

}  // namespace solidmorph
