#pragma once

#include "export/mesh_math.h"
#include "export/printable_solid.h"

namespace solidmorph {

// Binary STL of a closed solid, one facet per triangle with its unit normal.
// Its 80-byte header never starts with "solid", which readers take for the
// start of a text STL.
Bytes stl_bytes(const PrintableSolid& solid);

}  // namespace solidmorph
