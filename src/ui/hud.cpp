#include "ui/hud.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "bike/bike.h"
#include "core/bike_setup.h"
#include "core/clock.h"
#include "core/config.h"
#include "core/diag.h"
#include "core/text.h"
#include "net/net.h"
#include "render/frame_draw.h"
#include "render/terrain_textures.h"
#include "render/texture.h"
#include "track/erosion.h"
#include "track/height_field.h"
#include "track/track.h"
#include "track/track_objects.h"
#include "ui/text_draw.h"

hud_toggles hud_options;
hud_render_statistics hud_render_stats;

namespace {

// The counts of the frame just drawn, with the largest seen.
void take_frame_counters() {
    const frame_counters& f = last_frame_counters();
    auto put = [](render_counter& c, int n) {
        c.count = n;
        c.end_frame();
        c.count = n;
    };
    put(hud_render_stats.ground_polygons, f.ground_polygons);
    put(hud_render_stats.model_polygons, f.model_polygons);
    put(hud_render_stats.billboards, f.billboards);
    put(hud_render_stats.texture_changes, f.texture_binds);
    put(hud_render_stats.shader_changes, f.shader_changes);
    hud_render_stats.terrain_texture_age = terrain_texture_age();
    hud_render_stats.reshades_pending = terrain_reshades_pending();
    hud_render_stats.erode_buffered = erode_queue_count();
}

}  // namespace
ping_source hud_ping_source = nullptr;

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr int info_block = 50;
constexpr int panel_block = 25;
constexpr int start_overlay_tics = 3 * 128;
constexpr float results_width = 19;  // line units of the information block

const text_colour white{1, 1, 1, 1};
const text_colour grey75{0.75f, 0.75f, 0.75f, 1};

struct hud_state {
    std::array<suspension_sample, suspension_graph_samples> ring{};
    int ring_next = 0, ring_count = 0;
    double last_draw = -1;
    double frame_time = 0;
    std::array<unsigned, hud_picture_count> pictures{};
};
hud_state g_hud;

const char* const picture_names[hud_picture_count] = {"!@tach.png", "!@shifter.png", "!@pitboard.png",
                                                      "!@title.png"};

// The race as the HUD sees it, when a source is set.
bool current_race(hud_race_view& v) { return hud_race_source && hud_race_source(v); }

void normalise(double v[3]) {
    double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (l > 0)
        for (int i = 0; i < 3; i++) v[i] /= l;
}

// The bike's up and forward axes in world coordinates.
void bike_axes(const bike_state& b, double up[3], double forward[3], double pos[3]) {
    double r[9];
    get_body_rotation(b, body_frame, r);
    get_body_position(b, body_frame, pos);
    for (int i = 0; i < 3; i++) {
        up[i] = r[i * 3 + 1];
        forward[i] = -r[i * 3 + 2];
    }
}

void ground_normal(double x, double z, float n[3]) {
    n[0] = 0, n[1] = 1, n[2] = 0;
    if (!height_field_loaded()) return;
    std::array<float, 3> s = surface_normal_at((float)x, (float)z);
    float l = std::sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    if (l > 0)
        for (int i = 0; i < 3; i++) n[i] = s[(size_t)i] / l;
}

void disc(float cx, float cy, float radius, text_colour centre, text_colour rim, int steps = 48) {
    glDisable(GL_TEXTURE_2D);
    glBegin(GL_TRIANGLE_FAN);
    glColor4f(centre.r, centre.g, centre.b, centre.a);
    glVertex3f(cx, cy, -1);
    glColor4f(rim.r, rim.g, rim.b, rim.a);
    for (int i = 0; i <= steps; i++) {
        double a = 2 * pi * i / steps;
        glVertex3f(cx + radius * (float)std::sin(a), cy + radius * (float)std::cos(a), -1);
    }
    glEnd();
}

// A quad along the segment from (x0, y0) to (x1, y1), `width` across.
void thick_line(float x0, float y0, float x1, float y1, float width, text_colour c) {
    float dx = x1 - x0, dy = y1 - y0, l = std::sqrt(dx * dx + dy * dy);
    if (l <= 0) return;
    float nx = -dy / l * width / 2, ny = dx / l * width / 2;
    glDisable(GL_TEXTURE_2D);
    glColor4f(c.r, c.g, c.b, c.a);
    glBegin(GL_QUADS);
    glVertex3f(x0 + nx, y0 + ny, -1);
    glVertex3f(x0 - nx, y0 - ny, -1);
    glVertex3f(x1 - nx, y1 - ny, -1);
    glVertex3f(x1 + nx, y1 + ny, -1);
    glEnd();
}

