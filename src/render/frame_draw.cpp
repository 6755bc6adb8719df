// The world's frame in its fixed order. Every step that ends with a label
// is a stutter checkpoint of the frame loop.
#include "render/frame_draw.h"

#include <GL/gl.h>
#include <ode/ode.h>

#include <time.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bike/bike.h"
#include "bike/rider_pose.h"
#include "core/clock.h"
#include "core/cmdline.h"
#include "core/config.h"
#include "core/diag.h"
#include "render/bike_draw.h"
#include "render/gl_caps.h"
#include "render/gl_ext.h"
#include "render/model.h"
#include "render/shaders.h"
#include "render/terrain_textures.h"
#include "render/texture.h"
#include "track/objects_billboards.h"
#include "track/objects_cameras.h"
#include "track/objects_flaggers.h"
#include "track/objects_lighting.h"
#include "track/objects_statues.h"

frame_slot_driver frame_slots;

namespace {

frame_counters g_counters;
std::array<frame_label_time, frame_label_count> g_times;
int g_label = 0;
double g_mark = 0;
sound_listener g_listener;

double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

// A labelled step is over: its time, and the loop's stutter checkpoint.
void step_done(const char* label) {
    double now = thread_seconds();
    if (g_label < frame_label_count) g_times[(size_t)g_label++] = {label, now - g_mark};
    g_mark = now;
    checkpoint(label);
}
frustum_extents g_frustum;
std::vector<billboard_entry> g_list;

using vec3 = std::array<double, 3>;

vec3 sub(const vec3& a, const vec3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const vec3& a, const vec3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
vec3 cross(const vec3& a, const vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
vec3 normalized(const vec3& a, const vec3& fallback) {
    double l = std::sqrt(dot(a, a));
    if (!(l > 1e-12) || !std::isfinite(l)) return fallback;
    return {a[0] / l, a[1] / l, a[2] / l};
}

frame_camera from_axes(const vec3& position, const vec3& right, const vec3& up, const vec3& back) {
    frame_camera c;
    c.position = position;
    for (int r = 0; r < 3; r++) {
        c.orientation[r * 3 + 0] = right[r];
        c.orientation[r * 3 + 1] = up[r];
        c.orientation[r * 3 + 2] = back[r];
    }
    return c;
}

vec3 column(const frame_camera& c, int k) { return {c.orientation[k], c.orientation[3 + k], c.orientation[6 + k]}; }

// The GL matrix whose rotation is the transpose of the orientation.
void load_view_rotation(const frame_camera& c) {
    float m[16] = {0};
    for (int col = 0; col < 3; col++)
        for (int row = 0; row < 3; row++) m[col * 4 + row] = (float)c.orientation[col * 3 + row];
    m[15] = 1;
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(m);
}

void bind(unsigned texture) {
    glBindTexture(GL_TEXTURE_2D, texture);
    g_counters.texture_binds++;
}

// ---- sky -------------------------------------------------------------------------

void draw_sky() {
    glClear(GL_DEPTH_BUFFER_BIT);
    glDepthMask(GL_FALSE);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glColor4f(1, 1, 1, 1);
    const float lo = 1.0f / 128, hi = 127.0f / 128;
    // Corners top-left, bottom-left, bottom-right, top-right of each face
    // as seen from inside the cube.
    struct face {
        int picture;
        float corner[4][3];
    };
    static const face faces[5] = {
        {sky_n, {{-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}}},
        {sky_e, {{1, 1, -1}, {1, -1, -1}, {1, -1, 1}, {1, 1, 1}}},
        {sky_s, {{1, 1, 1}, {1, -1, 1}, {-1, -1, 1}, {-1, 1, 1}}},
        {sky_w, {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}}},
        {sky_u, {{-1, 1, -1}, {-1, 1, 1}, {1, 1, 1}, {1, 1, -1}}},  // north at the top edge
    };
    const float st[4][2] = {{lo, lo}, {lo, hi}, {hi, hi}, {hi, lo}};
    glDisable(GL_CULL_FACE);
    for (const face& f : faces) {
        unsigned t = track_lighting.sky[(size_t)f.picture];
        if (!t) continue;
        bind(t);
        glBegin(GL_QUADS);
        for (int k = 0; k < 4; k++) {
            glTexCoord2f(st[k][0], st[k][1]);
            glVertex3fv(f.corner[k]);
        }
        glEnd();
    }
    glEnable(GL_CULL_FACE);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDepthMask(GL_TRUE);
}

void set_fog() {
    if (!(track_lighting.fog_density > 0)) {
        glDisable(GL_FOG);
        return;
    }
    glEnable(GL_FOG);
    glFogi(GL_FOG_MODE, GL_EXP);
    glFogf(GL_FOG_DENSITY, track_lighting.fog_density);
    glFogfv(GL_FOG_COLOR, track_lighting.fog_color.data());
}

void set_sun() {
    const lighting_record& l = track_lighting;
    float position[4] = {l.sun_vector[0], l.sun_vector[1], l.sun_vector[2], 0};
    float ambient[4] = {l.ambient[0], l.ambient[1], l.ambient[2], 1};
    float sun[4] = {l.sun_color[0], l.sun_color[1], l.sun_color[2], 1};
    float global[4] = {l.global_ambient[0], l.global_ambient[1], l.global_ambient[2], 1};
    glEnable(GL_LIGHT0);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, sun);
    glLightfv(GL_LIGHT0, GL_SPECULAR, sun);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
}

// ---- bikes -----------------------------------------------------------------------

vec3 frame_position(const bike_state& b) {
    const dReal* p = b.bodies[body_frame] ? dBodyGetPosition(b.bodies[body_frame]) : nullptr;
    return p ? vec3{p[0], p[1], p[2]} : vec3{0, 0, 0};
}

std::array<float, bike_slot_count> g_fade;

void compute_fades(const frame_race& race) {
    int local = race.local_slot;
    const bike_state* mine = local >= 0 ? bike_in_slot(local) : nullptr;
    bool online = race.online;
    for (int s = 0; s < bike_slot_count; s++) {
        const bike_state* b = bike_in_slot(s);
        float fade = 1;
        if (b && !online && mine && frame_slots.replayed && frame_slots.replayed(s)) {
            vec3 d = sub(frame_position(*b), frame_position(*mine));
            fade = ghost_fade(std::sqrt(dot(d, d)), settings.ghost_fade_distance);
        } else if (b && frame_slots.hidden && frame_slots.hidden(s)) {
            fade = 0;
        }
        g_fade[(size_t)s] = fade;
    }
}

// Every drawn part of a bike lies within this many feet of its frame's
// centre, and every part of a rider within as many of the rider body's.
constexpr double part_reach = 6;

// Bikes wholly outside the view are not drawn: the sphere around the frame
// and the rider (who may lie well away from the bike after a crash).
bool bike_in_view(const frame_camera& cam, const bike_state& b) {
    vec3 frame = frame_position(b), rider = frame;
    if (const dReal* p = b.bodies[body_rider] ? dBodyGetPosition(b.bodies[body_rider]) : nullptr)
        rider = {p[0], p[1], p[2]};
    vec3 centre{(frame[0] + rider[0]) / 2, (frame[1] + rider[1]) / 2, (frame[2] + rider[2]) / 2};
    vec3 half = sub(rider, centre);
    vec3 d = sub(centre, cam.position);
    double x = dot(d, column(cam, 0)), y = dot(d, column(cam, 1)), z = dot(d, column(cam, 2));
    return sphere_in_view(x, y, z, part_reach + std::sqrt(dot(half, half)), g_frustum);
}

void draw_bikes(const frame_camera& cam, int first_person_slot, bool ghosts) {
    bike_draw_options options;
    options.environment_texture = settings.reflections ? track_lighting.sky[sky_env] : 0;
    options.camera_known = true;
    for (int k = 0; k < 3; k++) options.camera[k] = cam.position[(size_t)k];
    for (int s = 0; s < bike_slot_count; s++) {
        const bike_state* b = bike_in_slot(s);
        float fade = g_fade[(size_t)s];
        if (!b || (ghosts ? !(fade > 0 && fade < 1) : fade < 1)) continue;
        if (s != first_person_slot && !bike_in_view(cam, *b)) continue;
        int mode = s == first_person_slot ? (settings.hide_rider ? view_first_person_bike : view_first_person_rider)
                                          : view_outside;
        options.opacity = ghosts ? fade : 1;
        draw_bike(*b, mode, options);
    }
}

// ---- statues ---------------------------------------------------------------------

void draw_statues(const frame_camera& cam) {
    glEnable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    float white[4] = {1, 1, 1, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, white);
    for (statue& s : track_statues()) {
        if (!s.model_ref) continue;
        vec3 at{s.x, s.y, s.z};
        vec3 d = sub(at, cam.position);
        double d2 = dot(d, d);
        float m[16] = {0};
        m[15] = 1;
        m[12] = s.x, m[13] = s.y, m[14] = s.z;
        double scale = render_settings.model_lod_scale, bias = render_settings.model_lod_bias;
        double reach = s.face_distance - bias;
        if (s.face_distance > 0 && reach * reach < d2 * scale * scale) {
            // An impostor far enough off turns about the vertical to face the viewer.
            vec3 z = normalized({-d[0], 0, -d[2]}, {0, 0, 1});
            m[0] = (float)z[2], m[2] = (float)-z[0];
            m[5] = 1;
            m[8] = (float)z[0], m[10] = (float)z[2];
        } else {
            for (int col = 0; col < 3; col++)
                for (int row = 0; row < 3; row++) m[col * 4 + row] = s.orientation[(size_t)(row * 3 + col)];
        }
        const model* drawn = choose_lod(*s.model_ref, d2);
        bind(s.texture);
        if (gl_caps.use_shaders) {
            if (s.normal_map && glext.ActiveTextureARB) {
                glext.ActiveTextureARB(GL_TEXTURE1_ARB);
                glBindTexture(GL_TEXTURE_2D, s.normal_map);
                if (s.specular_map) {
                    glext.ActiveTextureARB(GL_TEXTURE2_ARB);
                    glBindTexture(GL_TEXTURE_2D, s.specular_map);
                }
                glext.ActiveTextureARB(GL_TEXTURE0_ARB);
            }
            use_program(s.normal_map && s.specular_map ? program_norm_spec_lit
                        : s.normal_map                 ? program_norm_lit
                                                       : program_lit);
        }
        glPushMatrix();
        glMultMatrixf(m);
        model_pose pose;
        if (s.bone_count > 0 && (int)s.bone_centres.size() >= 3 * s.bone_count &&
            (int)s.bone_offsets.size() >= 3 * s.bone_count && (int)s.bone_rotations.size() >= 9 * s.bone_count) {
            pose = {s.bone_count, s.bone_centres.data(), s.bone_offsets.data(), s.bone_rotations.data()};
            draw_model(const_cast<model&>(*drawn), model_pass::normal, &pose);
        } else {
            draw_model(const_cast<model&>(*drawn), model_pass::normal);
        }
        glPopMatrix();
    }
    if (gl_caps.use_shaders) use_program(program_fixed);
    glDisable(GL_LIGHTING);
}

// ---- billboards ------------------------------------------------------------------

void draw_billboards(const frame_camera& cam) {
    std::vector<billboard>& all = track_billboards();
    vec3 b = column(cam, 2);
    double rx = b[2], rz = -b[0];
    double rl = std::hypot(rx, rz);
    g_list.clear();
    uint32_t camera_key = depth_key(dot(b, cam.position));
    for (size_t k = 0; k < all.size(); k++) {
        billboard& bb = all[k];
        if (!bb.texture || bb.tint[3] == 0) continue;
        double extra = k < (size_t)roost_particle_count ? (double)bb.size * bb.aspect : 0.0;
        uint32_t key = depth_key(dot(b, vec3{bb.x, bb.y, bb.z}) + extra);
        bb.depth_key = (int)std::min<uint32_t>(key, 2147483647u);
        if (key >= camera_key) continue;
        billboard_entry e;
        e.index = (int)k;
        e.key = key;
        e.texture = bb.texture;
        e.x = bb.x - cam.position[0];
        e.z = bb.z - cam.position[2];
        e.half_width = bb.size * bb.aspect * 0.5;
        g_list.push_back(e);
    }
    if (!(rl > 1e-9) || g_list.empty()) return;  // looking straight up or down
    rx /= rl, rz /= rl;
    radix_sort_entries(g_list);
    regroup_entries(g_list, settings.billboard_optimize_lookahead, rx, rz, -rz, rx);
    glDisable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glDepthMask(GL_FALSE);
    unsigned bound = 0;
    bool open = false;
    for (const billboard_entry& e : g_list) {
        const billboard& bb = all[(size_t)e.index];
        if (bb.texture != bound) {
            if (open) glEnd();
            bind(bb.texture);
            bound = bb.texture;
            glBegin(GL_QUADS);
            open = true;
        }
        glColor4ubv(bb.tint.data());
        float h = bb.size * bb.aspect * 0.5f;
        float hx = (float)rx * h, hz = (float)rz * h;
        glTexCoord2f(0, 1), glVertex3f(bb.x - hx, bb.y, bb.z - hz);
        glTexCoord2f(1, 1), glVertex3f(bb.x + hx, bb.y, bb.z + hz);
        glTexCoord2f(1, 0), glVertex3f(bb.x + hx, bb.y + bb.size, bb.z + hz);
        glTexCoord2f(0, 0), glVertex3f(bb.x - hx, bb.y + bb.size, bb.z - hz);
        g_counters.billboards++;
    }
    if (open) glEnd();
    // Everything after the billboards sets its own blending; the flares may
    // not be drawn at all.
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
    glEnable(GL_CULL_FACE);
    glColor4f(1, 1, 1, 1);
}

// ---- lens flares -----------------------------------------------------------------

void draw_flares(const frame_camera& cam, int width, int height) {
    if (!settings.lens_flare || track_lighting.flare_list.empty() || width <= 0 || height <= 0) return;
    const lighting_record& l = track_lighting;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDepthFunc(GL_ALWAYS);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    for (flare& f : track_lighting.flare_list) {
        vec3 p{f.position[0], f.position[1], f.position[2]};
        if (!f.directional) p = sub(p, cam.position);
        flare_probe probe;
        probe.directional = f.directional;
        probe.x = dot(p, column(cam, 0));
        probe.y = dot(p, column(cam, 1));
        probe.z = dot(p, column(cam, 2));
        double sx = 0, sy = 0;
        f.visibility = 0;
        if (flare_on_screen(probe, g_frustum, sx, sy)) {
            f.screen_x = (float)sx, f.screen_y = (float)sy;
            int px = (int)std::lround((sx / g_frustum.hx * 0.5 + 0.5) * (width - 1));
            int py = (int)std::lround((sy / g_frustum.hy * 0.5 + 0.5) * (height - 1));
            uint8_t rgb[3] = {0, 0, 0};
            float depth = 0;
            glReadPixels(px, py, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
            glReadPixels(px, py, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
            f.visibility = flare_visibility(probe, sx, sy, g_frustum, rgb,
                                            linear_depth_fraction(depth, l.near_plane, l.far_plane));
        }
        if (!(f.visibility > 0)) continue;
        for (int k = 0; k < f.element_count && k < max_flare_elements; k++) {
            const flare_element& e = f.elements[(size_t)k];
            double cx = e.a * sy + e.b * sx, cy = e.a * -sx + e.b * sy;
            bind(e.texture);
            glColor4f(f.visibility * e.color[0], f.visibility * e.color[1], f.visibility * e.color[2], 1);
            glBegin(GL_QUADS);
            glTexCoord2f(0, 0), glVertex3f((float)(cx - e.size), (float)(cy - e.size), -1);
            glTexCoord2f(1, 0), glVertex3f((float)(cx + e.size), (float)(cy - e.size), -1);
            glTexCoord2f(1, 1), glVertex3f((float)(cx + e.size), (float)(cy + e.size), -1);
            glTexCoord2f(0, 1), glVertex3f((float)(cx - e.size), (float)(cy + e.size), -1);
            glEnd();
        }
    }
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
}

int g_width = 0, g_height = 0;

}  // namespace

const frame_counters& last_frame_counters() { return g_counters; }
const std::array<frame_label_time, frame_label_count>& last_frame_times() { return g_times; }
const frustum_extents& frame_frustum() { return g_frustum; }

void set_projection(int width, int height, double fov) {
    g_width = width, g_height = height;
    glViewport(0, 0, width, height);
    g_frustum = projection_extents(width, height, fov);
    double n = track_lighting.near_plane, f = track_lighting.far_plane;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-g_frustum.hx * n, g_frustum.hx * n, -g_frustum.hy * n, g_frustum.hy * n, n, f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

const sound_listener& listener() { return g_listener; }

void set_listener(const frame_camera& camera, const std::array<double, 3>& velocity) {
    g_listener.position = camera.position;
    g_listener.orientation = camera.orientation;
    g_listener.velocity = velocity;
}

void draw_frame(const frame_camera& cam, int first_person_slot, const frame_race& race) {
    // 1. counters, flaggers, animations, the terrain's camera and the
    // listener, the script.
    set_listener(cam, race.camera_velocity);
    g_counters = frame_counters();
    g_label = 0;
    g_mark = thread_seconds();
    reset_shader_changes();
    reset_model_polygons();
    update_flaggers();
    animation_tick(race.tic);
    vec3 back = column(cam, 2);
    terrain_camera({(float)cam.position[0], (float)cam.position[1], (float)cam.position[2]},
                   {(float)-back[0], (float)-back[1], (float)-back[2]});
    step_done("js");
    // 2.
    terrain_textures_update();
    step_done("rendertex");
    // 3. projection and the camera's rotation.
    set_projection(g_width, g_height, cam.fov > 0 ? cam.fov : settings.fov);
    load_view_rotation(cam);
    if (gl_caps.use_shaders) {
        float m[9];
        for (int k = 0; k < 9; k++) m[k] = (float)cam.orientation[(size_t)k];
        set_env_matrix(m);
    }
    // 4. sky.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    if (cmdline.fugly) {
        glClearColor(0.196078f, 0.6f, 0.8f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    } else {
        draw_sky();
    }
    // 5, 6. fog, the camera's place, the sun.
    set_fog();
    glTranslated(-cam.position[0], -cam.position[1], -cam.position[2]);
    set_sun();
    // 7.
    terrain_draw();
    g_counters.ground_polygons = terrain_triangles_drawn();
    step_done("drawterrain");
    // 8, 9.
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.75f);
    compute_fades(race);
    draw_bikes(cam, first_person_slot, false);
    step_done("drawbikes");
    // 10.
    draw_statues(cam);
    step_done("drawstatues");
    // 11.
    glDisable(GL_ALPHA_TEST);
    draw_billboards(cam);
    step_done("drawbillboards");
    // 12.
    draw_bikes(cam, first_person_slot, true);
    step_done("drawghosts");
    // 13. Robot lines (14) and labels (16) have nothing to show until robots
    // and the erosion debug output exist.
    if (gl_caps.use_shaders) use_program(program_fixed);
    // 15.
    glDisable(GL_FOG);
    // 17.
    draw_flares(cam, g_width, g_height);
    glDepthFunc(GL_LESS);
    glDisable(GL_DEPTH_TEST);
    g_counters.shader_changes = shader_changes();
    g_counters.model_polygons = model_polygons_drawn();
    if (g_label < frame_label_count) g_times[(size_t)g_label++] = {"rest", thread_seconds() - g_mark};
}

// ---- cameras ---------------------------------------------------------------------

frame_camera look_at_camera(const vec3& eye, const vec3& target) {
    vec3 back = normalized(sub(eye, target), {0, 0, 1});
    vec3 right = normalized(cross({0, 1, 0}, back), {1, 0, 0});
    vec3 up = cross(back, right);
    return from_axes(eye, right, up, back);
}

frame_camera yaw_pitch_camera(const vec3& position, double yaw, double pitch) {
    vec3 ahead{std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch)};
    vec3 back{-ahead[0], -ahead[1], -ahead[2]};
    vec3 right = normalized(cross({0, 1, 0}, back), {std::cos(yaw), 0, -std::sin(yaw)});
    return from_axes(position, right, cross(back, right), back);
}

bool first_person_camera(int slot, frame_camera& out) {
    const bike_state* b = bike_in_slot(slot);
    if (!b || !b->bodies[body_frame]) return false;
    head_placement h = head_pose(*b);
    vec3 x{h.x.x, h.x.y, h.x.z}, y{h.y.x, h.y.y, h.y.z}, z{h.z.x, h.z.y, h.z.z};
    // "1st Person Angle" tips the view down about the head's right axis.
    double a = settings.first_person_angle * M_PI / 180, c = std::cos(a), s = std::sin(a);
    vec3 up{c * y[0] + s * z[0], c * y[1] + s * z[1], c * y[2] + s * z[2]};
    vec3 back{c * z[0] - s * y[0], c * z[1] - s * y[1], c * z[2] - s * y[2]};
    vec3 eye{h.position.x + y[0] * settings.first_person_height, h.position.y + y[1] * settings.first_person_height,
             h.position.z + y[2] * settings.first_person_height};
    out = from_axes(eye, x, up, back);
    return true;
}
