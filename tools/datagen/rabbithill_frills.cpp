// Rabbit Hill's script assets: two ".seq" animations, two models the script
// moves, and the crowd's sound, all drawn or synthesised here.
#include "datagen/rabbithill_frills.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "datagen/datagen.h"
#include "datagen/dice.h"
#include "datagen/dmath.h"
#include "datagen/mesh_build.h"
#include "datagen/picture.h"

namespace {

// ---- a 5 x 7 block font for the boards --------------------------------------------------

const char* glyph_rows(char c) {
    switch (c) {
        case '0': return "01110100011001110101110011000101110";
        case '1': return "00100011000010000100001000010001110";
        case '2': return "01110100010000100010001000100011111";
        case '3': return "11110000010000101110000010000111110";
        case '4': return "00010001100101010010111110001000010";
        case '5': return "11111100001111000001000011000101110";
        case '6': return "00110010001000011110100011000101110";
        case '7': return "11111000010001000100010000100001000";
        case '8': return "01110100011000101110100011000101110";
        case '9': return "01110100011000101111000010001001100";
        case 'A': return "01110100011000111111100011000110001";
        case 'B': return "11110100011000111110100011000111110";
        case 'D': return "11110100011000110001100011000111110";
        case 'E': return "11111100001000011110100001000011111";
        case 'G': return "01110100011000010111100011000101111";
        case 'H': return "10001100011000111111100011000110001";
        case 'I': return "01110001000010000100001000010001110";
        case 'L': return "10000100001000010000100001000011111";
        case 'N': return "10001110011010110011100011000110001";
        case 'O': return "01110100011000110001100011000101110";
        case 'R': return "11110100011000111110101001001010001";
        case 'T': return "11111001000010000100001000010000100";
        case 'U': return "10001100011000110001100011000101110";
        case 'X': return "10001100010101000100010101000110001";
        case '!': return "00100001000010000100001000000000100";
        case '.': return "00000000000000000000000000110001100";
        default: return nullptr;
    }
}

// Text in the block font with its top left at (x, y), `scale` pixels a dot.
void draw_text(picture& p, int x, int y, const char* text, int scale, rgba c) {
    for (; *text; text++, x += 6 * scale) {
        const char* rows = glyph_rows(*text);
        if (!rows) continue;
        for (int j = 0; j < 7; j++)
            for (int i = 0; i < 5; i++)
                if (rows[j * 5 + i] == '1') p.rect(x + i * scale, y + j * scale, x + (i + 1) * scale, y + (j + 1) * scale, c);
    }
}

// ---- the scoreboard ----------------------------------------------------------------------

// Frame 0 is the empty board; frame 1 holds the pieces the script pastes:
// the digits 0..9 in 20 x 28 cells along the top row, and a lit lamp.
const rgba board_black{18, 20, 24, 255}, board_amber{255, 184, 40, 255}, board_dim{70, 56, 30, 255};

picture scoreboard_board() {
    picture p(256, 128, board_black);
    p.frame(0, 0, 256, 128, 4, rgba{150, 150, 156, 255});
    draw_text(p, 10, 8, "RUNNING ORDER", 2, rgba{240, 240, 240, 255});
    for (int row = 0; row < 3; row++) {
        char label[2] = {(char)('1' + row), 0};
        draw_text(p, 12, 36 + row * 30, label, 3, board_dim);
    }
    p.grain(4, 4, 252, 124, 0.04, 41);
    return p;
}

picture scoreboard_pieces() {
    picture p(256, 128, board_black);
    for (int d = 0; d < 10; d++) {
        char digit[2] = {(char)('0' + d), 0};
        draw_text(p, d * 20 + 2, 2, digit, 3, board_amber);
    }
    p.disc(230, 14, 9, board_amber);
    return p;
}

// ---- the sponsor board: a message that flashes and scrolls ---------------------------------

picture sponsor_frame(int k) {
    static const rgba backs[4] = {{200, 30, 30, 255}, {20, 60, 170, 255}, {200, 30, 30, 255}, {250, 200, 20, 255}};
    picture p(256, 64, backs[k]);
    p.frame(0, 0, 256, 64, 3, rgba{250, 250, 250, 255});
    const char* words[4] = {"RABBIT", "HILL", "MX", "GO!"};
    rgba ink = k == 3 ? rgba{20, 20, 20, 255} : rgba{250, 250, 250, 255};
    int len = 0;
    while (words[k][len]) len++;
    draw_text(p, (256 - len * 36) / 2, 11, words[k], 6, ink);
    p.stripes(3, 54, 253, 61, 12, 5, rgba{250, 250, 250, 255});
    return p;
}

// A ".seq" whose frames are PNG files of the same folder.
std::string seq_text(const std::string& dir, const char* base, int frames, const std::vector<int>& steps, int period,
                     bool loop) {
    std::string t = "ANIM1\n" + std::to_string(steps.size()) + " " + std::to_string(frames) + " " +
                    std::to_string(period) + " " + (loop ? "1" : "0") + "\n";
    for (size_t k = 0; k < steps.size(); k++) t += std::to_string(steps[k]) + (k + 1 < steps.size() ? " " : "\n");
    for (int k = 0; k < frames; k++) t += "PNG\n@" + dir + base + "-" + std::to_string(k) + ".png\n";
    return t;
}

// ---- models ---------------------------------------------------------------------------------

uv_box cell(int x0, int y0, int x1, int y1) { return pixel_box(x0, y0, x1, y1, 64, 64); }
const float matte[3] = {0.1f, 0.1f, 0.1f};

// A marshal in orange with a yellow flag held up to the right; feet at the
// origin, facing -z. The script rocks the whole figure to wave the flag.
std::string flagman_model() {
    mesh_build m;
    const uv_box vest = cell(0, 0, 32, 32), skin = cell(32, 0, 64, 32), pole = cell(0, 32, 32, 64),
                 flag = cell(32, 32, 64, 64);
    box(m, {-0.5, 0, -0.3}, {-0.1, 2.9, 0.3}, pole);  // legs
    box(m, {0.1, 0, -0.3}, {0.5, 2.9, 0.3}, pole);
    box(m, {-0.7, 2.9, -0.35}, {0.7, 4.9, 0.35}, vest);  // body
    box(m, {-0.35, 4.95, -0.35}, {0.35, 5.7, 0.35}, skin);  // head
    box(m, {0.7, 4.3, -0.15}, {1.0, 6.0, 0.15}, vest);  // the raised arm
    box(m, {0.8, 5.6, -0.06}, {0.92, 8.2, 0.06}, pole);  // the flag's pole
    box(m, {0.92, 6.9, -0.03}, {2.8, 8.1, 0.03}, flag);
    return jm_text({to_mesh(m, 4, matte)});
}

picture flagman_texture() {
    picture p(64, 64, rgba{240, 110, 20, 255});
    p.rect(0, 10, 32, 14, rgba{230, 230, 200, 255});  // reflective band
    p.rect(32, 0, 64, 32, rgba{224, 172, 130, 255});
    p.rect(0, 32, 32, 64, rgba{50, 50, 60, 255});
    p.rect(32, 32, 64, 64, rgba{250, 220, 20, 255});
    p.grain(0, 0, 64, 64, 0.05, 43);
    return p;
}

// A small green farm tractor, about 10 ft long, its length along x (the
// heading turns x), wheels on the ground at y = 0.
std::string tractor_model() {
    mesh_build m;
    const uv_box paint = cell(0, 0, 32, 32), tyre = cell(32, 0, 64, 32), glass = cell(0, 32, 32, 64),
                 steel = cell(32, 32, 64, 64);
    box(m, {-1.0, 1.5, -1.3}, {4.6, 3.6, 1.3}, paint);   // bonnet and body
    box(m, {-2.6, 1.5, -2.0}, {-0.4, 3.2, 2.0}, paint);  // rear mudguards and seat base
    box(m, {-2.5, 3.2, -1.6}, {-0.2, 7.2, 1.6}, glass);  // the cab
    box(m, {-2.7, 7.2, -1.8}, {0.0, 7.5, 1.8}, paint);   // its roof
    box(m, {3.6, 3.6, -0.15}, {3.9, 5.4, 0.15}, steel);  // exhaust
    // Big rear wheels, small front ones.
    for (double side : {-1.0, 1.0}) {
        box(m, {-3.0, 0, side * 1.4 - 0.5}, {-0.6, 2.8, side * 1.4 + 0.5}, tyre);
        box(m, {2.6, 0, side * 1.2 - 0.35}, {4.2, 1.6, side * 1.2 + 0.35}, tyre);
    }
    return jm_text({to_mesh(m, 6, matte)});
}

picture tractor_texture() {
    picture p(64, 64, rgba{40, 130, 50, 255});
    p.rect(32, 0, 64, 32, rgba{30, 30, 30, 255});
    for (int y = 0; y < 32; y += 4) p.rect(32, y, 64, y + 1, rgba{55, 55, 55, 255});  // tread
    p.rect(0, 32, 32, 64, rgba{150, 190, 210, 255});
    p.frame(0, 32, 32, 64, 3, rgba{40, 130, 50, 255});
    p.rect(32, 32, 64, 64, rgba{120, 120, 124, 255});
    p.rect(2, 20, 30, 26, rgba{250, 210, 30, 255});  // the yellow stripe
    p.grain(0, 0, 64, 64, 0.05, 47);
    return p;
}

// ---- the crowd ------------------------------------------------------------------------------

// Four seconds at 22050 Hz that loop without a seam: a murmur of filtered
// noise, voices rising and falling in it, and now and then a whistle.
std::vector<uint8_t> crowd_loop() {
    const int rate = 22050, n = 4 * rate;
    dice r(43, 211);
    std::vector<double> s((size_t)n, 0.0);
    // Murmur: noise through two one-pole filters, per sample.
    double lp1 = 0, lp2 = 0;
    for (int pass = 0; pass < 2; pass++)  // the first pass only warms the filters up
        for (int i = 0; i < n; i++) {
            double w = r.next() * 2 - 1;
            lp1 += 0.18 * (w - lp1);
            lp2 += 0.05 * (lp1 - lp2);
            if (pass == 1) s[(size_t)i] = (lp1 - lp2) * 1.6;
        }
    // Voices: short vowel-like tones with a slow rise and fall, wrapped round.
    for (int v = 0; v < 90; v++) {
        double f0 = 140 + r.next() * 260, start = r.next() * n, len = (0.15 + r.next() * 0.5) * rate;
        double amp = 0.05 + r.next() * 0.08, formant = 2.0 + r.next() * 2.5;
        for (int k = 0; k < (int)len; k++) {
            double t = k / (double)rate, env = dmath::sin(M_PI * k / len);
            double ph = 2 * M_PI * f0 * t;
            double tone = dmath::sin(ph) + 0.5 * dmath::sin(formant * ph) + 0.25 * dmath::sin(2 * formant * ph);
            s[(size_t)(((int)start + k) % n)] += amp * env * env * tone;
        }
    }
    // Two whistles.
    for (int w = 0; w < 2; w++) {
        double start = (0.3 + 0.45 * w) * n, len = 0.35 * rate;
        for (int k = 0; k < (int)len; k++) {
            double t = k / (double)rate, env = dmath::sin(M_PI * k / len);
            double f = 2100 + 600 * dmath::sin(2 * M_PI * 3 * t);
            s[(size_t)(((int)start + k) % n)] += 0.08 * env * dmath::sin(2 * M_PI * f * t);
        }
    }
    double peak = 1e-9;
    for (double x : s) peak = std::max(peak, std::fabs(x));
    std::vector<uint8_t> out;
    out.reserve((size_t)n * 2);
    for (double x : s) {
        int v = (int)std::lround(x / peak * 26000);
        uint16_t u = (uint16_t)(int16_t)v;
        out.push_back((uint8_t)(u & 0xff));
        out.push_back((uint8_t)(u >> 8));
    }
    return out;
}

std::string js_number(double v) {
    char b[64];
    snprintf(b, sizeof b, "%.2f", v);
    return b;
}

}  // namespace

