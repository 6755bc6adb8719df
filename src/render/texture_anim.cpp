// Animated textures (".seq" files) and the textures that scripts compose
// from animation frames.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "core/cmdline.h"
#include "core/diag.h"
#include "render/texture_internal.h"
#include "vfs/vfs.h"

namespace {

std::vector<animation_record> g_animations;

animation_record* animation_of(unsigned id) {
    for (animation_record& a : g_animations)
        if (a.id == id) return &a;
    return nullptr;
}

bool fail(const char* text) {
    show_message(text);
    return false;
}

// The PNG file named after a frame's "PNG" token: the rest of that line, or
// the next line when the token ends its line.
std::string frame_file_name(vfs_file* f) {
    char line[1024];
    for (int tries = 0; tries < 2; tries++) {
        if (!vfs_gets(f, line, sizeof line)) return "";
        std::string s = line;
        size_t a = s.find_first_not_of(" \t\r\n");
        if (a == std::string::npos) continue;
        size_t b = s.find_last_not_of(" \t\r\n");
        return s.substr(a, b - a + 1);
    }
    return "";
}

// Reductions every frame gets alone: power of two, the detail count, and the
// frame size limit. The redundancy test runs on all frames together.
void reduce_frame(pixel_buffer& img, bool reduce) {
    resample_power_of_two(img, img.info_text.find("[mip_max_alpha]") != std::string::npos);
    int count = reduce ? render_settings.model_texture_reduction : 0;
    while (count > 0 && img.width > 128 && img.height > 128 && drop_top_level(img)) count--;
    while ((size_t)img.width * img.height > seq_frame_pixel_limit && drop_top_level(img)) {
    }
}

texture_upload frame_upload(const pixel_buffer& img) { return upload_of(img); }

}  // namespace

bool read_animation(vfs_file* f, const char* name, bool reduce, animation_record& out) {
    out = animation_record();
    int steps = vfs_read_int(f), frames = vfs_read_int(f), period = vfs_read_int(f), loop = vfs_read_int(f);
    if (steps == INT_MIN || frames == INT_MIN || period == INT_MIN || loop == INT_MIN)
        return fail("EOF while reading .seq");
    // A period of 0 would divide by zero and a step past the frames would
    // index outside them; absurd counts would only exhaust memory.
    if (steps < 1 || steps > seq_max_steps || frames < 1 || frames > seq_max_frames || period < 1) {
        show_messagef("Bad .seq header in '%.900s'", name);
        return false;
    }
    out.sequence.reserve((size_t)steps);
    for (int i = 0; i < steps; i++) {
        int v = vfs_read_int(f);
        if (v == INT_MIN) return fail("EOF while reading .seq");
        if (v < 0 || v >= frames) {
            show_messagef("Bad .seq step %d in '%.900s'", i, name);
            return false;
        }
        out.sequence.push_back(v);
    }
    int width = 0, height = 0, channels = 0;
    size_t total = 0;
    for (int k = 0; k < frames; k++) {
        std::string token = read_image_token(f);
        if (token.empty()) return fail("EOF while reading .seq");
        pixel_buffer img;
        if (token == "Q7") {
            if (!read_predictive(f, "Q7", 4, img)) return fail("EOF while reading .seq");
        } else if (token == "PNG") {
            std::string file = frame_file_name(f);
            if (file.empty()) return fail("EOF while reading .seq");
            if (!read_png(file.c_str(), img)) {
                show_messagef("Can't read %.900s", file.c_str());
                return false;
            }
        } else {
            show_messagef("Error reading .seq frame %d", k);
            return false;
        }
        if (k == 0) {
            width = img.width;
            height = img.height;
            channels = img.channels;
        } else if (img.width != width || img.height != height) {
            return fail("Width/height mismatch reading .seq");
        } else if (img.channels != channels) {
            return fail("Depth mismatch reading .seq");
        }
        reduce_frame(img, reduce);
        total += (size_t)img.width * img.height;
        if (total > seq_max_total_pixels) {
            show_messagef("Bad .seq header in '%.900s'", name);
            return false;
        }
        out.frame_images.push_back(std::move(img));
    }
    // A level goes only when it adds nothing in any frame, so that every
    // frame keeps the texture's size.
    if (reduce) {
        auto all_redundant = [&] {
            for (const pixel_buffer& img : out.frame_images)
                if (!top_level_redundant(img)) return false;
            return true;
        };
        pixel_buffer& first = out.frame_images[0];
        int w = first.width, h = first.height;
        bool dropped = false;
        while ((first.width > 16 || first.height > 16) && all_redundant()) {
            for (pixel_buffer& img : out.frame_images) drop_top_level(img);
            dropped = true;
        }
        if (dropped) show_messagef("%.64s reduced to %dx%d (originally %dx%d)", name, first.width, first.height, w, h);
    }
    out.steps = steps;
    out.frames = frames;
    out.period = period;
    out.loop = loop != 0;
    out.current = out.sequence[0];
    return true;
}

