// Stand-ins until the engine sounds are built.
#include "sound/sound.h"

void sound_update(double) {}
void release_script_sounds() {}
void free_sound_sets() {}
