// Drawing a bike and its rider, and the drawing data kept per slot.
#include "render/bike_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/image_mip.h"
#include "render/model.h"
#include "render/shaders.h"
#include "render/texture.h"

namespace {

// ---- the plan ------------------------------------------------------------------------

void set_placement(part_draw& p, const dvec3 axis[3], dvec3 position) {
    for (int c = 0; c < 3; c++) {
        p.placement[c * 4 + 0] = (float)axis[c].x;
        p.placement[c * 4 + 1] = (float)axis[c].y;
        p.placement[c * 4 + 2] = (float)axis[c].z;
        p.placement[c * 4 + 3] = 0;
    }
    p.placement[12] = (float)position.x;
    p.placement[13] = (float)position.y;
    p.placement[14] = (float)position.z;
    p.placement[15] = 1;
}

pose_body body_of(const bike_state& bike, bike_body body) {
    pose_body f;
    if (!bike.bodies[body]) return f;
    double p[3], r[9];
    get_body_position(bike, body, p);
    get_body_rotation(bike, body, r);
    f.position = {p[0], p[1], p[2]};
    for (int c = 0; c < 3; c++) f.axis[c] = {r[c], r[3 + c], r[6 + c]};
    return f;
}

// ---- the drawing data ------------------------------------------------------------------

enum texture_group { group_bike, group_wheels, group_rider_body, group_rider_head, group_number };

struct part_source {
    int file;  // model_files row
    texture_group group;
};
constexpr part_source part_sources[bike_part_count] = {
    {file_frame_model, group_bike},           {file_fork_upper_model, group_bike},
    {file_fork_lower_model, group_bike},      {file_swingarm_model, group_bike},
    {file_front_wheel_model, group_wheels},   {file_rear_wheel_model, group_wheels},
    {file_rider_body_model, group_rider_body}, {file_rider_body_fp_model, group_rider_body},
    {file_rider_head_model, group_rider_head}, {file_side_plates_model, group_number},
    {file_front_plate_model, group_number},   {file_rider_plate_model, group_number},
};
constexpr int group_texture_file[4] = {file_bike_texture, file_wheel_texture, file_rider_body_texture,
                                       file_rider_head_texture};

std::array<std::unique_ptr<bike_drawing>, bike_slot_count> g_drawings;
number_plate_painter g_painter = nullptr;
// Counts painter installations; plates painted under an older one are
// painted again.
unsigned g_painting = 1;
// The generations the table was last swept for.
int g_swept_models = -1, g_swept_textures = -1;

// The plate text, at most 7 characters even if the record lost its end.
std::string number_of(const bike_state& bike) { return std::string(bike.number, strnlen(bike.number, 7)); }

std::array<std::string, 4> custom_textures_of(const bike_state& bike) {
    return {bike.bike_texture, bike.wheel_texture, bike.rider_body_texture, bike.rider_head_texture};
}

// Compared on every draw, so without making copies.
bool still_current(const bike_drawing& d, const bike_state& bike) {
    const std::string* custom[4] = {&bike.bike_texture, &bike.wheel_texture, &bike.rider_body_texture,
                                    &bike.rider_head_texture};
    for (int g = 0; g < 4; g++)
        if (d.custom_textures[(size_t)g] != *custom[g]) return false;
    return d.model_index == bike.model_index && d.number.size() == strnlen(bike.number, 7) &&
           d.number.compare(0, d.number.size(), bike.number, d.number.size()) == 0 &&
           d.model_generation == model_generation && d.texture_generation == texture_generation &&
           d.plate_driver == &texture_output();
}

void free_plate(bike_drawing& d) {
    if (d.plate_texture && d.plate_driver) d.plate_driver->destroy(d.plate_texture);
    d.plate_texture = 0;
}

void upload_plate(bike_drawing& d) {
    std::vector<uint8_t> level0 = number_plate_pixels(d.number.c_str(), d.plate_colours);
    const int n = number_plate_size;
    std::vector<uint8_t> chain(mip_chain_bytes(n, n, 3));
    std::copy(level0.begin(), level0.end(), chain.begin());
    build_mip_chain(chain.data(), n, n, 3);
    texture_upload u;
    u.pixels = chain.data();
    u.width = u.height = n;
    u.channels = 3;
    u.levels = mip_level_count(n, n);
    if (d.plate_texture) {
        d.plate_driver->update(d.plate_texture, u);
    } else {
        d.plate_driver = &texture_output();
        d.plate_texture = d.plate_driver->create();
        if (d.plate_texture) d.plate_driver->upload(d.plate_texture, u);
    }
    d.plate_painting = g_painting;
}

void make_drawing(bike_drawing& d, const bike_state& bike) {
    free_plate(d);
    const bike_info& info = bike_model(bike);
    d.model_index = bike.model_index;
    d.number = number_of(bike);
    d.custom_textures = custom_textures_of(bike);

    // A chosen texture that is missing or unreadable gives way to the
    // model's own.
    unsigned group_texture[4] = {};
    for (int g = 0; g < 4; g++) {
        const std::string& custom = d.custom_textures[(size_t)g];
        unsigned id = custom.empty() ? 0 : texture_load(custom.c_str());
        d.texture_names[(size_t)g] = id ? custom : std::string(info.model_files[group_texture_file[g]]);
        if (!id) id = texture_load(d.texture_names[(size_t)g].c_str());
        group_texture[g] = id;
    }
    const texture_record* bike_texture = texture_of(group_texture[group_bike]);
    d.plate_colours = number_plate_colours_of(bike_texture ? bike_texture->info_text : std::string());
    d.plate_driver = &texture_output();
    upload_plate(d);

    for (int p = 0; p < bike_part_count; p++) {
        bike_part_art& art = d.parts[(size_t)p];
        const part_source& src = part_sources[p];
        art = bike_part_art{};
        art.model_name = info.model_files[src.file];
        art.shape = model_load(art.model_name.c_str());
        if (src.group == group_number) {
            art.texture = d.plate_texture;
            continue;
        }
        art.texture = group_texture[src.group];
        const char* texture_name = d.texture_names[(size_t)src.group].c_str();
        art.normal_map = texture_companion(texture_name, art.model_name.c_str(), "_norm");
        art.specular_map = texture_companion(texture_name, art.model_name.c_str(), "_spec");
    }
    // Everything found above is now marked used by the current generations.
    d.model_generation = model_generation;
    d.texture_generation = texture_generation;
}

bike_drawing* ensure_drawing(const bike_state& bike) {
    int slot = bike.slot_index;
    if (slot < 0 || slot >= bike_slot_count) return nullptr;
    // A new load generation: the data of bikes that went, and data that
    // still points at released models, is let go before anything is made.
    if (g_swept_models != model_generation || g_swept_textures != texture_generation) release_bike_drawings();
    auto& entry = g_drawings[(size_t)slot];
    if (!entry) entry = std::make_unique<bike_drawing>();
    if (!still_current(*entry, bike))
        make_drawing(*entry, bike);
    else if (entry->plate_painting != g_painting)
        upload_plate(*entry);
    return entry.get();
}

// ---- GL ------------------------------------------------------------------------------

bool multitexture() { return glext.ActiveTextureARB != nullptr; }

void bind_unit(int unit, unsigned texture) {
    if (unit > 0 && !multitexture()) return;
    if (multitexture()) glext.ActiveTextureARB(GL_TEXTURE0_ARB + unit);
    glBindTexture(GL_TEXTURE_2D, texture);
    if (multitexture()) glext.ActiveTextureARB(GL_TEXTURE0_ARB);
}

// The colour texture on unit 0 and, with shader programs, the normal and
// specular maps on units 1 and 2; then the program that uses what is there.
void bind_lit_set(const bike_part_art& art) {
    bind_unit(0, art.texture);
    if (!gl_caps.use_shaders) return;
    if (art.normal_map) bind_unit(1, art.normal_map);
    if (art.normal_map && art.specular_map) bind_unit(2, art.specular_map);
    use_program(art.normal_map && art.specular_map ? program_norm_spec_lit
                : art.normal_map                   ? program_norm_lit
                                                   : program_lit);
}

model* level_for(model* m, const part_draw& p, const bike_draw_plan& plan, const bike_draw_options& options) {
    if (!options.camera_known) return m;
    dvec3 at = p.skinned ? plan.pose.bones[bone_torso].t : dvec3{p.placement[12], p.placement[13], p.placement[14]};
    dvec3 d = at - dvec3{options.camera[0], options.camera[1], options.camera[2]};
    // The coarser versions belong to the cached model and are drawn (and,
    // when skinned, posed) like it.
    return const_cast<model*>(choose_lod(*m, length_sq(d)));
}

void draw_part(model& m, const part_draw& p, model_pass pass, const model_pose& pose) {
    if (p.skinned) {
        draw_model(m, pass, &pose);
        return;
    }
    glPushMatrix();
    glMultMatrixf(p.placement);
    draw_model(m, pass);
    glPopMatrix();
}

constexpr int lit_order[] = {part_frame,     part_fork_upper,    part_fork_lower, part_swingarm,
                             part_front_wheel, part_rear_wheel, part_rider_body, part_rider_body_fp,
                             part_rider_head, part_side_plates, part_front_plate, part_rider_plate};

}  // namespace

