// Connects the ground's textures and mesh to the height field, the track
// load and the per-frame terrain upkeep.
#pragma once

// Fills the height field's renderer hooks, the track load's terrain texture
// and lit-terrain entries, and the frame loop's terrain upkeep.
void install_terrain();

// Whether a track loaded now would be drawn lit per pixel (and so needs the
// per-sample normal texels), from the capabilities, the lighting and the
// method asked for.
bool terrain_will_be_lit(int requested_method);
