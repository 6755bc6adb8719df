// Fork and shock force laws, their setup, and the suspension graph.
#include "bike/suspension.h"

#include <algorithm>
#include <cmath>

namespace {

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

// A menu value that is not a number counts as the middle setting.
double menu_value(double adjustment) { return std::isfinite(adjustment) ? adjustment : 50.0; }

// Share of the low-speed part of the damping at speed v, from the model's
// base constants; at rest it is all low-speed (or nothing, with no bleed).
float low_speed_share(float v, float hs_comp, float ls_comp, float hs_reb, float ls_reb) {
    float num, den;
    if (v >= 0) {
        num = ls_reb;
        den = v * hs_reb + ls_reb;
    } else {
        num = ls_comp;
        den = ls_comp + std::fabs(v) * hs_comp;
    }
    if (!(den != 0.0f)) return 0.0f;
    return num / den;
}

float top_out(float position, float travel) {
    float r = travel > 0.0f ? -32.0f * position / travel : 0.0f;
    if (!(r >= 0.0f)) return 0.0f;
    return std::fmin(r, 1.0f);
}

}  // namespace

float two_stage_damper(float v, float hs_compression, float ls_compression, float hs_rebound, float ls_rebound) {
    if (v >= 0) {
        float h = -v * hs_rebound;
        float u = h - ls_rebound;
        return clampf(u, 8 * h, h / 8);
    }
    float h = -v * hs_compression;
    float u = h + ls_compression;
    return clampf(u, h / 8, 8 * h);
}

float high_speed_factor(double adjustment) {
    return clampf((float)std::exp2(menu_value(adjustment) * 0.04 - 2), 0.25f, 4.0f);
}

float low_speed_offset(double adjustment) { return clampf((float)(menu_value(adjustment) * 0.02 - 1), -1, 1); }

float setup_fraction(double adjustment) { return clampf((float)(menu_value(adjustment) * 0.01), 0, 1); }

void set_fork_setup(bike_state& b, float hs_compression, float ls_compression, float hs_rebound, float ls_rebound,
                    float spring, float preload, float oil) {
    const bike_info& info = bike_model(b);
    auto factor = [](float f) { return std::isfinite(f) ? clampf(f, 0.25f, 4.0f) : 1.0f; };
    auto offset = [](float f) { return std::isfinite(f) ? clampf(f, -1, 1) : 0.0f; };
    auto fraction = [](float f) { return std::isfinite(f) ? clampf(f, 0, 1) : 0.5f; };
    b.fork_hs_comp = factor(hs_compression) * info.fork_hs_compression;
    b.fork_ls_comp = offset(ls_compression) * info.fork_ls_compression;
    b.fork_hs_reb = factor(hs_rebound) * info.fork_hs_rebound;
    b.fork_ls_reb = offset(ls_rebound) * info.fork_ls_rebound;
    b.fork_spring = info.fork_spring_soft + fraction(spring) * (info.fork_spring_stiff - info.fork_spring_soft);
    b.fork_preload = info.fork_preload_min + fraction(preload) * (info.fork_preload_max - info.fork_preload_min);
    b.fork_air_gap = info.fork_air_gap_max + fraction(oil) * (info.fork_air_gap_min - info.fork_air_gap_max);
}

void set_shock_setup(bike_state& b, float hs_compression, float ls_compression, float hs_rebound, float ls_rebound,
                     float spring, float preload) {
    const bike_info& info = bike_model(b);
    auto factor = [](float f) { return std::isfinite(f) ? clampf(f, 0.25f, 4.0f) : 1.0f; };
    auto offset = [](float f) { return std::isfinite(f) ? clampf(f, -1, 1) : 0.0f; };
    auto fraction = [](float f) { return std::isfinite(f) ? clampf(f, 0, 1) : 0.5f; };
    b.shock_hs_comp = factor(hs_compression) * info.shock_hs_compression;
    b.shock_ls_comp = offset(ls_compression) * info.shock_ls_compression;
    b.shock_hs_reb = factor(hs_rebound) * info.shock_hs_rebound;
    b.shock_ls_reb = offset(ls_rebound) * info.shock_ls_rebound;
    b.shock_spring = info.shock_spring_soft + fraction(spring) * (info.shock_spring_stiff - info.shock_spring_soft);
    b.shock_preload = info.shock_preload_min + fraction(preload) * (info.shock_preload_max - info.shock_preload_min);
}

void apply_suspension_setup(bike_state& b, const bike_setup& s) {
    set_fork_setup(b, high_speed_factor(s.fork_compression_adjustment), low_speed_offset(s.fork_slow_compression_adjustment),
                   high_speed_factor(s.fork_rebound_adjustment), low_speed_offset(s.fork_slow_rebound_adjustment),
                   setup_fraction(s.fork_spring_rate_adjustment), setup_fraction(s.fork_preload_adjustment),
                   setup_fraction(s.fork_oil_level_adjustment));
    set_shock_setup(b, high_speed_factor(s.shock_compression_adjustment),
                    low_speed_offset(s.shock_slow_compression_adjustment), high_speed_factor(s.shock_rebound_adjustment),
                    low_speed_offset(s.shock_slow_rebound_adjustment), setup_fraction(s.shock_spring_rate_adjustment),
                    setup_fraction(s.shock_preload_adjustment));
}