// ---- the plan ------------------------------------------------------------------------

bike_draw_plan plan_bike_draw(const bike_state& bike, int view_mode, bool has_first_person_body) {
    if (view_mode < view_outside || view_mode > view_first_person_rider) view_mode = view_outside;
    bike_draw_plan plan;
    pose_input in = pose_input_of(bike);
    plan.head_clearance = apply_head_clearance(in);
    plan.pose = full_rider_pose(in);
    plan.head = head_pose(in);
    plan.skin = skin_arrays_of(plan.pose, *in.geometry);

    bool first_person = view_mode != view_outside;
    // The rear of the bike is behind the rider's eyes while he sits on it.
    bool hide_rear = first_person && rider_on_bike(bike);
    auto rigid = [&](bike_part part, bike_body body, bool lit, bool additive) {
        part_draw& p = plan.parts[part];
        pose_body f = body_of(bike, body);
        set_placement(p, f.axis, f.position);
        p.lit = lit;
        p.additive = additive;
    };
    rigid(part_frame, body_frame, true, true);
    rigid(part_fork_upper, body_fork_upper, true, true);
    rigid(part_fork_lower, body_fork_lower, true, !hide_rear);
    rigid(part_swingarm, body_swingarm, !hide_rear, !hide_rear);
    rigid(part_front_wheel, body_front_wheel, true, !hide_rear);
    rigid(part_rear_wheel, body_rear_wheel, !hide_rear, !hide_rear);
    rigid(part_side_plates, body_frame, true, false);
    rigid(part_front_plate, body_fork_upper, true, false);

    if (view_mode == view_outside) plan.parts[part_rider_body].lit = true;
    if (view_mode == view_first_person_rider)
        plan.parts[has_first_person_body ? part_rider_body_fp : part_rider_body].lit = true;
    plan.parts[part_rider_body].skinned = plan.parts[part_rider_body_fp].skinned = true;
    plan.parts[part_rider_plate].skinned = true;
    plan.parts[part_rider_plate].lit = view_mode == view_outside;
    if (view_mode == view_outside) {
        part_draw& head = plan.parts[part_rider_head];
        const dvec3 axes[3] = {plan.head.x, plan.head.y, plan.head.z};
        set_placement(head, axes, plan.head.position);
        head.lit = true;
    }
    return plan;
}

