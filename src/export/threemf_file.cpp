#include "export/threemf_file.h"

#include <Model/COM/NMR_DLLInterfaces.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "export/solid_check.h"

namespace solidmorph {

namespace {

struct Release {
    void operator()(NMR::PLib3MFBase* handle) const { NMR::lib3mf_release(handle); }
};
using Handle = std::unique_ptr<NMR::PLib3MFBase, Release>;

// FNV-1a over raw bytes, carried on from a previous hash.
uint64_t hash_bytes(const void* data, size_t size, uint64_t hash) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ULL;
    return hash;
}

// lib3mf gives the object, the build and its item each a random UUID, so
// that two exports of the same shape would differ. Made from the solid's
// own numbers instead, they keep a command's file the same from run to
// run, and still tell different solids apart. Shaped as RFC 9562's
// version 8 (a UUID of the maker's own scheme).
std::string content_uuid(const PrintableSolid& solid, uint8_t role) {
    const size_t vertex_bytes = solid.vertices.size() * sizeof(Vec3);
    const size_t triangle_bytes = solid.triangles.size() * sizeof(TriangleCorners);
    std::array<uint64_t, 2> halves{};
    uint64_t seed = 0xcbf29ce484222325ULL;
    for (uint64_t& half : halves) {
        half = hash_bytes(&role, 1, seed);
        half = hash_bytes(solid.vertices.data(), vertex_bytes, half);
        half = hash_bytes(solid.triangles.data(), triangle_bytes, half);
        seed = half;
    }
    halves[0] = (halves[0] & ~0xf000ULL) | 0x8000ULL;
    halves[1] = (halves[1] & ~(3ULL << 62)) | (2ULL << 62);
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", unsigned(halves[0] >> 32),
                  unsigned(halves[0] >> 16) & 0xffffU, unsigned(halves[0]) & 0xffffU,
                  unsigned(halves[1] >> 48),
                  static_cast<unsigned long long>(halves[1] & 0xffffffffffffULL));
    return text;
}

std::string last_error(NMR::PLib3MFBase* instance) {
    DWORD code = 0;
    LPCSTR message = nullptr;
    if (NMR::lib3mf_getlasterror(instance, &code, &message) == LIB3MF_OK && message != nullptr &&
        message[0] != '\0') {
        return std::string("lib3mf cannot write the 3MF: ") + message;
    }
    char text[64];
    std::snprintf(text, sizeof text, "lib3mf cannot write the 3MF (error 0x%x)", unsigned(code));
    return text;
}

// The vertices and triangles of one mesh object; false if lib3mf cannot
// give them or a triangle names a vertex the object does not have.
bool read_mesh_object(NMR::PLib3MFBase* object, ThreemfMesh& mesh) {
    DWORD vertex_count = 0, triangle_count = 0;
    if (NMR::lib3mf_meshobject_getvertexcount(object, &vertex_count) != LIB3MF_OK ||
        NMR::lib3mf_meshobject_gettrianglecount(object, &triangle_count) != LIB3MF_OK) {
        return false;
    }
    std::vector<NMR::MODELMESHVERTEX> vertices(vertex_count);
    std::vector<NMR::MODELMESHTRIANGLE> triangles(triangle_count);
    if (NMR::lib3mf_meshobject_getvertices(object, vertices.data(), vertex_count, nullptr) !=
            LIB3MF_OK ||
        NMR::lib3mf_meshobject_gettriangleindices(object, triangles.data(), triangle_count,
                                                  nullptr) != LIB3MF_OK) {
        return false;
    }
    mesh.vertices.resize(vertex_count);
    std::transform(vertices.begin(), vertices.end(), mesh.vertices.begin(),
                   [](const NMR::MODELMESHVERTEX& v) {
                       return Vec3{v.m_fPosition[0], v.m_fPosition[1], v.m_fPosition[2]};
                   });
    mesh.triangles.resize(triangle_count);
    std::transform(triangles.begin(), triangles.end(), mesh.triangles.begin(),
                   [](const NMR::MODELMESHTRIANGLE& t) {
                       return TriangleCorners{t.m_nIndices[0], t.m_nIndices[1], t.m_nIndices[2]};
                   });
    return std::all_of(mesh.triangles.begin(), mesh.triangles.end(), [&](const TriangleCorners& c) {
        return std::max({c[0], c[1], c[2]}) < vertex_count;
    });
}