void set_default_suspension(bike_state& b) {
    set_fork_setup(b, 1, 0, 1, 0, 0.5f, 0.5f, 0);
    set_shock_setup(b, 2, 0, 2, 1, 0.5f, 0.5f);
}

float fork_air_spring(float travel, float air_gap, float compression) {
    float c = clampf(compression, 0, travel);
    float column = travel + air_gap;
    float left = column - c;
    // No air gap at all would make the last bit of travel infinitely hard;
    // the slide's own stop ends the travel there instead.
    if (!(left > 0.0f)) return 0.0f;
    return 82.46169f * (std::pow(column / left, 1.4f) - 1.0f);
}

float fork_force(const bike_state& b, float x, float v) {
    const bike_info& info = bike_model(b);
    float damping = two_stage_damper(v, b.fork_hs_comp, b.fork_ls_comp, b.fork_hs_reb, b.fork_ls_reb);
    float spring = (b.fork_preload - x) * b.fork_spring + damping;
    float air = fork_air_spring(info.fork_travel, b.fork_air_gap, -x);
    return (air + spring) * top_out(x, info.fork_travel);
}

linkage_point linkage_curve(const bike_info& info, float t) {
    float b = info.linkage_break;
    float p0, p1, m0, m1, l, u;
    if (t <= b) {
        p0 = 0;
        p1 = info.linkage_mid_stroke;
        m0 = info.linkage_slope_start;
        m1 = info.linkage_slope_break;
        l = b;
        u = b > 0.0f ? t / b : 0.0f;
    } else {
        p0 = info.linkage_mid_stroke;
        p1 = info.linkage_full_stroke;
        m0 = info.linkage_slope_break;
        m1 = info.linkage_slope_end;
        l = 1 - b;
        u = (t - b) / l;
    }
    float T0 = m0 * l, T1 = m1 * l;
    float k2 = 3 * (p1 - p0) - 2 * T0 - T1;
    float k3 = T1 + T0 + 2 * (p0 - p1);
    linkage_point out;
    out.stroke = p0 + T0 * u + k2 * u * u + k3 * u * u * u;
    out.slope = l > 0.0f ? (T0 + 2 * k2 * u + 3 * k3 * u * u) / l : m1;
    return out;
}

float shock_torque(const bike_state& b, float theta, float omega) {
    const bike_info& info = bike_model(b);
    float travel = info.swingarm_travel;
    float t = travel > 0.0f ? clampf(-theta / travel, 0, 1) : 0.0f;
    linkage_point lp = linkage_curve(info, t);
    float v = omega * lp.slope;
    float damping = two_stage_damper(v, b.shock_hs_comp, b.shock_ls_comp, b.shock_hs_reb, b.shock_ls_reb);
    float spring = (lp.stroke + b.shock_preload) * b.shock_spring;
    return lp.slope * (spring + damping) * top_out(theta, travel);
}

void suspension_step(bike_state& b) {
    // The motors push toward extension with at most the force; a negative
    // force (damping stronger than the spring) only resists motion.
    float f = fork_force(b, (float)fork_position(b), (float)fork_rate(b));
    dJointSetSliderParam(b.joints[joint_fork_slide], dParamVel, f >= 0 ? 100 : 0);
    dJointSetSliderParam(b.joints[joint_fork_slide], dParamFMax, std::fabs(f));
    float t = shock_torque(b, (float)swingarm_angle(b), (float)swingarm_rate(b));
    dJointSetHingeParam(b.joints[joint_swingarm_pivot], dParamVel, t >= 0 ? 100 : 0);
    dJointSetHingeParam(b.joints[joint_swingarm_pivot], dParamFMax, std::fabs(t));
}

suspension_sample suspension_telemetry(const bike_state& b) {
    const bike_info& info = bike_model(b);
    suspension_sample s;
    float x = (float)fork_position(b), v = (float)fork_rate(b);
    s.fork_compression = info.fork_travel > 0 ? -x / info.fork_travel : 0;
    s.fork_speed = v;
    s.fork_low_speed_share = low_speed_share(v, info.fork_hs_compression, info.fork_ls_compression,
                                             info.fork_hs_rebound, info.fork_ls_rebound);
    float travel = info.swingarm_travel;
    float t = travel > 0 ? clampf(-(float)swingarm_angle(b) / travel, 0, 1) : 0;
    float stroke_speed = (float)swingarm_rate(b) * linkage_curve(info, t).slope;
    s.shock_travel = t;
    s.shock_speed = stroke_speed;
    s.shock_low_speed_share = low_speed_share(stroke_speed, info.shock_hs_compression, info.shock_ls_compression,
                                              info.shock_hs_rebound, info.shock_ls_rebound);
    return s;
}
