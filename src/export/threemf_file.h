#pragma once

#include <string>
#include <vector>

#include "export/mesh_math.h"
#include "export/printable_solid.h"

namespace solidmorph {

// A 3MF package of the solid, made by lib3mf in memory: one mesh object of
// its vertices and triangles, one build item, unit millimetre. lib3mf keeps
// six decimals of every coordinate, a micrometre at a printing size; the
// package is read back and the solid in it checked as the solid was. The
// same solid gives the same bytes. False, with the reason, if it cannot be
// built or the rounding leaves it unsound.
bool threemf_bytes(const PrintableSolid& solid, Bytes& package, std::string& reason);

// One solid of a package of several, its own object and build item, named
// and moved on the plate by the offset (x and y, in millimetres).
struct PlacedSolid {
    PrintableSolid solid;
    std::string name;
    float offset_x = 0.0f, offset_y = 0.0f;
};

// A 3MF package of several solids, each its own mesh object and build item,
// unit millimetre. Each solid goes in as threemf_bytes would write it alone
// (its corners moved where the six decimals would make it cross itself);
// the package is read back and every object in it checked as written.
// The same solids give the same bytes. False, with the reason (naming the
// solid), if it cannot be built or a solid comes out unsound.
bool threemf_plate_bytes(const std::vector<PlacedSolid>& solids, Bytes& package,
                         std::string& reason);

// Moves every vertex to the coordinates a 3MF of the solid reads back as
// (lib3mf writes six decimals, cut off rather than rounded), until writing
// and reading leave them unchanged: a solid checked after this is exactly
// the solid its 3MF holds. False, with the reason, if lib3mf cannot write or
// read it, or the coordinates do not settle.
bool settle_as_threemf_keeps(PrintableSolid& solid, std::string& reason);

// For a settled solid (settle_as_threemf_keeps) whose triangles cross where
// the six decimals moved them: moves the corners of the crossing triangles
// to other coordinates a 3MF holds, a millionth or two from where they were
// before settling (`before`, vertex for vertex), until none cross; a corner
// on the plate stays on it. False if no such moves remove every crossing.
bool uncross_as_threemf_keeps(PrintableSolid& solid, const std::vector<Vec3>& before);

// A package's one mesh object as lib3mf reads it, and whether its unit is
// the millimetre.
struct ThreemfMesh {
    std::vector<Vec3> vertices;
    std::vector<TriangleCorners> triangles;
    bool millimetres = false;
};

// False if lib3mf cannot read the package, it holds other than one mesh
// object, or a triangle names a vertex it does not have.
bool read_threemf(const Bytes& package, ThreemfMesh& mesh);

// Every build item of a package, in order: its mesh object, the object's
// name and the item's move (its offset, and whether it also turns or
// scales the object).
struct ThreemfItem {
    ThreemfMesh mesh;
    std::string name;
    Vec3 offset{};
    bool turned = false;
};
bool read_threemf_items(const Bytes& package, std::vector<ThreemfItem>& items);

}  // namespace solidmorph
