// The track's objects as the rest of the game reaches them: the loader's
// parts table, the track entries of the start-up hooks, the ground's light
// and the collision code's statue lookup.
#pragma once

// Fills track_parts (lighting, roost particles, flaggers, billboards,
// statues, object grid, map, cameras, their model files and frees),
// track_hook's lighting and camera entries, the terrain's light source and
// the object grid hooks of the bike collision pass.
void install_track_objects();

// Every object list, the grid, flaggers, cameras, lighting (fog colour
// kept) and the map: what a track release frees.
void free_track_objects();

// The HUD map picture of the loaded track; 0 when it has none.
unsigned track_map_texture();