// The solid as lib3mf reads the package back, at the six decimals it
// keeps, checked again: a shape with detail finer than that could come out
// of the rounding crossing itself or inside out, and is refused rather than
// written so.
bool sound_as_written(const Bytes& package, std::string& reason) {
    ThreemfMesh read;
    if (!read_threemf(package, read)) {
        reason = "lib3mf cannot read back the 3MF it wrote";
        return false;
    }
    const std::vector<TriangleCorners> written = read.triangles;
    double volume = 0.0;
    const bool sound = orient_and_check_solid(read.vertices, read.triangles, volume, reason);
    if (sound && read.triangles == written) return true;
    reason = "at the six decimals a 3MF keeps, " +
             (sound ? std::string("its triangles no longer all face outward") : reason);
    return false;
}

}  // namespace

namespace {

// The package read into a model; null when lib3mf cannot read it.
Handle read_model(const Bytes& package) {
    NMR::PLib3MFBase* made = nullptr;
    if (NMR::lib3mf_createmodel(&made) != LIB3MF_OK) return nullptr;
    Handle model(made);
    NMR::PLib3MFBase* opened = nullptr;
    if (NMR::lib3mf_model_queryreader(model.get(), "3mf", &opened) != LIB3MF_OK) return nullptr;
    const Handle reader(opened);
    // lib3mf only reads the buffer, though its type says otherwise.
    if (NMR::lib3mf_reader_readfrombuffer(reader.get(), const_cast<uint8_t*>(package.data()),
                                          package.size()) != LIB3MF_OK) {
        return nullptr;
    }
    return model;
}

}  // namespace

bool read_threemf(const Bytes& package, ThreemfMesh& mesh) {
    mesh = {};
    const Handle model = read_model(package);
    if (model == nullptr) return false;
    DWORD unit = 0;
    NMR::PLib3MFBase* listed = nullptr;
    if (NMR::lib3mf_model_getunit(model.get(), &unit) != LIB3MF_OK ||
        NMR::lib3mf_model_getmeshobjects(model.get(), &listed) != LIB3MF_OK) {
        return false;
    }
    mesh.millimetres = unit == NMR::MODELUNIT_MILLIMETER;
    const Handle objects(listed);
    BOOL found = 0;
    NMR::PLib3MFBase* current = nullptr;
    if (NMR::lib3mf_resourceiterator_movenext(objects.get(), &found) != LIB3MF_OK || found == 0 ||
        NMR::lib3mf_resourceiterator_getcurrent(objects.get(), &current) != LIB3MF_OK) {
        return false;
    }
    const Handle object(current);
    if (!read_mesh_object(object.get(), mesh)) return false;
    return NMR::lib3mf_resourceiterator_movenext(objects.get(), &found) == LIB3MF_OK && found == 0;
}

