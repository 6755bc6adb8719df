#include "sound/sound.h"

#include "sound/script_sound.h"
#include "sound/sound_internal.h"

void release_script_sounds() { script_sounds_release(); }

void free_sound_sets() {
    free_engine_sounds();
    free_sound_tables();
}
