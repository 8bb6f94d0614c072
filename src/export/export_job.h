#pragma once

#include <string>
#include <vector>

#include "export/export_surface.h"
#include "export/printable_solid.h"
#include "geometry/geometry_types.h"
#include "image/tga_decode.h"
#include "platform/file_output.h"
#include "shapes/export_options.h"

namespace solidmorph {

// The texture the options name, or the installed vein.tga when they name
// none. False, with a message for the user, if it cannot be found, read or
// decoded.
bool read_texture(const std::string& chosen, DecodedImage& image, std::string& error);

// The installed vein.tga (or the build folder's copy); empty if neither is
// there.
std::string find_installed_texture();

// Everything one export writes, in memory: the mesh file, and beside an
// .obj with a texture its material library and PNG; summary is what the
// report line adds after "wrote FILE".
struct ExportFiles {
    std::vector<OutputFile> files;
    std::string summary;
};

// Builds the files the options ask for, exactly as solidmorph-export writes
// them (its name and version are in the glTF's generator field). Runs the solid's own start-up, so
// the scheduler and the mesh are left at the exported shape. False, with the reason, for a shape
// that cannot be written in that format or a texture that cannot be used; nothing is written either
// way (write_files_atomically does that).
bool build_export_files(const ExportOptions& options, ExportFiles& out, std::string& error);

// The flat base as --flat-base asks for it: a height in the solid's units,
// or a percent of its height; 0 leaves it whole. `for_threemf` as for
// cut_flat_base.
bool cut_as_asked(PrintableSolid& solid, double flat_base, bool percent, std::string& error,
                  bool for_threemf);

// What an .stl export of these positions (over the program's triangle
// list) would find, without writing anything: a sound solid, its volume and
// bounding box at the size (0: as generated) and cut flat as --flat-base
// asks (0: not cut), or the reason it is refused.
struct SolidReport {
    bool sound = false;
    double volume = 0.0;
    Vec3 low{}, high{};
    std::string reason;  // as the exporter words it, when not sound
};
void check_solid(const std::vector<Vec3>& positions, const std::vector<TriangleCorners>& triangles,
                 double size, SolidReport& report, double flat_base = 0.0,
                 bool flat_base_percent = false);

// The same for a surface of any grid (ExportSurface's rows and columns).
void check_solid(const ExportSurface& surface, double size, SolidReport& report,
                 double flat_base = 0.0, bool flat_base_percent = false);

}  // namespace solidmorph
