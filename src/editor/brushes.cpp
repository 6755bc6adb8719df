// The sculpting brushes and the snap tool.
#include <algorithm>
#include <cmath>
#include <vector>

#include "editor/editor.h"
#include "editor/editor_internal.h"
#include "track/height_field.h"

namespace {

// Per row of the committed heights, the running sum of the row so far
// (N + 1 entries per row, the first 0): a disc mean then costs one lookup
// per disc row instead of one per disc sample.
std::vector<double> g_row_sums;
bool g_sums_fresh = false;

void build_row_sums() {
    int n = terrain.samples_per_side;
    g_row_sums.assign((size_t)n * (size_t)(n + 1), 0.0);
    for (int j = 0; j < n; j++) {
        double* row = &g_row_sums[(size_t)j * (size_t)(n + 1)];
        const float* b = &editor.base_heights[(size_t)j * (size_t)n];
        for (int i = 0; i < n; i++) row[i + 1] = row[i] + b[i];
    }
    g_sums_fresh = true;
}

// Sum of the clamped row j over columns a … b (a <= b), edge samples
// repeated beyond the grid.
double clamped_row_sum(int j, int a, int b) {
    int n = terrain.samples_per_side;
    const double* row = &g_row_sums[(size_t)j * (size_t)(n + 1)];
    const float* h = &editor.base_heights[(size_t)j * (size_t)n];
    double sum = 0;
    if (a < 0) {
        sum += (double)(std::min(b, -1) - a + 1) * h[0];
        a = 0;
    }
    if (b > n - 1) {
        sum += (double)(b - std::max(a, n) + 1) * h[n - 1];
        b = n - 1;
    }
    if (a <= b) sum += row[b + 1] - row[a];
    return sum;
}

float distance_to_segment(float px, float pz, editor_point s, editor_point p) {
    float dx = p.x - s.x, dz = p.z - s.z;
    float len2 = dx * dx + dz * dz;
    float t = len2 > 0 ? ((px - s.x) * dx + (pz - s.z) * dz) / len2 : 0;
    t = std::clamp(t, 0.0f, 1.0f);
    float ex = s.x + t * dx - px, ez = s.z + t * dz - pz;
    return std::sqrt(ex * ex + ez * ez);
}

int clamp_index(int k, int n) { return std::clamp(k, 0, n - 1); }

// The sample rectangle a brush of radius r along s … p can touch.
void brush_box(editor_point s, editor_point p, float r, int& i0, int& j0, int& i1, int& j1) {
    int n = terrain.samples_per_side;
    float c = terrain.cell_size;
    // Clamped as floats first: a far-off point must not overflow the index.
    auto lo = [&](float v) { return clamp_index((int)std::clamp(std::floor(v / c), -1.0f, (float)n), n); };
    auto hi = [&](float v) { return clamp_index((int)std::clamp(std::ceil(v / c), -1.0f, (float)n), n); };
    i0 = lo(std::min(s.x, p.x) - r);
    i1 = hi(std::max(s.x, p.x) + r);
    j0 = lo(std::min(s.z, p.z) - r);
    j1 = hi(std::max(s.z, p.z) + r);
}

const gradient* selected() {
    int k = editor.selected_gradient;
    return k >= 0 && k < (int)editor.gradients.size() ? &editor.gradients[(size_t)k] : nullptr;
}

}  // namespace

void editor_smooth_sums_stale() {
    g_sums_fresh = false;
    g_row_sums.clear();
    g_row_sums.shrink_to_fit();
}

