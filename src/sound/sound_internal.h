// Shared between the sound folder's files.
#pragma once

#include "sound/engine_sound.h"

// The built-in waveforms and tables, made once.
void make_builtin_tables();
// Every loaded table and cached sample file (shutdown).
void free_sound_tables();
// The voices and built-in sets (shutdown); voice sounds are released.
void free_engine_sounds();
// A slot's voice for the frame's update; voices_made is false until the
// first voice was set up.
engine_voice& voice_for_update(int slot);
bool voices_made();
