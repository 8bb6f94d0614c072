// solidmorph-export: writes one shape of the program, exactly as it
// generates it, as a mesh file for other programs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "export/export_job.h"
#include "morph/morph_scheduler.h"
#include "platform/file_output.h"
#include "shapes/export_options.h"

#ifndef SOLIDMORPH_VERSION
#define SOLIDMORPH_VERSION "unknown"
#endif

namespace {

using namespace solidmorph;
constexpr const char* program_name = "solidmorph-export";

// The number of presets comes in at the %d.
constexpr const char* usage_text =
    "Usage: solidmorph-export (--preset N | --frame F | --shape a,b,m,n1,n2,n3 |\n"
    "                          --kept NAME) -o FILE\n"
    "                         [--size MM] [--flat-base H|P%%] [--detail N]\n"
    "                         [--texture FILE.tga]\n"
    "       solidmorph-export --animation [--frames FIRST:LAST] -o FILE.glb\n"
    "                         [--detail N] [--texture FILE.tga]\n"
    "Writes one shape of solidmorph, exactly as the program generates it, or a run\n"
    "of its frames as an animated glTF.\n"
    "\n"
    "  --preset N      preset N of the shape table, 1 (the sphere) to %d\n"
    "  --frame F       the shape the program shows in frame F of a run, counting the\n"
    "                  first frame drawn as 1; frame 0 is the sphere it starts from\n"
    "  --shape a,b,m,n1,n2,n3\n"
    "                  any parameter set of the superformula; twelve numbers give\n"
    "                  the latitude's six (the row radius), then the longitude's\n"
    "                  (the column radius)\n"
    "  -o, --output FILE\n"
    "                  the file to write; its extension picks the format:\n"
    "                    .glb  binary glTF 2.0 with normals, texture coordinates\n"
    "                          and the marble texture embedded\n"
    "                    .obj  Wavefront OBJ with normals and texture coordinates\n"
    "                    .stl  binary STL of a closed, printable solid\n"
    "                    .3mf  3MF of the same solid, in millimetres (without\n"
    "                          --size, one generator unit is written as 1 mm)\n"
    "  --size MM       scale the shape so its largest extent is MM millimetres; an\n"
    "                  .stl or .3mf is then also laid on the plate (lowest point at\n"
    "                  z = 0)\n"
    "  --flat-base H|P%%\n"
    "                  cut an .stl or .3mf flat H mm (needs --size) or P%% of its\n"
    "                  height above its lowest point, and lay it on that face;\n"
    "                  refused if the cut leaves more than one piece or a base\n"
    "                  under 5 mm\n"
    "  --kept NAME     the shape kept under NAME (in the studio, Ctrl+K), from\n"
    "                  $XDG_DATA_HOME/solidmorph/shapes.txt\n"
    "  --detail N      latitude and longitude steps of the grid written, 8 to 1024\n"
    "                  (default 64, the program's own)\n"
    "  --animation     write the program's frames as one animated .glb: a mesh with\n"
    "                  morph targets and a turning node, frame F at F/60 s; every\n"
    "                  frame's vertices within 1%% of its extent of the program's\n"
    "  --frames FIRST:LAST\n"
    "                  the frames to animate, FIRST up to but not including LAST\n"
    "                  (default 0:%" PRIu64
    ", the opening and one whole cycle)\n"
    "  --texture FILE  the TGA texture for .glb (default: the installed vein.tga);\n"
    "                  with NAME.obj, also writes NAME.mtl and NAME.png beside it\n"
    "  -h, --help      show this help and exit\n"
    "      --version   show the version and exit\n"
    "\n"
    "The report line gives the triangles, and for an .stl the volume, bounding box,\n"
    "steepest overhang (degrees from vertical; over 45 needs supports) and any\n"
    "flat base's area. The files are written whole or not at all. Exit status: 0\n"
    "when written, 1 when the shape or the file cannot be written, 2 on bad usage,\n"
    "128 + the signal when stopped by one while writing (nothing is left behind).\n";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", program_name,
                 message.c_str(), program_name);
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "%s: %s; nothing written\n", program_name, message.c_str());
    return 1;
}

// A closed standard stream would hand its number to the next file opened,
// and a message meant for it would land in that file: hold them open on
// /dev/null. True if standard output had to be.
bool hold_standard_streams_open() {
    bool output_closed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        output_closed = output_closed || fd == 1;
        const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
    return output_closed;
}

}  // namespace

int main(int argc, char** argv) {
    const bool output_closed = hold_standard_streams_open();
    // A write past the file size limit then fails like a full disk, and the
    // temporary file is cleaned up, instead of the process being killed.
    std::signal(SIGXFSZ, SIG_IGN);

    ExportOptions options;
    std::string error;
    if (!parse_export_options(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        return usage_error(error);
    }
    if (options.action == ExportAction::help) {
        std::printf(usage_text, preset_count, opening_frames + cycle_frames);
        return 0;
    }
    if (options.action == ExportAction::version) {
        std::printf("%s %s\n", program_name, SOLIDMORPH_VERSION);
        return 0;
    }

    ExportFiles out;
    if (!build_export_files(options, out, error)) return failure(error);
    if (!write_files_atomically(out.files, error)) return failure(error);

    // The files are in place whatever happens to the report.
    std::printf("wrote %s%s\n", options.output.c_str(), out.summary.c_str());
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || output_closed) {
        std::fprintf(stderr, "%s: wrote %s, but cannot write the report: %s\n", program_name,
                     options.output.c_str(),
                     output_closed ? "standard output is closed" : std::strerror(errno));
        return 1;
    }
    return 0;
}
