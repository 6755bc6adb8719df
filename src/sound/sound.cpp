#include "sound/sound.h"

#include "sound/sound_internal.h"

void release_script_sounds() {}

void free_sound_sets() {
    free_engine_sounds();
    free_sound_tables();
}