namespace {

// The package as lib3mf writes it, not yet read back: each solid its own
// mesh object and build item, moved on the plate by its offset (none for a
// solid alone). The object's UUID is made from its solid and its place in
// the list, so that the same shape twice still gets two.
bool write_objects(const std::vector<PlacedSolid>& solids, Bytes& package, std::string& reason) {
    package.clear();
    NMR::PLib3MFModel* made = nullptr;
    if (solids.empty() || NMR::lib3mf_createmodel(&made) != LIB3MF_OK || made == nullptr) {
        reason = "lib3mf cannot make a 3MF model";
        return false;
    }
    const Handle model(made);
    auto failed = [&](NMR::PLib3MFBase* instance) {
        reason = last_error(instance);
        return false;
    };
    if (NMR::lib3mf_model_setunit(model.get(), NMR::MODELUNIT_MILLIMETER) != LIB3MF_OK) {
        return failed(model.get());
    }
    for (size_t index = 0; index < solids.size(); ++index) {
        const PlacedSolid& placed_solid = solids[index];
        const PrintableSolid& solid = placed_solid.solid;
        const auto role = [index](int which) { return uint8_t(index * 3 + size_t(which)); };
        NMR::PLib3MFModelMeshObject* added = nullptr;
        if (NMR::lib3mf_model_addmeshobject(model.get(), &added) != LIB3MF_OK) {
            return failed(model.get());
        }
        const Handle object(added);
        std::vector<NMR::MODELMESHVERTEX> vertices(solid.vertices.size());
        std::transform(solid.vertices.begin(), solid.vertices.end(), vertices.begin(),
                       [](const Vec3& p) {
                           return NMR::MODELMESHVERTEX{{p.x, p.y, p.z}};
                       });
        std::vector<NMR::MODELMESHTRIANGLE> triangles(solid.triangles.size());
        std::transform(solid.triangles.begin(), solid.triangles.end(), triangles.begin(),
                       [](const TriangleCorners& c) {
                           return NMR::MODELMESHTRIANGLE{{c[0], c[1], c[2]}};
                       });
        if (NMR::lib3mf_object_setnameutf8(object.get(), placed_solid.name.c_str()) != LIB3MF_OK ||
            NMR::lib3mf_object_setuuidutf8(object.get(), content_uuid(solid, role(0)).c_str()) !=
                LIB3MF_OK ||
            NMR::lib3mf_meshobject_setgeometry(object.get(), vertices.data(),
                                               DWORD(vertices.size()), triangles.data(),
                                               DWORD(triangles.size())) != LIB3MF_OK) {
            return failed(object.get());
        }
        // A plain move: the identity's columns, then the offset.
        NMR::MODELTRANSFORM move{
            {{1, 0, 0, placed_solid.offset_x}, {0, 1, 0, placed_solid.offset_y}, {0, 0, 1, 0}}};
        const bool moved = placed_solid.offset_x != 0.0f || placed_solid.offset_y != 0.0f;
        NMR::PLib3MFModelBuildItem* placed = nullptr;
        if (NMR::lib3mf_model_addbuilditem(model.get(), object.get(), moved ? &move : nullptr,
                                           &placed) != LIB3MF_OK) {
            return failed(model.get());
        }
        const Handle item(placed);
        if (NMR::lib3mf_builditem_setuuidutf8(item.get(), content_uuid(solid, role(1)).c_str()) !=
            LIB3MF_OK) {
            return failed(item.get());
        }
    }
    if (NMR::lib3mf_model_setbuilduuidutf8(
            model.get(), content_uuid(solids.front().solid, 2).c_str()) != LIB3MF_OK) {
        return failed(model.get());
    }
    NMR::PLib3MFModelWriter* opened = nullptr;
    if (NMR::lib3mf_model_querywriter(model.get(), "3mf", &opened) != LIB3MF_OK) {
        return failed(model.get());
    }
    const Handle writer(opened);
    // The writer builds the whole package to measure it, and again to fill
    // the buffer; the file itself goes through the all-or-nothing write.
    ULONG64 size = 0;
    if (NMR::lib3mf_writer_getstreamsize(writer.get(), &size) != LIB3MF_OK) {
        return failed(writer.get());
    }
    package.resize(size);
    if (NMR::lib3mf_writer_writetobuffer(writer.get(), package.data(), size) != LIB3MF_OK) {
        package.clear();
        return failed(writer.get());
    }
    return true;
}

bool write_package(const PrintableSolid& solid, Bytes& package, std::string& reason) {
    return write_objects({PlacedSolid{solid, "supershape", 0.0f, 0.0f}}, package, reason);
}

}  // namespace

namespace {

// What lib3mf 1.8 makes of a coordinate: it writes the float product of it
// and a million cut to a whole number (six decimals, cut off rather than
// rounded) and reads that decimal back as the nearest float.
float as_read_back(float value) {
    const auto millionths = static_cast<long long>(value * 1000000.0f);
    const long long whole = millionths < 0 ? -millionths : millionths;
    char text[40];
    const int length = std::snprintf(text, sizeof text, "%s%lld.%06lld", millionths < 0 ? "-" : "",
                                     whole / 1000000, whole % 1000000);
    float read = 0.0f;
    std::from_chars(text, text + length, read);
    return read;
}

// A coordinate that comes back from a 3MF as itself, near the given one.
// The decimal read back mostly writes the same decimal again, but one whose
// nearest float lies a hair toward zero of it loses another millionth on
// the next write: a few steps toward zero, in all a few micrometres.
float settled(float value) {
    for (int step = 0; step < 64; ++step) {
        const float next = as_read_back(value);
        if (next == value) break;
        value = next;
    }
    return value;
}

}  // namespace

