#include "datagen/bike_art.h"

#include <cstring>

#include "bike/bike_info.h"

namespace {

rgba c(int r, int g, int b) { return rgba{(uint8_t)r, (uint8_t)g, (uint8_t)b, 255}; }

// The prefix of a model's own files: its frame model's name without "@" and
// "_frame.jm".
std::string prefix_of(const bike_info& b) {
    std::string f = b.model_files[file_frame_model];
    if (!f.empty() && f[0] == '@') f.erase(0, 1);
    const std::string tail = "_frame.jm";
    if (f.size() > tail.size() && f.compare(f.size() - tail.size(), tail.size(), tail) == 0)
        f.resize(f.size() - tail.size());
    return f;
}

bike_scheme brand_scheme(const std::string& prefix) {
    auto has = [&](const char* s) { return prefix.find(s) != std::string::npos; };
    bike_scheme s;
    s.seat = c(28, 28, 30);
    s.seat_band = c(60, 60, 64);
    s.frame = c(178, 182, 188);
    s.spring = c(200, 40, 30);
    s.fork_lower = c(40, 40, 44);
    s.plate_back = c(245, 245, 245);
    s.plate_number = c(10, 10, 10);
    s.pattern = 0;
    if (has("kx")) {
        s.main = c(96, 190, 40);
        s.second = c(20, 20, 22);
        s.third = c(235, 235, 235);
        s.spring = c(96, 190, 40);
        s.frame = c(40, 120, 40);
        s.plate_back = c(20, 20, 22);
        s.plate_number = c(250, 250, 250);
        s.pattern = 1;
    } else if (has("rm")) {
        s.main = c(240, 205, 20);
        s.second = c(235, 235, 235);
        s.third = c(30, 60, 160);
        s.spring = c(240, 205, 20);
        s.seat_band = c(30, 60, 160);
        s.plate_back = c(240, 205, 20);
        s.pattern = 2;
    } else if (has("yz")) {
        s.main = c(25, 70, 190);
        s.second = c(240, 240, 240);
        s.third = c(20, 20, 24);
        s.frame = c(40, 80, 190);
        s.spring = c(230, 230, 235);
        s.fork_lower = c(30, 50, 120);
        s.seat_band = c(25, 70, 190);
        s.plate_back = c(25, 70, 190);
        s.plate_number = c(250, 250, 250);
        s.pattern = 3;
    } else if (has("fc")) {
        s.main = c(240, 240, 240);
        s.second = c(20, 40, 110);
        s.third = c(250, 200, 20);
        s.frame = c(20, 40, 110);
        s.spring = c(250, 200, 20);
        s.plate_back = c(20, 40, 110);
        s.plate_number = c(250, 250, 250);
        s.pattern = 4;
    } else if (has("sx")) {
        s.main = c(245, 110, 10);
        s.second = c(20, 20, 22);
        s.third = c(240, 240, 240);
        s.frame = c(235, 100, 10);
        s.spring = c(245, 110, 10);
        s.fork_lower = c(235, 100, 10);
        s.seat_band = c(245, 110, 10);
        s.pattern = 5;
    } else {  // the cr / crf family and anything unknown
        s.main = c(205, 20, 25);
        s.second = c(245, 245, 245);
        s.third = c(20, 20, 22);
        s.seat_band = c(205, 20, 25);
        s.plate_back = c(245, 245, 245);
        s.pattern = 0;
    }
    return s;
}

int year_of(const std::string& prefix) {
    size_t v = prefix.rfind('v');
    if (v == std::string::npos || v + 5 != prefix.size()) return 0;
    return atoi(prefix.c_str() + v + 1);
}

int displacement_of(const std::string& prefix) {
    for (int d : {450, 350, 250, 125, 50})
        if (prefix.find(std::to_string(d)) != std::string::npos) return d;
    return 250;
}

}  // namespace

std::vector<bike_family> bike_families() {
    std::vector<bike_family> out;
    for (const bike_info& b : bike_info_table) {
        std::string p = prefix_of(b);
        bool seen = false;
        for (const bike_family& f : out) seen = seen || f.prefix == p;
        if (seen || p.empty()) continue;
        bike_family f;
        f.prefix = p;
        std::string cls = b.engine_class;
        f.two_stroke = cls == "50" || cls == "125" || cls == "250";
        f.displacement = displacement_of(p);
        f.year = year_of(p);
        f.scheme = brand_scheme(p);
        // Model years of one brand differ in their graphic.
        f.scheme.pattern = f.scheme.pattern * 4 + (f.year ? (f.year / 2) % 4 : 0);
        out.push_back(f);
    }
    return out;
}

const std::vector<std::string>& bike_variant_labels() {
    static const std::vector<std::string> labels = {"black", "retro"};
    return labels;
}

bike_scheme scheme_variant(const bike_scheme& base, const std::string& label) {
    bike_scheme s = base;
    if (label == "black") {
        s.main = c(26, 26, 28);
        s.second = c(36, 36, 40);
        s.third = base.main;
        s.seat_band = base.main;
        s.plate_back = c(26, 26, 28);
        s.plate_number = base.main.r + base.main.g + base.main.b > 300 ? base.main : c(240, 240, 240);
    } else if (label == "retro") {
        s.main = base.second;
        s.second = base.main;
        s.third = c(250, 200, 40);
        s.seat = c(120, 30, 24);
        s.seat_band = c(240, 240, 240);
        s.frame = c(200, 200, 205);
        s.pattern = base.pattern + 1;
    }
    return s;
}