// ---- pieces of the HUD ------------------------------------------------------------------

void draw_results(const results_table& t, float x, float top) {
    const float lh = block_line_height(info_block);
    const float columns[] = {0.5f, 2.5f, 5.5f, 8, 12.5f, 17};
    float y = top;
    draw_text_shadowed(font_text, t.title.c_str(), x + lh * 0.5f, y, lh, white);
    y -= lh;
    const char* heads[] = {"Pos.", "No.", "Lap", "Gap", "Best Time", "BLap"};
    for (int c = 0; c < 6; c++)
        draw_text_shadowed(font_text, heads[c], x + columns[c] * lh, y, c == 5 ? lh / 2 : lh, white);
    y -= lh;
    for (size_t i = 0; i < t.rows.size(); i++) {
        const results_row& r = t.rows[i];
        if (i % 2 == 1) fill_rect(x, y - lh, x + results_width * lh, y, text_colour{0, 0, 0, 0.25f});
        text_colour c = r.viewed ? white : grey75;
        const std::string* cells[] = {&r.position, &r.number, &r.lap, &r.gap, &r.best_time, &r.best_lap};
        for (int k = 0; k < 6; k++)
            draw_text_shadowed(font_text, cells[k]->c_str(), x + columns[k] * lh, y, k == 5 ? lh / 2 : lh, c);
        y -= lh;
    }
    if (!t.total_time.empty()) {
        draw_text_shadowed(font_text, t.total_time.c_str(), x + lh * 0.5f, y, lh, white);
        y -= lh;
    }
    for (const std::string& line : t.penalty_lines) {
        draw_text_shadowed(font_text, line.c_str(), x + lh * 0.5f, y, lh, text_colour{1, 0, 0, 1});
        y -= lh;
    }
}

void draw_panel(const rider_panel& p) {
    const float W = screen_half_width(), lh = block_line_height(panel_block);
    const float bottom = -screen_half_height + 1.4f * lh;
    const float x0 = -W + 0.04f, plate_w = 0.36f, plate_h = 0.27f;
    unsigned plate = hud_texture(picture_pitboard);
    if (plate)
        draw_picture(plate, x0, bottom, x0 + plate_w, bottom + plate_h, white);
    else
        fill_rect(x0, bottom, x0 + plate_w, bottom + plate_h, text_colour{0.95f, 0.95f, 0.9f, 0.9f});
    int number_font = p.number.size() > 2 ? font_numbers_condensed : font_numbers;
    float nlh = plate_h * 0.78f;
    float nw = text_width_at(number_font, p.number.c_str(), nlh);
    if (nw > plate_w * 0.88f) {
        nlh *= plate_w * 0.88f / nw;
        nw = plate_w * 0.88f;
    }
    draw_text(number_font, p.number.c_str(), x0 + (plate_w - nw) / 2, bottom + plate_h / 2 + nlh / 2, nlh,
              text_colour{0, 0, 0, 1});
    float tx = x0 + plate_w + 0.03f, ty = bottom + plate_h;
    draw_text_shadowed(font_text, p.lap_position.c_str(), tx, ty, lh * 1.5f, white);
    draw_text_shadowed(font_text, p.gap.c_str(), tx, ty - lh * 1.5f, lh, white);
    draw_text_shadowed(font_text, p.times.c_str(), tx, ty - lh * 2.5f, lh, white);
    if (!p.lapping.empty()) {
        fill_rect(-W, -screen_half_height, W, -screen_half_height + lh * 1.1f, text_colour{0, 0, 0.6f, 0.5f});
        draw_text_centred(font_text, p.lapping.c_str(), -W, W, -screen_half_height + lh * 1.05f, lh, white);
    }
}

