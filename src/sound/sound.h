// The sound of the game as the frame loop and shutdown drive it: the engine
// voices and script sounds. Their synthesis is not built yet; the frame's
// update and the release of the sound sets do nothing.
#pragma once

// Once per frame: every voice follows its bike; 0 mutes, 1 is full volume.
void sound_update(double master_factor);
// The track script's sounds, released with the race at shutdown.
void release_script_sounds();
// The loaded sound sets, at shutdown.
void free_sound_sets();
