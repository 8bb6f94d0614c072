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

// What the report line gives of a solid. The base is what lies flat on the
// plate: the triangles with every corner at the solid's lowest z.
struct SolidFigures {
    Vec3 low{}, high{};            // the bounding box
    double steepest_overhang = 0;  // degrees from vertical, of a downward triangle off the base
    double base_area = 0;
    Vec3 base_low{}, base_high{};  // the base's bounding box
};
SolidFigures solid_figures(const PrintableSolid& solid);

// The report line's words for a solid, after its triangle count: bounding
// box, volume and steepest overhang, in mm and cm3 when `sized` (else in the
// generator's units), and the base's area when it was cut flat.
std::string solid_summary(const PrintableSolid& solid, bool sized, bool flat_base);

}  // namespace solidmorph
