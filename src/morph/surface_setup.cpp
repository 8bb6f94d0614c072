#include "morph/surface_setup.h"

#include "geometry/surface_mesh.h"
#include "geometry/triangle_list.h"
#include "morph/morph_scheduler.h"

namespace solidmorph {

void create_surface() {
    // Sized once here and rewritten in place every frame, so the loop never
    // allocates.
    create_mesh();
    reset_morph();
    generate_grid_surface(current_shape);
    build_grid_triangle_list();
}

void start_shapes() {
    fill_shape_table();
    start_morph();
}

}  // namespace solidmorph