bool settle_as_threemf_keeps(PrintableSolid& solid, std::string& reason) {
    std::transform(solid.vertices.begin(), solid.vertices.end(), solid.vertices.begin(),
                   [](const Vec3& v) {
                       return Vec3{settled(v.x), settled(v.y), settled(v.z)};
                   });
    // lib3mf itself has the last word: what it reads back is taken, until a
    // write and a read leave every coordinate as it is.
    for (int pass = 0; pass < 4; ++pass) {
        Bytes package;
        if (!write_package(solid, package, reason)) return false;
        ThreemfMesh read;
        if (!read_threemf(package, read) || read.vertices.size() != solid.vertices.size()) {
            reason = "lib3mf cannot read back the 3MF it wrote";
            return false;
        }
        if (std::memcmp(read.vertices.data(), solid.vertices.data(),
                        solid.vertices.size() * sizeof(Vec3)) == 0) {
            return true;
        }
        solid.vertices = std::move(read.vertices);
    }
    reason = "its coordinates do not settle at the six decimals a 3MF keeps";
    return false;
}

namespace {

// How far from a coordinate the other values a 3MF holds are looked for, in
// millionths either way.
constexpr int nearby_millionths = 2;

// The values a 3MF holds within that many millionths of `value`, each as
// the float that comes back as itself.
std::vector<float> kept_values_near(float value) {
    const auto millionths = static_cast<long long>(value * 1000000.0f);
    std::vector<float> near;
    for (long long d = millionths - nearby_millionths; d <= millionths + nearby_millionths; ++d) {
        const long long whole = d < 0 ? -d : d;
        char text[40];
        const int length = std::snprintf(text, sizeof text, "%s%lld.%06lld", d < 0 ? "-" : "",
                                         whole / 1000000, whole % 1000000);
        float read = 0.0f;
        std::from_chars(text, text + length, read);
        near.push_back(settled(read));
    }
    std::sort(near.begin(), near.end());
    near.erase(std::unique(near.begin(), near.end()), near.end());
    return near;
}

}  // namespace

bool uncross_as_threemf_keeps(PrintableSolid& solid, const std::vector<Vec3>& before) {
    if (before.size() != solid.vertices.size() || solid.vertices.empty()) return false;
    float plate = solid.vertices.front().z;
    for (const Vec3& v : solid.vertices) plate = std::min(plate, v.z);
    const auto candidates = [&](uint32_t index) {
        const Vec3& was = before[index];
        const std::vector<float> xs = kept_values_near(was.x), ys = kept_values_near(was.y);
        const std::vector<float> zs =
            solid.vertices[index].z == plate ? std::vector<float>{plate} : kept_values_near(was.z);
        std::vector<Vec3> offered;
        for (const float x : xs) {
            for (const float y : ys) {
                // cppcheck-suppress useStlAlgorithm
                for (const float z : zs) offered.push_back({x, y, z});
            }
        }
        // Nearest to where it was first, so that ties keep the smallest move.
        const auto distance = [&](const Vec3& p) {
            const double dx = double(p.x) - was.x, dy = double(p.y) - was.y,
                         dz = double(p.z) - was.z;
            return dx * dx + dy * dy + dz * dz;
        };
        std::stable_sort(offered.begin(), offered.end(),
                         [&](const Vec3& a, const Vec3& b) { return distance(a) < distance(b); });
        return offered;
    };
    return uncross(solid.vertices, solid.triangles, candidates);
}

namespace {

// The solid as it goes to lib3mf, so that its file is sound as written,
// with that file.
bool sound_threemf(const PrintableSolid& solid, PrintableSolid& written, Bytes& package,
                   std::string& reason) {
    written = solid;
    if (!write_package(solid, package, reason)) return false;
    if (sound_as_written(package, reason)) return true;
    package.clear();
    // Where two sheets of the surface pass closer than a millionth, the six
    // decimals can carry one through the other (preset 11 at most sizes:
    // its seam meridian runs within micrometres of the axis, and near the
    // top the surface folds back down along it, so the axis is passed twice
    // a tenth of a micrometre apart). Only the corners of the triangles
    // that cross are moved, each to another value the file holds; the solid
    // is then written and checked as written again. A solid whose file was
    // already sound never comes here, so its bytes are as they were.
    std::string why;
    if (!settle_as_threemf_keeps(written, why) ||
        !uncross_as_threemf_keeps(written, solid.vertices) ||
        !write_package(written, package, why) || !sound_as_written(package, why)) {
        package.clear();
        return false;
    }
    return true;
}

}  // namespace

