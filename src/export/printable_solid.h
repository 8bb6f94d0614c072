#pragma once

#include <string>
#include <vector>

#include "export/export_surface.h"
#include "geometry/geometry_types.h"

namespace solidmorph {

// A closed, outward-facing triangle mesh fit for a slicer.
struct PrintableSolid {
    std::vector<Vec3> vertices;
    std::vector<TriangleCorners> triangles;  // counter-clockwise seen from outside
    double volume = 0.0;
};

// Closes the drawn surface into a solid: the seam column welded to the
// first, the upper pole row drawn to one apex, the lower pole's opening
// capped, the triangles that join the last row back to the first through the
// inside dropped with every degenerate and repeated one, and all of them
// turned outward. With a size, scales it so its largest extent is that size
// and lays it on the plate (lowest point at z = 0). Refuses, with the
// reason, any solid orient_and_check_solid refuses.
bool make_printable_solid(const ExportSurface& surface, PrintableSolid& solid, std::string& reason,
                          double size = 0.0);

}  // namespace solidmorph