// ---- number plates ----------------------------------------------------------------------

number_plate_colours number_plate_colours_of(const std::string& info_text) {
    number_plate_colours c;
    auto read = [&](const char* tag, uint8_t out[3]) {
        size_t at = info_text.find(tag);
        if (at == std::string::npos) return;
        float v[3];
        if (sscanf(info_text.c_str() + at + strlen(tag), "%f,%f,%f", &v[0], &v[1], &v[2]) != 3) return;
        for (float x : v)
            if (!std::isfinite(x)) return;
        for (int k = 0; k < 3; k++) out[k] = (uint8_t)(std::clamp(v[k], 0.0f, 1.0f) * 255);
    };
    read("[numberbackground:", c.background);
    read("[numberforeground:", c.foreground);
    return c;
}

void set_number_plate_painter(number_plate_painter painter) {
    g_painter = painter;
    g_painting++;
}
number_plate_painter current_number_plate_painter() { return g_painter; }

std::vector<uint8_t> number_plate_pixels(const char* number, const number_plate_colours& colours) {
    const int n = number_plate_size;
    std::vector<uint8_t> rgb((size_t)n * n * 3);
    for (size_t i = 0; i < (size_t)n * n; i++)
        for (int k = 0; k < 3; k++) rgb[i * 3 + (size_t)k] = colours.background[k];
    // The digits come from the on-screen text code once it is there; until
    // then a plate shows only its background.
    char text[8];
    snprintf(text, sizeof text, "%s", number ? number : "");
    if (g_painter && text[0]) g_painter(text, colours, rgb.data(), n);
    return rgb;
}