void draw_map(const hud_race_view& v, bool have_race, int viewed_slot) {
    unsigned map = track_map_texture();
    if (!map || terrain.extent <= 0) return;
    const float W = screen_half_width();
    const float scale = (float)std::max(settings.map_scale, 0.05);
    const float side = 0.5f * scale;
    const float left = W - side - 0.04f, top = screen_half_height - 0.04f;
    draw_picture(map, left, top - side, left + side, top, white);
    auto to_screen = [&](const double pos[3], float& sx, float& sy) {
        sx = left + (float)(pos[0] / terrain.extent) * side;
        sy = top - (float)(pos[2] / terrain.extent) * side;
    };
    const float mark = side / (32 * scale);
    for (int slot = 0; slot < bike_slot_count; slot++) {
        const bike_state* b = bike_in_slot(slot);
        if (!b) continue;
        double pos[3];
        get_body_position(*b, body_frame, pos);
        float sx, sy;
        to_screen(pos, sx, sy);
        fill_rect(sx - mark / 2, sy - mark / 2, sx + mark / 2, sy + mark / 2, text_colour{0, 0, 0, 1});
    }
    if (have_race) {
        for (size_t i = v.order.size(); i-- > 0;) {
            const bike_state* b = bike_in_slot(v.order[i].slot);
            if (!b) continue;
            double pos[3];
            get_body_position(*b, body_frame, pos);
            float sx, sy;
            to_screen(pos, sx, sy);
            text_colour c = v.order[i].finished ? text_colour{0.25f, 0.25f, 0.25f, 1}
                            : i == 0            ? text_colour{0, 1, 0, 1}
                                                : white;
            fill_rect(sx - mark / 4, sy - mark / 4, sx + mark / 4, sy + mark / 4, c);
        }
    }
    if (const bike_state* b = bike_in_slot(viewed_slot)) {
        double up[3], fwd[3], pos[3];
        bike_axes(*b, up, fwd, pos);
        float sx, sy;
        to_screen(pos, sx, sy);
        float dx = (float)fwd[0], dy = -(float)fwd[2], l = std::sqrt(dx * dx + dy * dy);
        if (l <= 0) dx = 0, dy = 1, l = 1;
        dx /= l, dy /= l;
        float a = mark * 2.2f;
        float tipx = sx + dx * a, tipy = sy + dy * a;
        float lx = sx - dx * a * 0.6f - dy * a * 0.6f, ly = sy - dy * a * 0.6f + dx * a * 0.6f;
        float rx = sx - dx * a * 0.6f + dy * a * 0.6f, ry = sy - dy * a * 0.6f - dx * a * 0.6f;
        glDisable(GL_TEXTURE_2D);
        for (int pass = 0; pass < 2; pass++) {
            float grow = pass == 0 ? 1.5f : 1.0f;
            if (pass == 0)
                glColor4f(0, 0, 0, 1);
            else
                glColor4f(1, 0, 0, 1);
            glBegin(GL_TRIANGLES);
            glVertex3f(sx + (tipx - sx) * grow, sy + (tipy - sy) * grow, -1);
            glVertex3f(sx + (lx - sx) * grow, sy + (ly - sy) * grow, -1);
            glVertex3f(sx + (rx - sx) * grow, sy + (ry - sy) * grow, -1);
            glEnd();
        }
    }
}

void draw_start_overlay(const hud_race_view& v) {
    if (v.tic < 0 || v.tic >= start_overlay_tics) return;
    float alpha = std::min(1.0f, (start_overlay_tics - v.tic) / 128.0f);
    const float W = screen_half_width(), lh = block_line_height(12);
    std::string name = current_track_name ? *current_track_name : std::string();
    std::string length = race_length_text(v.race_time, v.extra_laps);
    draw_text_centred(font_text, name.c_str(), -W, W, block_row_top(4, 12), lh, text_colour{1, 1, 1, alpha});
    draw_text_centred(font_text, length.c_str(), -W, W, block_row_top(5, 12), lh * 0.6f,
                      text_colour{1, 1, 1, alpha});
}

void plot(const std::vector<suspension_sample>& s, float x0, float y0, float x1, float y1,
          float (*value)(const suspension_sample&), text_colour c) {
    if (s.empty()) return;
    glDisable(GL_TEXTURE_2D);
    glColor4f(c.r, c.g, c.b, c.a);
    glBegin(GL_LINE_STRIP);
    for (size_t i = 0; i < s.size(); i++) {
        float t = std::clamp(value(s[i]), 0.0f, 1.0f);
        glVertex3f(x0 + (x1 - x0) * (float)i / (suspension_graph_samples - 1), y0 + (y1 - y0) * t, -1);
    }
    glEnd();
}

// Speeds on a graph: 0 at the middle, ±scale at the edges.
float speed_fraction(float v, float scale) { return 0.5f + v / (2 * scale); }

