// The ground renderer's side of the height field and of the track load: the
// level-of-detail data and terrain textures the height field reports to,
// and the terrain textures' steps of the load. The game fills both tables
// with them at start-up; tests of whole tracks do the same.
#pragma once

struct terrain_render_driver;
struct track_part_driver;

void fill_terrain_renderer(terrain_render_driver& renderer);
void fill_terrain_parts(track_part_driver& parts);

// Whether a track loaded now would be drawn lit per pixel (and so needs the
// per-sample normal texels), from the capabilities, the lighting and the
// method asked for.
bool terrain_will_be_lit(int requested_method);
