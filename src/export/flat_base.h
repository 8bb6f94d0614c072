#pragma once

#include <string>

#include "export/printable_solid.h"

namespace solidmorph {

// The narrowest base a print stands on without tipping: its bounding box on
// the plate at least this wide both ways, in the solid's units (millimetres
// once a size is given).
constexpr double min_base_across = 5.0;

// Cuts the solid by the horizontal plane `height` above its lowest point,
// drops everything below, closes the cut with a flat face and lays the rest
// on the plate, the cut at z = 0. The cut is made with exact constructions
// and rounded to floats once, then checked as every solid is
// (orient_and_check_solid). False, with the reason and the solid untouched,
// for a height at or above the solid's own, a cut that leaves nothing or
// more than one piece, a base smaller than min_base_across, or a rounded
// result that is not sound. The heavy geometry templates live in this one
// translation unit, as in solid_check.cpp. `for_threemf` puts the cut
// solid's vertices on the coordinates a 3MF of it reads back as
// (settle_as_threemf_keeps) before its base is triangulated and it is
// checked, so that the solid checked is the one the 3MF holds.
bool cut_flat_base(PrintableSolid& solid, double height, std::string& reason,
                   bool for_threemf = false);

}  // namespace solidmorph
