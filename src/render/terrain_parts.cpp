#include "render/terrain_parts.h"

#include "core/config.h"
#include "render/gl_caps.h"
#include "render/terrain_lighting.h"
#include "render/terrain_mesh.h"
#include "render/terrain_textures.h"
#include "track/height_field.h"
#include "track/track.h"

namespace {

void heights_loaded() { terrain_lod_build(); }

void release() {
    terrain_textures_release();
    terrain_lod_free();
}

void setup_from_settings() { terrain_textures_setup(terrain_method_for_setting(settings.render_texture)); }

bool lit_from_settings() { return terrain_will_be_lit(terrain_method_for_setting(settings.render_texture)); }

}  // namespace

bool terrain_will_be_lit(int requested) {
    bool method_ok = requested == terrain_method_copy || (requested == terrain_method_framebuffer && gl_caps.has_framebuffer_object);
    return gl_caps.terrain_shaders && terrain_lighting().dynamic_lighting && method_ok;
}

void fill_terrain_renderer(terrain_render_driver& renderer) {
    renderer.heights_loaded = heights_loaded;
    renderer.changed_region = terrain_changed_region;
    renderer.release = release;
}

void fill_terrain_parts(track_part_driver& parts) {
    parts.setup_terrain_textures = setup_from_settings;
    parts.terrain_lit = lit_from_settings;
}
