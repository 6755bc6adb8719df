#include "sound/sound_files.h"

#include <algorithm>
#include <cmath>

#include "core/scan.h"
#include "core/text.h"

namespace {

// The shortest text the readers' "%f" gives back exactly.
std::string number_text(float v) {
    std::string text = format_string("%g", (double)v);
    float back = 0;
    if (string_scanf(text.c_str(), text.size(), nullptr, "%f", &back) == 1 && back == v) return text;
    return format_string("%.9g", (double)v);
}

std::string list_line(const char* key, const std::vector<float>& values) {
    std::string line = key;
    for (float v : values) line += " " + number_text(v);
    return line + "\n";
}

}  // namespace

std::string braap_text(const braap_contents& b) {
    std::string out;
    if (!b.comment.empty()) out += "# " + b.comment + "\n";
    if (!b.soundtable.empty()) out += "soundtable " + b.soundtable + "\n";
    for (const braap_pipe& p : b.pipes)
        out += "pipe " + number_text(p.length) + " " + number_text(p.spread) + " " + number_text(p.gain) +
               format_string(" %d %d\n", p.first, p.last);
    if (b.has_minrpm) out += "minrpm " + number_text(b.minrpm) + "\n";
    if (b.has_torques) {
        out += "lowtorque " + number_text(b.lowtorque) + "\n";
        out += "hightorque " + number_text(b.hightorque) + "\n";
    }
    if (!b.bias.empty()) out += list_line("bias", b.bias);
    if (!b.scale.empty()) out += list_line("scale", b.scale);
    return out;
}

std::string sound_table_text(const table_file& t) {
    std::string out = format_string("SOUNDTABLE %d %d\n", (int)t.rpm.size(), (int)t.load.size());
    for (float v : t.rpm) out += number_text(v) + " ";
    out += "\n";
    for (float v : t.load) out += number_text(v) + " ";
    out += "\n";
    for (const table_file_cell& c : t.cells) {
        for (int r : c.remap) out += format_string("%d ", r);
        out += format_string("-1 %d %s\n", c.cycles, c.sample_file.c_str());
    }
    return out;
}

std::vector<uint8_t> sample_file_bytes(const std::vector<float>& samples) {
    std::vector<uint8_t> out;
    out.reserve(samples.size() * 2);
    for (float s : samples) {
        long v = std::isfinite(s) ? std::lround((double)s * 32768) : 0;
        auto w = (uint16_t)(int16_t)std::clamp(v, -32768L, 32767L);
        out.push_back((uint8_t)(w & 0xff));
        out.push_back((uint8_t)(w >> 8));
    }
    return out;
}