float editor_smooth_mean(int i, int j, int r) {
    int n = terrain.samples_per_side;
    if (n <= 0 || editor.base_heights.size() != (size_t)n * n) return 0;
    if (!g_sums_fresh) build_row_sums();
    r = std::clamp(r, 1, 1024);
    // The disc's half-widths per row offset, kept for the last radius asked.
    static int widths_for = 0;
    static std::vector<int> widths;
    static long disc_count = 0;
    if (widths_for != r) {
        widths.assign((size_t)(2 * r - 1), 0);
        disc_count = 0;
        for (int m = -(r - 1); m <= r - 1; m++) {
            int w = (int)std::floor(std::sqrt((double)r * r - (double)m * m));
            widths[(size_t)(m + r - 1)] = w;
            disc_count += 2 * w + 1;
        }
        widths_for = r;
    }
    double sum = 0;
    const size_t stride = (size_t)n + 1;
    bool inside_columns = i - r >= 0 && i + r <= n - 1;
    for (int m = -(r - 1); m <= r - 1; m++) {
        int w = widths[(size_t)(m + r - 1)];
        int row = j + m < 0 ? 0 : (j + m > n - 1 ? n - 1 : j + m);
        if (inside_columns) {
            const double* sums = &g_row_sums[(size_t)row * stride];
            sum += sums[i + w + 1] - sums[i - w];
        } else {
            sum += clamped_row_sum(row, i - w, i + w);
        }
    }
    return (float)(sum / (double)disc_count);
}

float editor_base_surface_at(float x, float z) {
    int n = terrain.samples_per_side;
    if (n < 2 || editor.base_heights.size() != (size_t)n * n) return 0;
    float c = terrain.cell_size;
    float u = std::isfinite(x) ? std::clamp(x / c, 0.0f, (float)(n - 1)) : 0;
    float v = std::isfinite(z) ? std::clamp(z / c, 0.0f, (float)(n - 1)) : 0;
    int i = std::min((int)u, n - 2), j = std::min((int)v, n - 2);
    float fu = u - i, fv = v - j;
    auto h = [&](int a, int b) { return editor.base_heights[(size_t)a + (size_t)n * b]; };
    float h00 = h(i, j), h10 = h(i + 1, j), h01 = h(i, j + 1), h11 = h(i + 1, j + 1);
    if (((i + j) & 1) == 0) {
        // diagonal (i, j) - (i+1, j+1)
        if (fu >= fv) return h00 + (h10 - h00) * fu + (h11 - h10) * fv;
        return h00 + (h01 - h00) * fv + (h11 - h01) * fu;
    }
    // diagonal (i+1, j) - (i, j+1)
    if (fu + fv <= 1) return h00 + (h10 - h00) * fu + (h01 - h00) * fv;
    return h11 + (h01 - h11) * (1 - fu) + (h10 - h11) * (1 - fv);
}