void add_animation(animation_record&& a) { g_animations.push_back(std::move(a)); }

void release_orphan_animations() {
    for (size_t i = 0; i < g_animations.size();) {
        if (texture_id_loaded(g_animations[i].id)) {
            i++;
            continue;
        }
        if (texture_log_verbose()) log_printf("deleting anim %d for tid %d\n", (int)i, (int)g_animations[i].id);
        g_animations.erase(g_animations.begin() + (std::ptrdiff_t)i);
    }
}

void free_animations() { g_animations.clear(); }

int animation_count() { return (int)g_animations.size(); }

void animation_tick(int tic) {
    for (animation_record& a : g_animations) {
        if (a.custom) continue;
        int step = std::max(tic - a.start_tic, 0) / a.period;
        step = a.loop ? step % a.steps : std::min(step, a.steps - 1);
        int frame = a.sequence[(size_t)step];
        if (frame == a.current) continue;
        active_texture_driver().update(a.id, frame_upload(a.frame_images[(size_t)frame]));
        a.current = frame;
    }
}

bool animation_restart(unsigned id, int tic) {
    animation_record* a = animation_of(id);
    if (!a) return false;
    a->start_tic = tic;
    return true;
}

int animation_frame(unsigned id) {
    animation_record* a = animation_of(id);
    return a ? a->current : -1;
}

int animation_frame_count(unsigned id) {
    animation_record* a = animation_of(id);
    return a ? a->frames : 0;
}

bool begin_custom_frame(unsigned id) {
    animation_record* a = animation_of(id);
    if (!a) return false;
    const pixel_buffer& f = a->frame_images[0];
    pixel_buffer& w = a->custom_image;
    if (w.pixels.empty()) {
        w.width = f.width;
        w.height = f.height;
        w.channels = f.channels;
        w.has_mips = true;
        w.pixels.assign(mip_chain_bytes(f.width, f.height, f.channels), 0);
    } else {
        std::fill(w.pixels.begin(), w.pixels.begin() + (std::ptrdiff_t)((size_t)w.width * w.height * w.channels), 0);
    }
    // From now on the script owns the picture; the sequence no longer moves it.
    a->custom = true;
    return true;
}

bool paste_custom_frame(unsigned id, int frame, double dx, double dy, double sx, double sy, double w, double h) {
    animation_record* a = animation_of(id);
    if (!a || a->custom_image.pixels.empty() || frame < 0 || frame >= a->frames) return false;
    pixel_buffer& dst = a->custom_image;
    const pixel_buffer& src = a->frame_images[(size_t)frame];
    auto position = [](double fraction, int size) {
        double v = std::ceil(fraction * size - 0.5);
        return (long long)std::clamp(v, -1e9, 1e9);
    };
    auto extent = [](double fraction, int size) {
        double v = std::trunc(fraction * size);
        return (long long)std::clamp(v, -1e9, 1e9);
    };
    long long x0 = position(dx, dst.width), y0 = position(dy, dst.height);
    long long u0 = position(sx, dst.width), v0 = position(sy, dst.height);
    long long pw = extent(w, dst.width), ph = extent(h, dst.height);
    // Clip to both pictures.
    if (x0 < 0) pw += x0, u0 -= x0, x0 = 0;
    if (u0 < 0) pw += u0, x0 -= u0, u0 = 0;
    if (y0 < 0) ph += y0, v0 -= y0, y0 = 0;
    if (v0 < 0) ph += v0, y0 -= v0, v0 = 0;
    pw = std::min({pw, (long long)dst.width - x0, (long long)src.width - u0});
    ph = std::min({ph, (long long)dst.height - y0, (long long)src.height - v0});
    if (pw <= 0 || ph <= 0) return true;
    int c = dst.channels;
    for (long long y = 0; y < ph; y++)
        memcpy(&dst.pixels[(size_t)(((y0 + y) * dst.width + x0) * c)],
               &src.pixels[(size_t)(((v0 + y) * src.width + u0) * c)], (size_t)(pw * c));
    return true;
}

bool end_custom_frame(unsigned id) {
    animation_record* a = animation_of(id);
    if (!a || a->custom_image.pixels.empty()) return false;
    pixel_buffer& w = a->custom_image;
    build_mip_chain(w.pixels.data(), w.width, w.height, w.channels, false);
    active_texture_driver().update(a->id, upload_of(w));
    return true;
}
