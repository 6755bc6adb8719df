// The track's objects as one part of a track load: the entries of the
// loader's parts table (most of which live in the objects' own files), the
// HUD map picture, and what a track release frees.
#pragma once

struct track_part_driver;

// Fills the object entries of a parts table: lighting, roost particles,
// flaggers, billboards, statues, the object grid, their model files and
// frees, the map and the cameras. The game fills track_parts with it at
// start-up; tests that load whole tracks do the same.
void fill_object_parts(track_part_driver& parts);

// Every object list, the grid, flaggers, cameras, lighting (fog colour
// kept) and the map: what a track release frees.
void free_track_objects();

// The HUD map picture of the loaded track; 0 when it has none.
unsigned track_map_texture();
