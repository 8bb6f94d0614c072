#pragma once

#include <string>

#include "export/export_surface.h"

namespace solidmorph {

// Wavefront OBJ: every grid vertex with its normal and texture coordinate,
// one face per triangle of the list. Numbers are written in their shortest
// form that reads back to the same float. With a material library's file
// name, the faces use its one material.
std::string obj_text(const ExportSurface& surface, const std::string& material_library = "");

// The material library beside an OBJ: one material whose diffuse colour
// is the texture in the named image file.
std::string mtl_text(const std::string& texture_file);

// The files an OBJ with a texture brings beside it: NAME.mtl and NAME.png
// for NAME.obj, in the same folder; `library` is the material library's
// name as the OBJ names it (no folder).
struct ObjSideFiles {
    std::string mtl, png, library;
};
ObjSideFiles obj_side_files(const std::string& obj_path);

}  // namespace solidmorph
