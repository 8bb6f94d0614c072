#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The picture on the back buffer, as a PNG file of its own.
namespace solidmorph {

// Reads the lower left `width` x `height` pixels of the back buffer and
// writes them, through a temporary renamed into place, as
// "solidmorph-explore-YYYYMMDD-HHMMSS.png" in the working folder; the name
// in `name`. False, with a reason, when it cannot.
bool save_screenshot(int32_t width, int32_t height, char* name, size_t capacity,
                     std::string& error);

}  // namespace solidmorph