void draw_suspension_graph() {
    std::vector<suspension_sample> s = suspension_samples();
    const float W = screen_half_width(), lh = block_line_height(info_block);
    const float x0 = W - 1.0f, x1 = W - 0.04f;
    struct graph {
        float top;
        const char* labels[3];
        float (*position)(const suspension_sample&);
        float (*high)(const suspension_sample&);
        float (*low)(const suspension_sample&);
    };
    const graph graphs[2] = {
        {0.55f,
         {" Fork Position", " Fork Speed (High)", " Fork Speed (Low)"},
         [](const suspension_sample& x) { return x.fork_compression; },
         [](const suspension_sample& x) { return speed_fraction(x.fork_speed * (1 - x.fork_low_speed_share), 10); },
         [](const suspension_sample& x) { return speed_fraction(x.fork_speed * x.fork_low_speed_share, 10); }},
        {0.1f,
         {" Swingarm Position", " Shock Speed (High)", " Shock Speed (Low)"},
         [](const suspension_sample& x) { return x.shock_travel; },
         [](const suspension_sample& x) { return speed_fraction(x.shock_speed * (1 - x.shock_low_speed_share), 3); },
         [](const suspension_sample& x) { return speed_fraction(x.shock_speed * x.shock_low_speed_share, 3); }},
    };
    const text_colour colours[3] = {white, text_colour{0, 1, 0, 1}, text_colour{1, 0, 0, 1}};
    for (const graph& g : graphs) {
        float y1 = g.top, y0 = g.top - 0.4f;
        fill_rect(x0, y0, x1, y1, text_colour{0, 0, 0, 0.4f});
        plot(s, x0, y0, x1, y1, g.position, colours[0]);
        plot(s, x0, y0, x1, y1, g.high, colours[1]);
        plot(s, x0, y0, x1, y1, g.low, colours[2]);
        for (int k = 0; k < 3; k++) draw_text_shadowed(font_text, g.labels[k], x0, y1 - k * lh, lh, colours[k]);
    }
}

}  // namespace

// ---- texts ------------------------------------------------------------------------------

std::vector<std::string> information_lines(const information_inputs& in) {
    std::vector<std::string> out;
    if (in.draw_fps) out.push_back(format_string("FPS - %d", in.frame_time > 0 ? (int)(1 / in.frame_time + 0.5) : 0));
    if (in.draw_time) {
        long t = in.race_seconds > 0 ? (long)(in.race_seconds * 10) : 0;
        out.push_back(format_string("Time - %ld:%02ld.%ld ", t / 600, t / 10 % 60, t % 10));
    }
    if (in.draw_ping && in.ping_known)
        out.push_back(format_string("Ping - %dms (%dms offset)", (int)(in.round_trip_tics * tic_length * 1000),
                                    (int)(in.clock_lead_tics * tic_length * 1000)));
    if (in.draw_speed && in.speed_known) out.push_back(format_string("Speed - %.2f", in.frame_speed * 0.6818182));
    if (in.render_stats) {
        const hud_render_statistics& s = in.stats;
        auto counter = [&](const char* label, const render_counter& c) {
            out.push_back(format_string("%s - %d max=%d", label, c.count, c.max));
        };
        counter("Ground polygons", s.ground_polygons);
        counter("Model polygons", s.model_polygons);
        counter("Billboards", s.billboards);
        counter("Decals", s.decals);
        counter("Texture Changes", s.texture_changes);
        counter("Shader Changes", s.shader_changes);
        out.push_back(format_string("Terrain texture age - %d", s.terrain_texture_age));
        out.push_back(format_string("Reshades pending - %d", s.reshades_pending));
        out.push_back(format_string("Erode buffered - %d", s.erode_buffered));
    }
    if (in.dabbing) out.push_back("Dabbing!");
    return out;
}

std::vector<std::string> visible_messages() {
    std::vector<std::string> out;
    // The count is clamped here too: the ring must never be read past its
    // length, whatever the configuration says.
    int shown = std::clamp(messages.shown, 0, message_lines_limit());
    for (int age = shown - 1; age >= 0; age--) out.emplace_back(message_line(age));
    return out;
}

std::string race_length_text(int race_time_tics, int laps) {
    int minutes = (int)(race_time_tics * tic_length / 60 + 0.5);
    if (race_time_tics <= 0) return format_string("%d laps", laps);
    if (laps <= 0) return format_string("%d minutes", minutes);
    return format_string("%d minutes + %d laps", minutes, laps);
}

double tachometer_angle(double rpm) { return (rpm * 0.000046875 - 0.375) * 360; }

std::array<int, 2> gear_cell(int gear) {
    int g = gear < 0 ? 0 : gear;
    return {g % 3, (g / 3) % 3};
}

