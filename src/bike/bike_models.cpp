// The bike model table. Each model is one row of the values that differ
// between models; the geometry, the tire sizes, the rider geometry and the
// damping bases are shared by all of them. Full-throttle torque curves are
// drawn from one curve per engine family, scaled in torque and stretched in
// rpm per model, so that model years of one family differ a little.
#include <cstddef>
#include <initializer_list>

#include "bike/bike_info.h"

namespace {

enum torque_base { torque_base_50, torque_base_125, torque_base_250, torque_base_250f, torque_base_450f };

struct model_row {
    const char* name;
    const char* engine_class;
    const char* prefix;  // of the model's own drawn models and bike texture
    float frame_mass, fork_mass;
    float fork_spring_soft, fork_spring_stiff, fork_hs_rebound;
    float swingarm_arm_mass;
    float shock_spring_soft, shock_spring_stiff, shock_hs_rebound;
    float primary_ratio, countershaft_teeth, rear_sprocket_teeth;
    float gear_ratios[bike_gear_count];
    float engine_inertia, drive_stiffness, drive_damping;
    float shift_down_rpm, shift_up_rpm;
    float rider_mass;
    torque_base base;
    float torque_scale;  // multiplies the family curve
    float rpm_stretch;   // > 1 moves the curve (and the rev limit) to higher rpm
};

// Full-throttle curves of the engine families, lbf·ft at 0, 500 ... 24500 rpm.
// Each ends in the negative tail above the rev limit.
constexpr float open_125[torque_points] = {
    5,       5,      5,       5,       5,       5.7,     6.4,     7.2,     7.9,     8.6,
    9.4538,  10.2177, 10.3292, 10.6658, 11.4046, 12.465, 13.2616, 14.1498, 14.7643, 15.8116,
    15.9664, 15.9064, 15.7563, 15.117,  12.7364, 2.10085, 0,      0,       -1,      -1,
    -2,      -2,      -3,      -3,      -4,      -4,      -5,      -5,      -6,      -6,
    -7,      -7,      -8,      -8,      -9,      -9,      -10,     -10,     -11,     -11,
};
constexpr float open_250[torque_points] = {
    9,    9,    9,    9.5,  10.5, 12,   13.8, 15.8, 17.8, 19.8,  //
    21.6, 23.2, 24.8, 26.4, 27.9, 29.2, 30,   29.8, 28.8, 26.5,  //
    20.5, 6,    0,    0,    -1,   -1,   -2,   -2,   -3,   -3,    //
    -4,   -4,   -5,   -5,   -6,   -6,   -7,   -7,   -8,   -8,    //
    -9,   -9,   -10,  -10,  -11,  -11,  -12,  -12,  -13,  -13,
};
constexpr float open_250f[torque_points] = {
    6,    6,    6,    6.3,  7,    7.8,  8.6,  9.4,  10.2, 11,    //
    11.8, 12.5, 13.2, 13.8, 14.4, 15,   15.6, 16.2, 16.8, 17.4,  //
    18,   18.5, 18.8, 18.7, 18.2, 17.3, 15.6, 9.5,  1.5,  0,     //
    0,    -1,   -1,   -2,   -2,   -3,   -3,   -4,   -4,   -5,    //
    -5,   -6,   -6,   -7,   -7,   -8,   -8,   -9,   -9,   -10,
};
constexpr float open_450f[torque_points] = {
    10,   10,   10,   11,   13,   15.5, 18,   20.5, 23,   25.3,  //
    27.4, 29.2, 30.8, 32.2, 33.4, 34.4, 35.1, 35.5, 35.4, 34.8,  //
    33.8, 32.2, 29.5, 20,   4,    0,    0,    -1,   -1,   -2,    //
    -2,   -3,   -3,   -4,   -4,   -5,   -5,   -6,   -6,   -7,    //
    -7,   -8,   -8,   -9,   -9,   -10,  -10,  -11,  -11,  -12,
};
constexpr float open_50[torque_points] = {
    2.2,  2.2,  2.2,  2.2,  2.3,  2.4,  2.5,  2.6,  2.7,  2.8,   //
    2.9,  3,    3.1,  3.2,  3.35, 3.5,  3.65, 3.8,  3.95, 4.1,   //
    4.25, 4.35, 4.4,  4.35, 4.2,  3.8,  3,    1.2,  0,    0,     //
    -0.5, -0.5, -1,   -1,   -1.5, -1.5, -2,   -2,   -2.5, -2.5,  //
    -3,   -3,   -3.5, -3.5, -4,   -4,   -4.5, -4.5, -5,   -5,
};

// Closed-throttle curves. Two-strokes: from 9500 rpm on the engine braking
// grows by 1 lbf·ft per 1000 rpm, each value held for two points.
constexpr float closed_two_stroke[torque_points] = {
    2,   2,   1,   0,   -1,    -1.2, -1.4,  -1.6, -1.8,  -2,     //
    -2.25, -2.5, -2.75, -3, -3.33, -3.67, -4, -5,  -6,    -7,    //
    -7,  -8,  -8,  -9,  -9,    -10,  -10,   -11,  -11,   -12,    //
    -12, -13, -13, -14, -14,   -15,  -15,   -16,  -16,   -17,    //
    -17, -18, -18, -19, -19,   -20,  -20,   -21,  -21,   -22,
};
constexpr float closed_four_stroke[torque_points] = {
    2,   2,   1,   0,   -1,  -1,  -2,  -2,  -3,  -3,   //
    -4,  -4,  -5,  -5,  -6,  -6,  -7,  -7,  -8,  -8,   //
    -9,  -9,  -10, -10, -11, -11, -12, -12, -13, -13,  //
    -14, -14, -15, -15, -16, -16, -17, -17, -18, -18,  //
    -19, -19, -20, -20, -21, -21, -22, -22, -23, -23,
};

// clang-format off
constexpr model_row model_rows[bike_model_count] = {
    {"cr125", "125", "cr125", 3.65375f, 0.7396875f, 322.5451f, 860.1203f, 30, 0.541875f, 1814.3163f, 4502.1919f, 600,
     3.15f, 13, 52, {2.3571f, 1.8667f, 1.5789f, 1.2941f, 1.1333f, -1}, 0.0048828f, 7500, 0.75f, 9400, 12000, 4.6875f, torque_base_125, 1, 1},
    {"crf250(2007)", "250f", "crf250v2004", 4.31f, 0.74f, 322.5451f, 860.1203f, 30, 0.53f, 2083.1038f, 4770.9795f, 600,
     3.304f, 13, 50, {2.1429f, 1.7647f, 1.45f, 1.2273f, 1.0435f, -1}, 0.0048828f, 7500, 0.75f, 7700, 12000, 4.6875f, torque_base_250f, 0.92f, 0.96f},
    {"crf250(2008)", "250f", "crf250v2004", 4.3f, 0.74f, 322.5451f, 860.1203f, 30, 0.53f, 2083.1038f, 4770.9795f, 600,
     3.304f, 13, 50, {2.1429f, 1.7647f, 1.45f, 1.2273f, 1.0435f, -1}, 0.0048828f, 7500, 0.75f, 7700, 12000, 4.6875f, torque_base_250f, 0.93f, 0.96f},
    {"crf250(2009)", "250f", "crf250v2004", 4.3f, 0.735f, 322.5451f, 860.1203f, 30, 0.525f, 2083.1038f, 4770.9795f, 600,
     3.304f, 13, 50, {2.1429f, 1.7647f, 1.45f, 1.2273f, 1.0435f, -1}, 0.0048828f, 7500, 0.75f, 7800, 12100, 4.6875f, torque_base_250f, 0.94f, 0.97f},
    {"crf250(2013)", "250f", "crf250v2010", 4.28f, 0.72f, 335.9845f, 873.55969f, 30, 0.52f, 2150.3008f, 4838.1768f, 600,
     3.304f, 13, 50, {2.1429f, 1.75f, 1.4706f, 1.2273f, 1.0435f, -1}, 0.0048828f, 7500, 0.75f, 7800, 12200, 4.6875f, torque_base_250f, 0.96f, 0.98f},
    {"crf250(2016)", "250f", "crf250v2014", 4.26f, 0.71f, 335.9845f, 873.55969f, 30, 0.51f, 2150.3008f, 4838.1768f, 600,
     3.304f, 13, 49, {2.1429f, 1.75f, 1.4706f, 1.2273f, 1.0435f, -1}, 0.0048828f, 7500, 0.75f, 7900, 12300, 4.6875f, torque_base_250f, 0.97f, 0.985f},
    {"crf250(2017)", "250f", "crf250v2014", 4.25f, 0.71f, 335.9845f, 873.55969f, 30, 0.51f, 2217.4976f, 4905.3735f, 600,
     3.304f, 13, 49, {2.1429f, 1.75f, 1.4706f, 1.2273f, 1.0435f, -1}, 0.0048828f, 7500, 0.75f, 7900, 12400, 4.6875f, torque_base_250f, 0.98f, 0.99f},
    {"crf250(2018)", "250f", "crf250v2018", 4.24f, 0.703125f, 335.98447f, 873.55963f, 30, 0.504375f, 2217.4978f, 4905.3735f, 600,
     3.474f, 13, 49, {2.2308f, 1.8f, 1.4706f, 1.2273f, 1.0435f, -1}, 0.0048828f, 7500, 0.75f, 8000, 12500, 4.6875f, torque_base_250f, 1, 1},
    {"cr250(2007)", "250", "cr250", 4.3f, 0.745f, 335.9845f, 873.55969f, 30, 0.57f, 2150.3008f, 4838.1768f, 600,
     2.923f, 13, 50, {1.867f, 1.5f, 1.2f, 1, 0.857f, -1}, 0.0068359f, 7500, 0.75f, 5900, 8800, 5.46875f, torque_base_250, 1.02f, 0.98f},
    {"crf450(2011)", "450f", "crf450v2009", 4.8f, 0.73f, 362.86325f, 900.43842f, 31, 0.52f, 2419.0884f, 5106.9644f, 625,
     2.269f, 13, 51, {2, 1.625f, 1.3529f, 1.15f, 1, -1}, 0.0088501f, 7500, 0.75f, 5900, 10300, 5.46875f, torque_base_450f, 0.95f, 0.98f},
    {"crf450(2013)", "450f", "crf450v2013", 4.78f, 0.72f, 362.86325f, 900.43842f, 31, 0.515f, 2419.0884f, 5106.9644f, 625,
     2.269f, 13, 51, {2, 1.625f, 1.3529f, 1.15f, 1, -1}, 0.0088501f, 7500, 0.75f, 5900, 10300, 5.46875f, torque_base_450f, 0.96f, 0.985f},
    {"crf450(2016)", "450f", "crf450v2013", 4.77f, 0.715f, 376.30261f, 913.87781f, 31, 0.51f, 2419.0884f, 5106.9644f, 625,
     2.269f, 13, 51, {2, 1.625f, 1.3529f, 1.15f, 1, -1}, 0.0088501f, 7500, 0.75f, 5900, 10400, 5.46875f, torque_base_450f, 0.97f, 0.99f},
    {"crf450(2017)", "450f", "crf450v2017", 4.75f, 0.705f, 376.30261f, 913.87781f, 32, 0.505f, 2486.2852f, 5174.1611f, 650,
     2.321f, 13, 49, {2.1333f, 1.7059f, 1.4211f, 1.2105f, 1.0435f, -1}, 0.0088501f, 7500, 0.75f, 6000, 10500, 5.46875f, torque_base_450f, 0.99f, 1},
    {"crf450(2018)", "450f", "crf450v2017", 4.735f, 0.703125f, 376.30264f, 913.87775f, 32, 0.5025f, 2486.2854f, 5174.1606f, 650,
     2.321f, 13, 49, {2.1333f, 1.7059f, 1.4211f, 1.2105f, 1.0435f, -1}, 0.0088501f, 7500, 0.75f, 6000, 10500, 5.46875f, torque_base_450f, 1, 1},
    {"kx125", "125", "kx125", 3.6875f, 0.75f, 335.9845f, 873.55969f, 30, 0.55f, 1881.5132f, 4569.3892f, 600,
     3.35f, 13, 50, {2.2857f, 1.8571f, 1.5294f, 1.3f, 1.13f, 1}, 0.0048828f, 7500, 0.75f, 9400, 12000, 4.6875f, torque_base_125, 1.01f, 1},
    {"kx250f(2007)", "250f", "kx250fv2006", 4.29f, 0.745f, 322.5451f, 860.1203f, 30, 0.53f, 2083.1038f, 4770.9795f, 600,
     3.35f, 13, 48, {2.1429f, 1.7647f, 1.4737f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7800, 12100, 4.6875f, torque_base_250f, 0.93f, 0.97f},
    {"kx250f(2008)", "250f", "kx250fv2006", 4.28f, 0.745f, 322.5451f, 860.1203f, 30, 0.53f, 2083.1038f, 4770.9795f, 600,
     3.35f, 13, 48, {2.1429f, 1.7647f, 1.4737f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7800, 12100, 4.6875f, torque_base_250f, 0.94f, 0.97f},
    {"kx250f(2009)", "250f", "kx250fv2009", 4.27f, 0.73f, 335.9845f, 873.55969f, 30, 0.525f, 2150.3008f, 4838.1768f, 600,
     3.35f, 13, 48, {2.1429f, 1.7647f, 1.4737f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7800, 12200, 4.6875f, torque_base_250f, 0.95f, 0.98f},
    {"kx250f(2013)", "250f", "kx250fv2013", 4.26f, 0.72f, 335.9845f, 873.55969f, 30, 0.52f, 2150.3008f, 4838.1768f, 600,
     3.35f, 13, 49, {2.1429f, 1.75f, 1.4737f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7900, 12400, 4.6875f, torque_base_250f, 0.97f, 0.99f},
    {"kx250f(2016)", "250f", "kx250fv2013", 4.25f, 0.715f, 335.9845f, 873.55969f, 30, 0.515f, 2217.4976f, 4905.3735f, 600,
     3.35f, 13, 49, {2.1429f, 1.75f, 1.4737f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7900, 12400, 4.6875f, torque_base_250f, 0.98f, 0.99f},
    {"kx250f(2017)", "250f", "kx250fv2017", 4.24f, 0.71f, 349.42386f, 886.99902f, 30, 0.51f, 2217.4976f, 4905.3735f, 600,
     3.35f, 13, 50, {2.1429f, 1.75f, 1.4737f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 8000, 12500, 4.6875f, torque_base_250f, 0.99f, 1},
    {"kx250f(2018)", "250f", "kx250fv2017", 4.235f, 0.705f, 349.42386f, 886.99902f, 30, 0.505f, 2217.4976f, 4905.3735f, 600,
     3.35f, 13, 50, {2.1429f, 1.75f, 1.4737f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 8000, 12500, 4.6875f, torque_base_250f, 1, 1},
    {"kx250(2006)", "250", "kx250", 4.365625f, 0.75375f, 322.5451f, 860.1203f, 30, 0.589375f, 2083.1038f, 4770.98f, 600,
     3, 13, 51, {1.8f, 1.4375f, 1.1765f, 1, 0.8696f, -1}, 0.0068359f, 7500, 0.75f, 6000, 9000, 5.46875f, torque_base_250, 1, 1},
    {"kx450f(2011)", "450f", "kx450fv2009", 4.79f, 0.725f, 362.86325f, 900.43842f, 31, 0.52f, 2419.0884f, 5106.9644f, 625,
     2.27f, 13, 51, {1.8571f, 1.5f, 1.2632f, 1.0952f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5900, 10300, 5.46875f, torque_base_450f, 0.96f, 0.98f},
    {"kx450f(2013)", "450f", "kx450fv2012", 4.77f, 0.72f, 362.86325f, 900.43842f, 31, 0.515f, 2419.0884f, 5106.9644f, 625,
     2.27f, 13, 51, {1.8571f, 1.5f, 1.2632f, 1.0952f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5900, 10300, 5.46875f, torque_base_450f, 0.97f, 0.985f},
    {"kx450f(2016)", "450f", "kx450fv2012", 4.76f, 0.715f, 376.30261f, 913.87781f, 31, 0.51f, 2486.2852f, 5174.1611f, 625,
     2.27f, 13, 51, {1.8571f, 1.5f, 1.2632f, 1.0952f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5900, 10400, 5.46875f, torque_base_450f, 0.98f, 0.99f},
    {"kx450f(2017)", "450f", "kx450fv2016", 4.74f, 0.705f, 376.30261f, 913.87781f, 32, 0.505f, 2486.2852f, 5174.1611f, 650,
     2.27f, 13, 51, {1.8571f, 1.5f, 1.2632f, 1.0952f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 6000, 10500, 5.46875f, torque_base_450f, 1, 1},
    {"kx450f(2018)", "450f", "kx450fv2016", 4.735f, 0.705f, 376.30261f, 913.87781f, 32, 0.505f, 2486.2852f, 5174.1611f, 650,
     2.27f, 13, 51, {1.8571f, 1.5f, 1.2632f, 1.0952f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 6000, 10500, 5.46875f, torque_base_450f, 1.01f, 1},
    {"rm125", "125", "rm125", 3.67f, 0.745f, 322.5451f, 860.1203f, 30, 0.545f, 1814.3163f, 4502.1919f, 600,
     3.2f, 13, 50, {2.2f, 1.75f, 1.45f, 1.2273f, 1.08f, -1}, 0.0048828f, 7500, 0.75f, 9200, 11800, 4.6875f, torque_base_125, 0.99f, 0.98f},
    {"rmz250(2007)", "250f", "rmz250v2007", 4.3f, 0.74f, 322.5451f, 860.1203f, 30, 0.53f, 2083.1038f, 4770.9795f, 600,
     3.4f, 13, 48, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7700, 12000, 4.6875f, torque_base_250f, 0.93f, 0.96f},
    {"rmz250(2008)", "250f", "rmz250v2007", 4.29f, 0.74f, 322.5451f, 860.1203f, 30, 0.53f, 2083.1038f, 4770.9795f, 600,
     3.4f, 13, 48, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7700, 12100, 4.6875f, torque_base_250f, 0.94f, 0.965f},
    {"rmz250(2009)", "250f", "rmz250v2007", 4.28f, 0.735f, 322.5451f, 860.1203f, 30, 0.525f, 2150.3008f, 4838.1768f, 600,
     3.4f, 13, 48, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7800, 12100, 4.6875f, torque_base_250f, 0.95f, 0.97f},
    {"rmz250(2013)", "250f", "rmz250v2010", 4.27f, 0.725f, 335.9845f, 873.55969f, 30, 0.52f, 2150.3008f, 4838.1768f, 600,
     3.4f, 13, 49, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7800, 12200, 4.6875f, torque_base_250f, 0.96f, 0.98f},
    {"rmz250(2016)", "250f", "rmz250v2016", 4.26f, 0.72f, 335.9845f, 873.55969f, 30, 0.515f, 2217.4976f, 4905.3735f, 600,
     3.4f, 13, 49, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7900, 12300, 4.6875f, torque_base_250f, 0.97f, 0.985f},
    {"rmz250(2017)", "250f", "rmz250v2016", 4.255f, 0.715f, 335.9845f, 873.55969f, 30, 0.515f, 2217.4976f, 4905.3735f, 600,
     3.4f, 13, 49, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7900, 12400, 4.6875f, torque_base_250f, 0.975f, 0.99f},
    {"rmz250(2018)", "250f", "rmz250v2016", 4.25f, 0.715f, 335.9845f, 873.55969f, 30, 0.51f, 2217.4976f, 4905.3735f, 600,
     3.4f, 13, 49, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7900, 12400, 4.6875f, torque_base_250f, 0.98f, 0.99f},
    {"rm250(2008)", "250", "rm250", 4.34f, 0.75f, 335.9845f, 873.55969f, 30, 0.58f, 2083.1038f, 4770.9795f, 600,
     3, 13, 50, {1.8125f, 1.4375f, 1.1579f, 0.9583f, 0.8182f, -1}, 0.0068359f, 7500, 0.75f, 6000, 9000, 5.46875f, torque_base_250, 0.99f, 1},
    {"rmz450(2011)", "450f", "rmz450v2008", 4.8f, 0.73f, 362.86325f, 900.43842f, 31, 0.52f, 2419.0884f, 5106.9644f, 625,
     2.357f, 13, 49, {1.8571f, 1.5f, 1.25f, 1.0952f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5800, 10200, 5.46875f, torque_base_450f, 0.95f, 0.975f},
    {"rmz450(2013)", "450f", "rmz450v2013", 4.78f, 0.72f, 362.86325f, 900.43842f, 31, 0.515f, 2419.0884f, 5106.9644f, 625,
     2.357f, 13, 49, {1.8571f, 1.5f, 1.25f, 1.0952f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5900, 10300, 5.46875f, torque_base_450f, 0.96f, 0.98f},
    {"rmz450(2016)", "450f", "rmz450v2013", 4.77f, 0.72f, 376.30261f, 913.87781f, 31, 0.515f, 2486.2852f, 5174.1611f, 625,
     2.357f, 13, 49, {1.8571f, 1.5f, 1.25f, 1.0952f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5900, 10300, 5.46875f, torque_base_450f, 0.97f, 0.985f},
    {"rmz450(2017)", "450f", "rmz450v2013", 4.765f, 0.715f, 376.30261f, 913.87781f, 31, 0.51f, 2486.2852f, 5174.1611f, 625,
     2.357f, 13, 49, {1.8571f, 1.5f, 1.25f, 1.0952f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5900, 10300, 5.46875f, torque_base_450f, 0.975f, 0.985f},
    {"rmz450(2018)", "450f", "rmz450v2018", 4.75f, 0.705f, 376.30261f, 913.87781f, 32, 0.505f, 2486.2852f, 5174.1611f, 650,
     2.357f, 13, 49, {1.8571f, 1.5f, 1.25f, 1.0952f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 6000, 10400, 5.46875f, torque_base_450f, 0.99f, 0.995f},
    {"yz125", "125", "yz125", 3.66f, 0.74f, 322.5451f, 860.1203f, 30, 0.54f, 1814.3163f, 4502.1919f, 600,
     3.4f, 13, 50, {2.1429f, 1.7647f, 1.4706f, 1.25f, 1.0952f, 0.9545f}, 0.0048828f, 7500, 0.75f, 9600, 12200, 4.6875f, torque_base_125, 1.02f, 1.02f},
    {"yz250f(2007)", "250f", "yz250fv2006", 4.31f, 0.745f, 322.5451f, 860.1203f, 30, 0.535f, 2083.1038f, 4770.9795f, 600,
     3.353f, 13, 49, {2.1429f, 1.7647f, 1.4706f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7700, 12000, 4.6875f, torque_base_250f, 0.92f, 0.96f},
    {"yz250f_se(2006)", "250f", "yz250f_se", 4.3f, 0.745f, 322.5451f, 860.1203f, 30, 0.535f, 2083.1038f, 4770.9795f, 600,
     3.353f, 13, 49, {2.1429f, 1.7647f, 1.4706f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7600, 11900, 4.6875f, torque_base_250f, 0.92f, 0.955f},
    {"yz250f(2008)", "250f", "yz250fv2006", 4.3f, 0.74f, 322.5451f, 860.1203f, 30, 0.53f, 2083.1038f, 4770.9795f, 600,
     3.353f, 13, 49, {2.1429f, 1.7647f, 1.4706f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7700, 12100, 4.6875f, torque_base_250f, 0.93f, 0.965f},
    {"yz250f(2009)", "250f", "yz250fv2006", 4.29f, 0.74f, 322.5451f, 860.1203f, 30, 0.53f, 2150.3008f, 4838.1768f, 600,
     3.353f, 13, 49, {2.1429f, 1.7647f, 1.4706f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7700, 12100, 4.6875f, torque_base_250f, 0.94f, 0.965f},
    {"yz250f(2013)", "250f", "yz250fv2010", 4.28f, 0.73f, 335.9845f, 873.55969f, 30, 0.52f, 2150.3008f, 4838.1768f, 600,
     3.353f, 13, 49, {2.1429f, 1.7647f, 1.4706f, 1.2222f, 1.0455f, -1}, 0.0048828f, 7500, 0.75f, 7800, 12200, 4.6875f, torque_base_250f, 0.96f, 0.975f},
    {"yz250f(2016)", "250f", "yz250fv2014", 4.26f, 0.715f, 335.9845f, 873.55969f, 30, 0.51f, 2217.4976f, 4905.3735f, 600,
     3.353f, 13, 49, {2.1429f, 1.7647f, 1.4706f, 1.2222f, 1.0435f, -1}, 0.0048828f, 7500, 0.75f, 7900, 12400, 4.6875f, torque_base_250f, 0.98f, 0.99f},
    {"yz250f(2017)", "250f", "yz250fv2014", 4.255f, 0.71f, 335.9845f, 873.55969f, 30, 0.51f, 2217.4976f, 4905.3735f, 600,
     3.353f, 13, 49, {2.1429f, 1.7647f, 1.4706f, 1.2222f, 1.0435f, -1}, 0.0048828f, 7500, 0.75f, 8000, 12400, 4.6875f, torque_base_250f, 0.99f, 0.995f},
    {"yz250f(2018)", "250f", "yz250fv2018", 4.245f, 0.705f, 349.42386f, 886.99902f, 30, 0.505f, 2217.4976f, 4905.3735f, 600,
     3.353f, 13, 49, {2.1429f, 1.7647f, 1.4706f, 1.2222f, 1.0435f, -1}, 0.0048828f, 7500, 0.75f, 8000, 12500, 4.6875f, torque_base_250f, 1, 1},
    {"yz250(2012)", "250", "yz250", 4.32f, 0.74f, 322.5451f, 860.1203f, 30, 0.575f, 2150.3008f, 4838.1768f, 600,
     3, 13, 49, {1.786f, 1.444f, 1.211f, 1, 0.867f, -1}, 0.0068359f, 7500, 0.75f, 6100, 9100, 5.46875f, torque_base_250, 1.01f, 1.01f},
    {"yz450f(2011)", "450f", "yz450fv2010", 4.79f, 0.725f, 362.86325f, 900.43842f, 31, 0.52f, 2419.0884f, 5106.9644f, 625,
     2.314f, 13, 49, {1.9231f, 1.5625f, 1.3125f, 1.1429f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5900, 10300, 5.46875f, torque_base_450f, 0.96f, 0.98f},
    {"yz450f(2013)", "450f", "yz450fv2010", 4.78f, 0.72f, 362.86325f, 900.43842f, 31, 0.515f, 2419.0884f, 5106.9644f, 625,
     2.314f, 13, 49, {1.9231f, 1.5625f, 1.3125f, 1.1429f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5900, 10300, 5.46875f, torque_base_450f, 0.965f, 0.98f},
    {"yz450f(2016)", "450f", "yz450fv2014", 4.76f, 0.715f, 376.30261f, 913.87781f, 31, 0.51f, 2486.2852f, 5174.1611f, 625,
     2.314f, 13, 49, {1.9231f, 1.5625f, 1.3125f, 1.1429f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5900, 10400, 5.46875f, torque_base_450f, 0.98f, 0.99f},
    {"yz450f(2017)", "450f", "yz450fv2014", 4.755f, 0.71f, 376.30261f, 913.87781f, 31, 0.51f, 2486.2852f, 5174.1611f, 625,
     2.314f, 13, 49, {1.9231f, 1.5625f, 1.3125f, 1.1429f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 5900, 10400, 5.46875f, torque_base_450f, 0.985f, 0.99f},
    {"yz450f(2018)", "450f", "yz450fv2018", 4.74f, 0.705f, 376.30261f, 913.87781f, 32, 0.505f, 2486.2852f, 5174.1611f, 650,
     2.314f, 13, 49, {1.9231f, 1.5625f, 1.3125f, 1.1429f, 0.9583f, -1}, 0.0088501f, 7500, 0.75f, 6000, 10500, 5.46875f, torque_base_450f, 1, 1},
    {"125sx", "125", "125sx", 3.62f, 0.72f, 335.9845f, 873.55969f, 30, 0.53f, 1881.5132f, 4569.3892f, 600,
     3.6f, 13, 48, {2, 1.6471f, 1.4f, 1.2f, 1.05f, 0.9412f}, 0.0048828f, 7500, 0.75f, 9700, 12400, 4.6875f, torque_base_125, 1.04f, 1.03f},
    {"250sxf(2009)", "250f", "250sxfv2007", 4.27f, 0.725f, 322.5451f, 860.1203f, 30, 0.525f, 2150.3008f, 4838.1768f, 600,
     3.389f, 13, 50, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1, 0.9412f}, 0.0048828f, 7500, 0.75f, 8000, 12500, 4.6875f, torque_base_250f, 0.95f, 1},
    {"250sxf(2013)", "250f", "250sxfv2013", 4.24f, 0.715f, 335.9845f, 873.55969f, 30, 0.515f, 2217.4976f, 4905.3735f, 600,
     3.389f, 13, 50, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1, 0.9412f}, 0.0048828f, 7500, 0.75f, 8200, 12800, 4.6875f, torque_base_250f, 0.97f, 1.02f},
    {"250sxf(2016)", "250f", "250sxfv2016", 4.22f, 0.705f, 335.9845f, 873.55969f, 30, 0.505f, 2217.4976f, 4905.3735f, 600,
     3.389f, 13, 50, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1, 0.9412f}, 0.0048828f, 7500, 0.75f, 8200, 12900, 4.6875f, torque_base_250f, 0.99f, 1.03f},
    {"250sxf(2017)", "250f", "250sxfv2016", 4.215f, 0.705f, 349.42386f, 886.99902f, 30, 0.505f, 2284.6946f, 4972.5703f, 600,
     3.389f, 13, 50, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1, 0.9412f}, 0.0048828f, 7500, 0.75f, 8300, 12900, 4.6875f, torque_base_250f, 1, 1.035f},
    {"250sxf(2018)", "250f", "250sxfv2016", 4.21f, 0.7f, 349.42386f, 886.99902f, 30, 0.5f, 2284.6946f, 4972.5703f, 600,
     3.389f, 13, 50, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1, 0.9412f}, 0.0048828f, 7500, 0.75f, 8300, 13000, 4.6875f, torque_base_250f, 1.01f, 1.04f},
    {"250sx(2012)", "250", "250sx", 4.25f, 0.72f, 335.9845f, 873.55969f, 30, 0.55f, 2217.4976f, 4905.3735f, 600,
     2.769f, 13, 50, {1.857f, 1.5f, 1.235f, 1.042f, 0.885f, -1}, 0.0068359f, 7500, 0.75f, 6100, 9200, 5.46875f, torque_base_250, 1.03f, 1.02f},
    {"350sxf(2011)", "450f", "350sxfv2011", 4.5f, 0.715f, 362.86325f, 900.43842f, 31, 0.51f, 2351.8914f, 5039.7671f, 625,
     3, 13, 48, {2, 1.6471f, 1.375f, 1.15f, 0.9583f, -1}, 0.0068359f, 7500, 0.75f, 7100, 11400, 5.46875f, torque_base_250f, 1.38f, 0.93f},
    {"350sxf(2013)", "250f", "350sxfv2013", 4.48f, 0.71f, 362.86325f, 900.43842f, 31, 0.51f, 2419.0884f, 5106.9644f, 625,
     3, 13, 48, {2, 1.6471f, 1.375f, 1.15f, 0.9583f, -1}, 0.0068359f, 7500, 0.75f, 7200, 11500, 5.0781250f, torque_base_250f, 1.41f, 0.935f},
    {"350sxf(2017)", "250f", "350sxfv2016", 4.45f, 0.705f, 362.86325f, 900.43842f, 31, 0.505f, 2419.0884f, 5106.9644f, 625,
     3, 13, 48, {2, 1.6471f, 1.375f, 1.15f, 0.9583f, -1}, 0.0068359f, 7500, 0.75f, 7300, 11600, 5.0781250f, torque_base_250f, 1.45f, 0.94f},
    {"450sxf(2011)", "450f", "450sxfv2011", 4.77f, 0.72f, 362.86325f, 900.43842f, 31, 0.515f, 2419.0884f, 5106.9644f, 625,
     2.462f, 13, 50, {1.8235f, 1.4667f, 1.2105f, 1.0455f, 0.913f, -1}, 0.0088501f, 7500, 0.75f, 6000, 10500, 5.46875f, torque_base_450f, 0.97f, 1},
    {"450sxf(2013)", "450f", "450sxfv2013", 4.75f, 0.715f, 376.30261f, 913.87781f, 31, 0.51f, 2486.2852f, 5174.1611f, 625,
     2.462f, 13, 50, {1.8235f, 1.4667f, 1.2105f, 1.0455f, 0.913f, -1}, 0.0088501f, 7500, 0.75f, 6000, 10500, 5.46875f, torque_base_450f, 0.98f, 1},
    {"450sxf(2016)", "450f", "450sxfv2013", 4.74f, 0.71f, 376.30261f, 913.87781f, 31, 0.505f, 2486.2852f, 5174.1611f, 625,
     2.462f, 13, 50, {1.8235f, 1.4667f, 1.2105f, 1.0455f, 0.913f, -1}, 0.0088501f, 7500, 0.75f, 6000, 10600, 5.46875f, torque_base_450f, 0.99f, 1.005f},
    {"450sxf(2017)", "450f", "450sxfv2016", 4.725f, 0.705f, 376.30261f, 913.87781f, 32, 0.5f, 2486.2852f, 5174.1611f, 650,
     2.462f, 13, 50, {1.8235f, 1.4667f, 1.2105f, 1.0455f, 0.913f, -1}, 0.0088501f, 7500, 0.75f, 6100, 10600, 5.46875f, torque_base_450f, 1.01f, 1.01f},
    {"450sxf(2018)", "450f", "450sxfv2016", 4.72f, 0.7f, 376.30261f, 913.87781f, 32, 0.5f, 2486.2852f, 5174.1611f, 650,
     2.462f, 13, 50, {1.8235f, 1.4667f, 1.2105f, 1.0455f, 0.913f, -1}, 0.0088501f, 7500, 0.75f, 6100, 10600, 5.46875f, torque_base_450f, 1.02f, 1.01f},
    {"fc250(2017)", "250f", "fc250v2016", 4.225f, 0.705f, 335.9845f, 873.55969f, 30, 0.505f, 2217.4976f, 4905.3735f, 600,
     3.389f, 13, 51, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1, 0.9412f}, 0.0048828f, 7500, 0.75f, 8200, 12900, 4.6875f, torque_base_250f, 0.99f, 1.03f},
    {"fc250(2018)", "250f", "fc250v2016", 4.22f, 0.705f, 335.9845f, 873.55969f, 30, 0.505f, 2217.4976f, 4905.3735f, 600,
     3.389f, 13, 51, {2.1429f, 1.7333f, 1.4375f, 1.2f, 1, 0.9412f}, 0.0048828f, 7500, 0.75f, 8300, 12900, 4.6875f, torque_base_250f, 1, 1.035f},
    {"fc450(2017)", "450f", "fc450v2016", 4.73f, 0.705f, 376.30261f, 913.87781f, 32, 0.5f, 2419.0884f, 5106.9644f, 650,
     2.462f, 13, 50, {1.8235f, 1.4667f, 1.2105f, 1.0455f, 0.913f, -1}, 0.0088501f, 7500, 0.75f, 6000, 10600, 5.46875f, torque_base_450f, 1, 1.005f},
    {"fc450(2018)", "450f", "fc450v2016", 4.725f, 0.705f, 376.30261f, 913.87781f, 32, 0.5f, 2419.0884f, 5106.9644f, 650,
     2.462f, 13, 50, {1.8235f, 1.4667f, 1.2105f, 1.0455f, 0.913f, -1}, 0.0088501f, 7500, 0.75f, 6100, 10600, 5.46875f, torque_base_450f, 1.01f, 1.01f},
    {"rs50cr", "50", "rs50cr", 3.34125f, 0.7396875f, 309.10574f, 846.68085f, 30, 0.541875f, 1814.3163f, 4502.1919f, 600,
     3.714f, 12, 55, {3.0909f, 2, 1.5f, 1.2f, 1.0455f, 0.9565f}, 0.0011902f, 1200, 1, 9400, 12000, 4.6875f, torque_base_50, 1, 1},
    {"rs50kx", "50", "rs50kx", 3.355f, 0.745f, 309.10574f, 846.68091f, 30, 0.545f, 1814.3163f, 4502.1919f, 600,
     3.714f, 12, 54, {3.0909f, 2, 1.5f, 1.2f, 1.0455f, 0.9565f}, 0.0011902f, 1200, 1, 9400, 12000, 4.6875f, torque_base_50, 1.01f, 1},
    {"rs50rm", "50", "rs50rm", 3.35f, 0.74f, 309.10574f, 846.68091f, 30, 0.545f, 1814.3163f, 4502.1919f, 600,
     3.714f, 12, 55, {3, 2, 1.5f, 1.2f, 1.0455f, 0.9565f}, 0.0011902f, 1200, 1, 9300, 11900, 4.6875f, torque_base_50, 0.99f, 0.99f},
    {"rs50yz", "50", "rs50yz", 3.345f, 0.74f, 309.10574f, 846.68091f, 30, 0.54f, 1814.3163f, 4502.1919f, 600,
     3.714f, 12, 54, {3.0909f, 2, 1.5f, 1.2273f, 1.0455f, 0.9565f}, 0.0011902f, 1200, 1, 9500, 12100, 4.6875f, torque_base_50, 1.02f, 1.01f},
};
// clang-format on

constexpr const float* open_curve(torque_base base) {
    switch (base) {
        case torque_base_50: return open_50;
        case torque_base_125: return open_125;
        case torque_base_250: return open_250;
        case torque_base_250f: return open_250f;
        case torque_base_450f: return open_450f;
    }
    return open_125;
}

constexpr bool same_text(const char* a, const char* b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

template <size_t N>
constexpr void put_text(char (&dst)[N], const char* a, const char* b = "", const char* c = "") {
    size_t n = 0;
    for (const char* part : {a, b, c})
        for (const char* p = part; *p && n + 1 < N; p++) dst[n++] = *p;
    while (n < N) dst[n++] = 0;
}

template <size_t N>
constexpr void put_vec(float (&dst)[N], std::initializer_list<float> values) {
    size_t i = 0;
    for (float v : values) dst[i++] = v;
}

constexpr wheel_info make_wheel(float y, float z, float ring, float section, float rim_mass, float hub_radius,
                                float hub_mass) {
    wheel_info w{};
    put_vec(w.center, {0, y, z});
    w.tire_ring_radius = ring;
    w.tire_section_radius = section;
    w.rim_mass = rim_mass;
    w.hub_radius = hub_radius;
    w.hub_mass = hub_mass;
    return w;
}

// The family curve resampled at rpm / stretch by straight lines between its
// points (past the last point the last value holds), then scaled.
constexpr void fill_open_curve(float (&dst)[torque_points], const model_row& row) {
    const float* base = open_curve(row.base);
    for (int i = 0; i < torque_points; i++) {
        double x = i / (double)row.rpm_stretch;
        int k = (int)x;
        double f = x - k;
        double v = k >= torque_points - 1 ? base[torque_points - 1] : base[k] + f * (base[k + 1] - base[k]);
        dst[i] = (float)(v * row.torque_scale);
    }
}

constexpr void fill_closed_curve(float (&dst)[torque_points], const model_row& row) {
    bool four_stroke = same_text(row.engine_class, "250f") || same_text(row.engine_class, "450f");
    bool mini = same_text(row.engine_class, "50");
    for (int i = 0; i < torque_points; i++) {
        if (four_stroke)
            dst[i] = closed_four_stroke[i];
        else if (mini && i >= 4)  // half the two-stroke braking from 2000 rpm on
            dst[i] = closed_two_stroke[i] * 0.5f;
        else
            dst[i] = closed_two_stroke[i];
    }
}

constexpr void fill_model_files(bike_info& b, const char* prefix) {
    auto& f = b.model_files;
    put_text(f[file_frame_model], "@", prefix, "_frame.jm");
    put_text(f[file_frame_shape], "@generic_frame.shp");
    put_text(f[file_bike_texture], "@", prefix, ".png");
    put_text(f[file_fork_upper_model], "@", prefix, "_fork_upper.jm");
    put_text(f[file_fork_upper_shape], "@generic_fork_upper.shp");
    put_text(f[file_fork_lower_model], "@", prefix, "_fork_lower.jm");
    put_text(f[file_fork_lower_shape], "@generic_fork_lower.shp");
    put_text(f[file_swingarm_model], "@", prefix, "_swingarm.jm");
    put_text(f[file_swingarm_shape], "@generic_swingarm.shp");
    put_text(f[file_front_wheel_model], "@front_wheel.jm");
    put_text(f[file_front_wheel_shape], "@front_wheel.shp");
    put_text(f[file_rear_wheel_model], "@rear_wheel.jm");
    put_text(f[file_rear_wheel_shape], "@rear_wheel.shp");
    put_text(f[file_wheel_texture], "@wheels.png");
    put_text(f[file_rider_head_model], "@rider_head.jm");
    put_text(f[file_rider_head_texture], "@rider_head.png");
    put_text(f[file_rider_body_model], "@rider_body.jm");
    put_text(f[file_rider_body_fp_model], "@rider_body_fp.jm");
    put_text(f[file_rider_shape], "@generic_rider.shp");
    put_text(f[file_rider_body_texture], "@rider_body.png");
    put_text(f[file_side_plates_model], "@", prefix, "_side_plates.jm");
    put_text(f[file_front_plate_model], "@", prefix, "_front_plate.jm");
    put_text(f[file_rider_plate_model], "@rider_plate.jm");
}

constexpr rider_geometry make_rider_geometry() {
    rider_geometry r{};
    put_vec(r.head_point, {0, 0.808383f, -0.9433694f});
    put_vec(r.shoulder_left, {-0.556f, 0.580375f, -0.6545141f});
    put_vec(r.shoulder_right, {0.556f, 0.580375f, -0.6545141f});
    put_vec(r.hip_left, {-0.269f, -0.5708867f, 0.6706067f});
    put_vec(r.hip_right, {0.269f, -0.5708867f, 0.6706067f});
    put_vec(r.grip_left, {-1.097f, 1.145f, 0.753f});
    put_vec(r.grip_right, {1.097f, 1.145f, 0.753f});
    put_vec(r.footpeg_left, {-0.6f, -0.557f, 0.584f});
    put_vec(r.footpeg_right, {0.6f, -0.557f, 0.584f});
    r.upper_arm_length = 0.9f;
    r.forearm_length = 1.15f;
    r.thigh_length = 1.328f;
    r.shin_length = 1.701f;
    const float bones[rider_bone_count][2] = {
        {-1.456f, 0.875f}, {1.456f, 0.875f},  {-0.556f, 0.875f}, {0.556f, 0.875f}, {-0.269f, -2.208f},
        {0.269f, -2.208f}, {-0.269f, -0.88f}, {0.269f, -0.88f},  {0, -0.88f},
    };
    for (int i = 0; i < rider_bone_count; i++) put_vec(r.rider_bone_centres[i], {bones[i][0], bones[i][1], 0.01f});
    return r;
}

constexpr bike_info make_entry(const model_row& row) {
    bike_info b{};
    put_text(b.name, row.name);
    put_text(b.engine_class, row.engine_class);

    // Geometry, tires and damping bases shared by every model.
    b.front_wheel = make_wheel(1.09f, 1.11f, 0.8333333f, 0.3333333f, 0.40625f, 0.5f, 0.15625f);
    b.rear_wheel = make_wheel(1.04f, 6, 0.75f, 0.3333333f, 0.46875f, 0.5f, 0.3125f);
    put_vec(b.frame_position, {0, 1.98f, 3.6f});
    put_vec(b.frame_size, {0.8333333f, 1.6666666f, 1.6666666f});
    put_vec(b.fork_upper_position, {0, 2.9f, 2.16f});
    put_vec(b.swingarm_position, {0, 1.34f, 4.99f});
    put_vec(b.swingarm_pivot, {0, 1.6f, 4.08f});
    put_vec(b.fork_lower_position, {0, 1.77f, 1.59f});
    b.fork_leg_spacing = 0.8333333f;
    b.fork_leg_span = 3;
    b.fork_preload_min = 0;
    b.fork_preload_max = 0.0833333f;
    b.fork_air_gap_max = 0.4166667f;
    b.fork_air_gap_min = 0.25f;
    b.fork_hs_compression = 60;
    b.fork_ls_compression = 60;
    b.fork_ls_rebound = 30;
    b.fork_travel = 1;
    b.shock_preload_min = 0;
    b.shock_preload_max = 0.3333333f;
    b.shock_hs_compression = 800;
    b.shock_ls_compression = 200;
    b.shock_ls_rebound = 150;
    b.linkage_mid_stroke = 0.283652f;
    b.linkage_full_stroke = 0.413386f;
    b.swingarm_travel = 0.530304f;
    b.linkage_break = 0.75f;
    b.linkage_slope_start = 0.315039f;
    b.linkage_slope_break = 0.460479f;
    b.linkage_slope_end = 0.607049f;
    put_vec(b.rider_slide_axis, {0, 1.0f / 12, 1.0f / 12});
    put_vec(b.rider_position, {0, 4.5f, 4.12f});
    b.rider_slide_min = -2.0f / 3;
    b.rider_slide_max = 0.5f;
    b.rider = make_rider_geometry();

    // The model's own values.
    b.frame_mass = row.frame_mass;
    b.fork_mass = row.fork_mass;
    b.fork_spring_soft = row.fork_spring_soft;
    b.fork_spring_stiff = row.fork_spring_stiff;
    b.fork_hs_rebound = row.fork_hs_rebound;
    b.swingarm_arm_mass = row.swingarm_arm_mass;
    b.shock_spring_soft = row.shock_spring_soft;
    b.shock_spring_stiff = row.shock_spring_stiff;
    b.shock_hs_rebound = row.shock_hs_rebound;
    b.primary_ratio = row.primary_ratio;
    b.countershaft_teeth = row.countershaft_teeth;
    b.rear_sprocket_teeth = row.rear_sprocket_teeth;
    for (int g = 0; g < bike_gear_count; g++) b.gear_ratios[g] = row.gear_ratios[g];
    b.engine_inertia = row.engine_inertia;
    b.drive_stiffness = row.drive_stiffness;
    b.drive_damping = row.drive_damping;
    fill_closed_curve(b.torque_closed, row);
    fill_open_curve(b.torque_open, row);
    b.shift_down_rpm = row.shift_down_rpm;
    b.shift_up_rpm = row.shift_up_rpm;
    b.rider_mass = row.rider_mass;
    fill_model_files(b, row.prefix);
    return b;
}

constexpr std::array<bike_info, bike_model_count> make_table() {
    std::array<bike_info, bike_model_count> t{};
    for (int i = 0; i < bike_model_count; i++) t[i] = make_entry(model_rows[i]);
    return t;
}

}  // namespace

extern constinit const std::array<bike_info, bike_model_count> bike_info_table = make_table();
