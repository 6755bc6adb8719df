// The sound of the game as the frame loop and shutdown drive it: the engine
// voices (sound/engine_sound.h) and the track script's sounds.
#pragma once

// Once per drawn frame while an audio device is open: every voice makes its
// samples and is placed for the listener; 0 mutes, 1 is full volume.
void sound_update(double master_factor);
// The track script's sounds, released with the race (sound/script_sound.h).
void release_script_sounds();
// The voices, sound tables and sample files, at shutdown after the audio
// device has closed.
void free_sound_sets();