bool threemf_bytes(const PrintableSolid& solid, Bytes& package, std::string& reason) {
    PrintableSolid written;
    return sound_threemf(solid, written, package, reason);
}

bool threemf_plate_bytes(const std::vector<PlacedSolid>& solids, Bytes& package,
                         std::string& reason) {
    std::vector<PlacedSolid> written = solids;
    for (size_t i = 0; i < solids.size(); ++i) {
        Bytes alone;
        if (!sound_threemf(solids[i].solid, written[i].solid, alone, reason)) {
            reason.insert(0, solids[i].name + ": ");
            return false;
        }
    }
    if (!write_objects(written, package, reason)) return false;
    // The plate read back: every object as its own file held it.
    std::vector<ThreemfItem> items;
    if (!read_threemf_items(package, items) || items.size() != solids.size()) {
        package.clear();
        reason = "lib3mf cannot read back the 3MF it wrote";
        return false;
    }
    for (size_t i = 0; i < items.size(); ++i) {
        const std::vector<TriangleCorners> triangles = items[i].mesh.triangles;
        double volume = 0.0;
        if (!orient_and_check_solid(items[i].mesh.vertices, items[i].mesh.triangles, volume,
                                    reason) ||
            items[i].mesh.triangles != triangles) {
            package.clear();
            reason.insert(0, solids[i].name + ": at the six decimals a 3MF keeps, ");
            return false;
        }
    }
    return true;
}

bool read_threemf_items(const Bytes& package, std::vector<ThreemfItem>& items) {
    items.clear();
    const Handle model = read_model(package);
    if (model == nullptr) return false;
    DWORD unit = 0;
    NMR::PLib3MFBase* listed = nullptr;
    if (NMR::lib3mf_model_getunit(model.get(), &unit) != LIB3MF_OK ||
        NMR::lib3mf_model_getbuilditems(model.get(), &listed) != LIB3MF_OK) {
        return false;
    }
    const Handle build(listed);
    for (;;) {
        BOOL found = 0;
        NMR::PLib3MFBase* current = nullptr;
        if (NMR::lib3mf_builditemiterator_movenext(build.get(), &found) != LIB3MF_OK) return false;
        if (found == 0) break;
        if (NMR::lib3mf_builditemiterator_getcurrent(build.get(), &current) != LIB3MF_OK) {
            return false;
        }
        const Handle item(current);
        NMR::PLib3MFBase* resource = nullptr;
        BOOL moved = 0;
        NMR::MODELTRANSFORM move{};
        if (NMR::lib3mf_builditem_getobjectresource(item.get(), &resource) != LIB3MF_OK) {
            return false;
        }
        const Handle object(resource);
        if (NMR::lib3mf_builditem_hasobjecttransform(item.get(), &moved) != LIB3MF_OK ||
            (moved != 0 &&
             NMR::lib3mf_builditem_getobjecttransform(item.get(), &move) != LIB3MF_OK)) {
            return false;
        }
        ThreemfItem read;
        read.mesh.millimetres = unit == NMR::MODELUNIT_MILLIMETER;
        if (moved != 0) {
            read.offset = {move.m_fFields[0][3], move.m_fFields[1][3], move.m_fFields[2][3]};
            read.turned = !(move.m_fFields[0][0] == 1 && move.m_fFields[1][1] == 1 &&
                            move.m_fFields[2][2] == 1 && move.m_fFields[0][1] == 0 &&
                            move.m_fFields[0][2] == 0 && move.m_fFields[1][0] == 0 &&
                            move.m_fFields[1][2] == 0 && move.m_fFields[2][0] == 0 &&
                            move.m_fFields[2][1] == 0);
        }
        char name[256] = {};
        ULONG needed = 0;
        if (NMR::lib3mf_object_getnameutf8(object.get(), name, sizeof name, &needed) == LIB3MF_OK) {
            read.name = name;
        }
        if (!read_mesh_object(object.get(), read.mesh)) return false;
        items.push_back(std::move(read));
    }
    return true;
}

}  // namespace solidmorph