void editor_brush_action(editor_point p) {
    editor_state& e = editor;
    height_field& f = terrain;
    int n = f.samples_per_side;
    if (!e.attached || n <= 0) return;
    int mode = e.mode;
    float c = f.cell_size;
    float k = std::exp2((float)editor_settings.strength);
    float smudge_dir[2] = {0, 0};
    if (mode == 3) {
        float dx = e.smudge_anchor.x - p.x, dz = e.smudge_anchor.z - p.z;
        float d2 = dx * dx + dz * dz;
        if (d2 < 1) return;
        float d = std::sqrt(d2);
        smudge_dir[0] = dx / d;
        smudge_dir[1] = dz / d;
        e.smudge_anchor.x = p.x + smudge_dir[0];
        e.smudge_anchor.z = p.z + smudge_dir[1];
    }
    editor_point s = e.stroke_start.none() ? p : e.stroke_start;
    e.stroke_start = p;
    float radius = editor_brush_radius(), focus = editor_focus_radius();
    int i0, j0, i1, j1;
    brush_box(s, p, radius, i0, j0, i1, j1);
    const gradient* g = selected();
    int smooth_r = std::clamp((int)k, 1, 1024);
    float creep = std::clamp(k, 0.0f, 1.0f);
    for (int j = j0; j <= j1; j++) {
        for (int i = i0; i <= i1; i++) {
            float wx = i * c, wz = j * c;
            float d = distance_to_segment(wx, wz, s, p);
            if (d >= radius) continue;
            float w = 1;
            if (d >= focus && radius > focus) {
                float t = (d - focus) / (radius - focus);
                w = 2 * t * t * t - 3 * t * t + 1;
            }
            size_t at = (size_t)i + (size_t)n * j;
            float b = e.base_heights[at], cur = f.heights[at];
            float a = b;
            switch (mode) {
                case 0: a = b + k; break;
                case 1: a = b - k; break;
                case 2: a = editor_smooth_mean(i, j, smooth_r); break;
                case 3: {
                    double sum = 0;
                    int count = 0;
                    for (float v = 0; v < c * k; v += 0.5f * c) {
                        sum += editor_base_surface_at(wx + v * smudge_dir[0], wz + v * smudge_dir[1]);
                        count++;
                    }
                    a = count ? (float)(sum / count) : b;
                    break;
                }
                case 5: a = g ? gradient_height(*g, wx, wz, false) : 0; break;
                case 6: a = b + (g ? gradient_height(*g, wx, wz, false) : 0); break;
                case 7: a = g ? gradient_height(*g, wx, wz, true) : 0; break;
                case 8: a = b + (g ? gradient_height(*g, wx, wz, true) : 0); break;
                default: return;
            }
            float nh = b + (a - b) * w;
            if (!(std::fabs(nh - b) > std::fabs(cur - b))) continue;
            if (mode >= 5) {
                float q = (nh - b) * creep;
                nh = q < 0 ? std::max(nh, cur + q) : std::min(nh, cur + q);
            }
            if (editor_settings.sub_mode == 1 && nh < b) nh = b;
            if (editor_settings.sub_mode == 2 && nh > b) nh = b;
            set_sample(i, j, nh);
            e.pending = true;
            e.status_text = "Update needed!";
        }
    }
    report_changed_region(i0, j0, i1, j1);
    f.change_count++;
}

void editor_snap_action(editor_point p) {
    editor_state& e = editor;
    height_field& f = terrain;
    int n = f.samples_per_side;
    if (!e.attached || n <= 0) return;
    float c = f.cell_size;
    float want = std::exp2((float)editor_settings.strength);
    int shift = 0;
    while (shift < 30 && c * std::exp2((float)shift) < want) shift++;
    int step = 1 << shift;
    auto block_start = [&](float v) {
        int i = (int)std::floor(std::clamp(v / c, -1.0f, (float)n));
        return i >= 0 ? i / step * step : -(((-i) + step - 1) / step) * step;
    };
    int bi = block_start(p.x), bj = block_start(p.z);
    int i0 = clamp_index(bi, n), i1 = clamp_index(bi + step, n);
    int j0 = clamp_index(bj, n), j1 = clamp_index(bj + step, n);
    auto base = [&](int i, int j) { return e.base_heights[(size_t)clamp_index(i, n) + (size_t)n * clamp_index(j, n)]; };
    for (int j = j0; j <= j1; j++) {
        for (int i = i0; i <= i1; i++) {
            // The coarse cell holding (i, j) and the sample's place in it.
            int ci = std::min(i / step, (n - 2) / step), cj = std::min(j / step, (n - 2) / step);
            int ai = ci * step, aj = cj * step;
            float fu = (float)(i - ai) / step, fv = (float)(j - aj) / step;
            float h00 = base(ai, aj), h10 = base(ai + step, aj), h01 = base(ai, aj + step),
                  h11 = base(ai + step, aj + step);
            float h;
            if (((ci + cj) & 1) == 0) {
                h = fu >= fv ? h00 + (h10 - h00) * fu + (h11 - h10) * fv : h00 + (h01 - h00) * fv + (h11 - h01) * fu;
            } else {
                h = fu + fv <= 1 ? h00 + (h10 - h00) * fu + (h01 - h00) * fv
                                 : h11 + (h01 - h11) * (1 - fu) + (h10 - h11) * (1 - fv);
            }
            set_sample(i, j, h);
        }
    }
    e.pending = true;
    e.status_text = "Update needed!";
    report_changed_region(i0, j0, i1, j1);
    f.change_count++;
}