double bike_lean(const double up[3], const double forward[3], const float normal[3]) {
    double n[3] = {normal[0], normal[1], normal[2]};
    double f[3] = {forward[0], forward[1], forward[2]};
    normalise(n);
    double right[3] = {f[1] * n[2] - f[2] * n[1], f[2] * n[0] - f[0] * n[2], f[0] * n[1] - f[1] * n[0]};
    normalise(right);
    double across = up[0] * right[0] + up[1] * right[1] + up[2] * right[2];
    double along = up[0] * n[0] + up[1] * n[1] + up[2] * n[2];
    return std::atan2(across, along);
}

void record_suspension_sample(const suspension_sample& s) {
    g_hud.ring[(size_t)g_hud.ring_next] = s;
    g_hud.ring_next = (g_hud.ring_next + 1) % suspension_graph_samples;
    g_hud.ring_count = std::min(g_hud.ring_count + 1, suspension_graph_samples);
}

std::vector<suspension_sample> suspension_samples() {
    std::vector<suspension_sample> out;
    int start = (g_hud.ring_next - g_hud.ring_count + suspension_graph_samples) % suspension_graph_samples;
    for (int i = 0; i < g_hud.ring_count; i++)
        out.push_back(g_hud.ring[(size_t)((start + i) % suspension_graph_samples)]);
    return out;
}

void clear_suspension_samples() { g_hud.ring_next = g_hud.ring_count = 0; }

// ---- pictures ------------------------------------------------------------------------------

void load_hud_textures() {
    for (int i = 0; i < hud_picture_count; i++) g_hud.pictures[(size_t)i] = texture_load(picture_names[i]);
}

unsigned hud_texture(int which) {
    if (which < 0 || which >= hud_picture_count) return 0;
    // The id stays valid only while the cache still holds it.
    unsigned id = g_hud.pictures[(size_t)which];
    return id && texture_of(id) ? id : 0;
}

// ---- drawing --------------------------------------------------------------------------------

void hud_init() { g_hud = hud_state{}; }
void hud_free() { g_hud = hud_state{}; }

void hud_draw(int viewed_slot, int width, int height) {
    double now = time_now();
    g_hud.frame_time = g_hud.last_draw >= 0 ? now - g_hud.last_draw : 0;
    g_hud.last_draw = now;

    hud_race_view race;
    bool have_race = current_race(race);
    const bike_state* bike = bike_in_slot(viewed_slot);
    if (bike && hud_options.suspension_graph) record_suspension_sample(suspension_telemetry(*bike));

    information_inputs in;
    in.draw_fps = settings.draw_fps;
    in.draw_time = settings.draw_time;
    in.draw_ping = settings.draw_ping;
    in.draw_speed = settings.draw_speed;
    in.render_stats = hud_options.render_stats;
    in.frame_time = g_hud.frame_time;
    if (have_race) in.race_seconds = (race.tic - race.gate_drop_tic) * tic_length;
    if (net_connected() && net_has_server_slot() && hud_ping_source)
        in.ping_known = hud_ping_source(in.round_trip_tics, in.clock_lead_tics);
    if (bike) {
        double v[3];
        get_body_velocity(*bike, body_frame, v);
        in.speed_known = true;
        in.frame_speed = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        in.dabbing = player_setup.lean_indicator && bike->controls.dab_blend > 0;
    }
    take_frame_counters();
    in.stats = hud_render_stats;

    begin_screen_layer(width, height);
    const float W = screen_half_width(), lh = block_line_height(info_block);
    float x = -W + lh * 0.5f;
    results_table results;
    if (have_race) results = build_results_table(race, viewed_slot);
    if (results.shown) {
        draw_results(results, -W, screen_half_height - lh * 0.5f);
        x += results_width * lh;
    }
    float y = screen_half_height - lh * 0.5f;
    for (const std::string& line : information_lines(in)) {
        draw_text_shadowed(font_text, line.c_str(), x, y, lh, white);
        y -= lh;
    }
    for (const std::string& line : visible_messages()) {
        draw_text_shadowed(font_text, line.c_str(), x, y, lh, white);
        y -= lh;
    }
    if (have_race) {
        rider_panel panel = build_rider_panel(race, viewed_slot);
        if (panel.shown && bike) draw_panel(panel);
        if (track_loaded()) draw_start_overlay(race);
    }
    draw_map(race, have_race, viewed_slot);
    if (hud_options.suspension_graph) draw_suspension_graph();
    end_screen_layer();
}