std::string frills_script(const frills_places& p, const std::string& script_text) {
    auto pair = [](const double* v, int n) {
        std::string t = "[";
        for (int k = 0; k < n; k++) t += (k ? ", " : "") + js_number(v[k]);
        return t + "]";
    };
    std::string t = "// Where the script's things stand, written by the data generator.\n";
    t += "var places = {\n";
    t += "    scoreboard: " + pair(p.scoreboard, 2) + ",\n";
    t += "    sponsor: " + pair(p.sponsor, 2) + ",\n";
    t += "    flagman: " + pair(p.flagman, 3) + ",\n";
    t += "    tractor_from: " + pair(p.tractor_from, 2) + ",\n";
    t += "    tractor_to: " + pair(p.tractor_to, 2) + ",\n";
    t += "    landing: " + pair(p.landing, 3) + ",\n";
    t += "    crowd: " + pair(p.crowd, 2) + "\n};\n\n";
    return t + script_text;
}

void add_frills_files(datagen_output& out, const std::string& dir) {
    add_picture(out, dir + "scoreboard-0.png", scoreboard_board());
    add_picture(out, dir + "scoreboard-1.png", scoreboard_pieces());
    add_text_member(out, dir + scoreboard_file, seq_text(dir, "scoreboard", 2, {0}, 128, false));
    for (int k = 0; k < 4; k++) add_picture(out, dir + "sponsor-" + std::to_string(k) + ".png", sponsor_frame(k));
    add_text_member(out, dir + sponsor_file, seq_text(dir, "sponsor", 4, {0, 1, 2, 3, 0, 1, 2, 3, 3, 3}, 48, true));
    add_text_member(out, dir + flagman_model_file, flagman_model());
    add_picture(out, dir + flagman_texture_file, flagman_texture());
    add_text_member(out, dir + tractor_model_file, tractor_model());
    add_picture(out, dir + tractor_texture_file, tractor_texture());
    add_member(out, dir + crowd_sound_file, crowd_loop());
}
