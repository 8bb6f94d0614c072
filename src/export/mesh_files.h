#pragma once

// Every format's writer, for code that writes more than one; each lives in
// a file of its own.
#include "export/glb_file.h"
#include "export/mesh_math.h"
#include "export/obj_file.h"
#include "export/png_file.h"
#include "export/stl_file.h"
