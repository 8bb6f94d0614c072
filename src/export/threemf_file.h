#pragma once

#include <string>
#include <vector>

#include "export/mesh_files.h"
#include "export/printable_solid.h"

namespace solidmorph {

// A 3MF package of the solid, made by lib3mf in memory: one mesh object of
// its vertices and triangles, one build item, unit millimetre. lib3mf keeps
// six decimals of every coordinate, a micrometre at a printing size; the
// package is read back and the solid in it checked as the solid was. The
// same solid gives the same bytes. False, with the reason, if it cannot be
// built or the rounding leaves it unsound.
bool threemf_bytes(const PrintableSolid& solid, Bytes& package, std::string& reason);

// Moves every vertex to the coordinates a 3MF of the solid reads back as
// (lib3mf writes six decimals, cut off rather than rounded), until writing
// and reading leave them unchanged: a solid checked after this is exactly
// the solid its 3MF holds. False, with the reason, if lib3mf cannot write or
// read it, or the coordinates do not settle.
bool settle_as_threemf_keeps(PrintableSolid& solid, std::string& reason);

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

}  // namespace solidmorph