// ---- the drawing data ----------------------------------------------------------------------

const bike_drawing* attach_bike_drawing(const bike_state& bike) { return ensure_drawing(bike); }

const bike_drawing* bike_drawing_of(int slot) {
    if (slot < 0 || slot >= bike_slot_count) return nullptr;
    return g_drawings[(size_t)slot].get();
}

void detach_bike_drawing(int slot) {
    if (slot < 0 || slot >= bike_slot_count) return;
    auto& entry = g_drawings[(size_t)slot];
    if (!entry) return;
    free_plate(*entry);
    entry.reset();
}

void release_bike_drawings() {
    g_swept_models = model_generation;
    g_swept_textures = texture_generation;
    for (int slot = 0; slot < bike_slot_count; slot++) {
        const auto& entry = g_drawings[(size_t)slot];
        if (!entry) continue;
        bool stale = entry->model_generation != model_generation || entry->texture_generation != texture_generation ||
                     entry->plate_driver != &texture_output();
        if (stale || !bike_in_slot(slot)) detach_bike_drawing(slot);
    }
}

void free_bike_drawings() {
    for (int slot = 0; slot < bike_slot_count; slot++) detach_bike_drawing(slot);
}

// ---- drawing ----------------------------------------------------------------------------

void draw_bike(const bike_state& bike, int view_mode, const bike_draw_options& options) {
    if (!models_use_gl()) return;
    float opacity = std::isfinite(options.opacity) ? std::clamp(options.opacity, 0.0f, 1.0f) : 1.0f;
    if (opacity <= 0) return;
    bike_drawing* d = ensure_drawing(bike);
    if (!d) return;
    bike_draw_plan plan = plan_bike_draw(bike, view_mode, d->parts[part_rider_body_fp].shape != nullptr);
    model_pose pose{rider_bone_count, plan.skin.centres, plan.skin.translations, plan.skin.rotations};

    int program_before = current_program();
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_LIGHTING_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT |
                 GL_TRANSFORM_BIT);
    glMatrixMode(GL_MODELVIEW);

    // Lit pass: a ghost's opacity scales the material's alpha.
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_LIGHTING);
    const GLfloat material[4] = {1, 1, 1, opacity};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, material);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, material);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (!gl_caps.use_shaders) use_program(program_fixed);
    for (int p : lit_order) {
        const part_draw& pd = plan.parts[(size_t)p];
        bike_part_art& art = d->parts[(size_t)p];
        if (!pd.lit || !art.shape) continue;
        bind_lit_set(art);
        draw_part(*level_for(art.shape, pd, plan, options), pd, model_pass::normal, pose);
    }

    // Additive pass: the reflective meshes again, with the environment map.
    bool any_reflective = false;
    for (int p = 0; p < bike_part_count; p++) {
        const bike_part_art& art = d->parts[(size_t)p];
        any_reflective |= plan.parts[(size_t)p].additive && art.shape && art.shape->reflective;
    }
    if (options.environment_texture && any_reflective) {
        glDisable(GL_LIGHTING);
        glBlendFunc(GL_ONE, GL_ONE);
        glColor4f(opacity, opacity, opacity, opacity);
        bind_unit(0, options.environment_texture);
        if (!gl_caps.use_shaders) {
            // Without programs a sphere map stands in for the angular map.
            use_program(program_fixed);
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glEnable(GL_TEXTURE_GEN_S);
            glEnable(GL_TEXTURE_GEN_T);
        }
        for (int p = 0; p < bike_part_count; p++) {
            const part_draw& pd = plan.parts[(size_t)p];
            bike_part_art& art = d->parts[(size_t)p];
            if (!pd.additive || !art.shape || !art.shape->reflective) continue;
            if (gl_caps.use_shaders) {
                if (art.normal_map) bind_unit(1, art.normal_map);
                use_program(art.normal_map ? program_norm_env : program_env);
            }
            draw_part(*level_for(art.shape, pd, plan, options), pd, model_pass::reflection, pose);
        }
    }

    use_program(program_before);
    glPopAttrib();
}