void hud_draw_riding(int viewed_slot, int width, int height) {
    const bike_state* bike = bike_in_slot(viewed_slot);
    if (!bike) return;
    begin_screen_layer(width, height);
    const float W = screen_half_width();
    // tachometer, bottom right
    const float size = 0.55f, cx = W - 0.04f - size / 2, cy = -screen_half_height + 0.04f + size / 2;
    unsigned tach = hud_texture(picture_tach);
    if (tach)
        draw_picture(tach, cx - size / 2, cy - size / 2, cx + size / 2, cy + size / 2, white);
    else
        disc(cx, cy, size / 2, text_colour{0.15f, 0.15f, 0.15f, 0.8f}, text_colour{0.05f, 0.05f, 0.05f, 0.8f});
    double rpm = bike->engine_speed * 60 / (2 * pi);
    double a = tachometer_angle(rpm) * pi / 180;
    float nx = (float)std::sin(a), ny = (float)std::cos(a);
    thick_line(cx - nx * size * 0.06f, cy - ny * size * 0.06f, cx + nx * size * 0.42f, cy + ny * size * 0.42f,
               size * 0.025f, text_colour{0.9f, 0.05f, 0.05f, 1});
    disc(cx, cy, size * 0.04f, text_colour{0.2f, 0.2f, 0.2f, 1}, text_colour{0.1f, 0.1f, 0.1f, 1}, 16);
    // gear digit from the 3 × 3 atlas, below the hub
    std::array<int, 2> cell = gear_cell(bike->gear);
    unsigned shifter = hud_texture(picture_shifter);
    float g = size * 0.22f, gy = cy - size * 0.24f;
    if (shifter)
        draw_picture(shifter, cx - g / 2, gy - g / 2, cx + g / 2, gy + g / 2, white, cell[0] / 3.0f,
                     cell[1] / 3.0f, (cell[0] + 1) / 3.0f, (cell[1] + 1) / 3.0f);
    else
        draw_text_centred(font_text, format_string("%d", bike->gear + 1).c_str(), cx - g, cx + g, gy + g / 2, g,
                          white);
    const char* name = net_rider_name(viewed_slot);
    if (name && *name) {
        const float lh = block_line_height(panel_block);
        draw_text_centred(font_text, name, -W, W, -screen_half_height + lh * 2.2f, lh, white);
    }

    // lean indicator, bottom centre
    if (player_setup.lean_indicator) {
        double up[3], fwd[3], pos[3];
        bike_axes(*bike, up, fwd, pos);
        float n[3];
        ground_normal(pos[0], pos[2], n);
        double lean = bike_lean(up, fwd, n);
        const float r = 0.16f, lx = 0, ly = -screen_half_height + 0.11f;
        glDisable(GL_TEXTURE_2D);
        glLineWidth(2);
        glColor4f(1, 1, 1, 0.6f);
        glBegin(GL_LINE_STRIP);
        for (int i = 0; i <= 32; i++) {
            double t = -pi / 2 + pi * i / 32;
            glVertex3f(lx + r * (float)std::sin(t), ly + r * (float)std::cos(t), -1);
        }
        glEnd();
        for (double limit : {-lean_warning_angle, lean_warning_angle})
            thick_line(lx + r * 0.85f * (float)std::sin(limit), ly + r * 0.85f * (float)std::cos(limit),
                       lx + r * 1.1f * (float)std::sin(limit), ly + r * 1.1f * (float)std::cos(limit), 0.008f,
                       text_colour{1, 0.6f, 0, 0.8f});
        bool warn = std::fabs(lean) > lean_warning_angle;
        text_colour c = warn ? text_colour{1, 0.1f, 0.1f, 0.95f} : text_colour{0.2f, 1, 0.3f, 0.9f};
        double shown = std::clamp(lean, -pi / 2, pi / 2);
        glColor4f(c.r, c.g, c.b, c.a * 0.5f);
        glBegin(GL_TRIANGLE_FAN);
        glVertex3f(lx, ly, -1);
        for (int i = 0; i <= 16; i++) {
            double t = shown * i / 16;
            glVertex3f(lx + r * (float)std::sin(t), ly + r * (float)std::cos(t), -1);
        }
        glEnd();
        thick_line(lx, ly, lx + r * (float)std::sin(shown), ly + r * (float)std::cos(shown), 0.012f, c);
    }
    end_screen_layer();
}
