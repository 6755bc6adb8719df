// Pieces the model cache and the drawing share.
#pragma once

#include "render/model.h"

// Compiles the display lists a model's meshes get: every mesh when shader
// programs are in use, otherwise the rigid meshes that are not reflection or
// self-lit meshes.
void build_display_lists(model& m);
void release_display_list(mesh& m);
