// The texture and image caches: lookup by name with the case rule, decoding
// by the file's first token, LINK aliases, reduction, upload and release by
// load generation.
#include <algorithm>
#include <cstring>
#include <memory>

#include "core/cmdline.h"
#include "core/diag.h"
#include "core/text.h"
#include "render/gl_caps.h"
#include "render/texture_internal.h"
#include "vfs/vfs.h"

int texture_generation = 0;

namespace {

const texture_driver* g_driver = &recording_texture_driver;
std::vector<std::unique_ptr<texture_record>> g_textures;
std::vector<std::unique_ptr<image_record>> g_images;
struct alias {
    std::string name, target;
};
std::vector<alias> g_aliases;
size_t g_memory = 0;
// LINK files being followed right now, to refuse a chain that loops.
std::vector<std::string> g_following;
constexpr int link_depth_limit = 16;

bool contains(const std::string& text, const char* marker) { return text.find(marker) != std::string::npos; }

const std::string* alias_target(const char* name) {
    for (const alias& a : g_aliases)
        if (a.name == name) return &a.target;
    return nullptr;
}

template <typename Record>
Record* find_by_name(std::vector<std::unique_ptr<Record>>& list, const char* name) {
    for (auto& r : list)
        if (r->name == name) return r.get();
    for (auto& r : list) {
        if (equal_nocase(r->name, name)) {
            show_messagef("Warning: case mismatch on '%.900s'", name);
            return r.get();
        }
    }
    return nullptr;
}

// A texture asked for again belongs to the current load as well, so that the
// release at the end of this race reset does not pull it from under the
// code that just asked for it.
template <typename Record>
void touch(Record* r) {
    if (r->generation != 0) r->generation = texture_generation;
}

// The rest of a LINK file: a texture name, trimmed, at most 1023 characters.
std::string read_link_target(vfs_file* f) {
    std::string text;
    int c;
    while ((c = vfs_getc(f)) >= 0 && text.size() < 1023) text.push_back((char)c);
    size_t a = text.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return "";
    size_t b = text.find_last_not_of(" \t\r\n");
    return text.substr(a, b - a + 1);
}

enum class decoded { failed, image, animation, link };

// Decodes a file by its first token. A ".seq" that fails is read as a PNG.
decoded decode_file(const char* name, bool reduce, bool allow_animation, pixel_buffer& img, animation_record& anim,
                    std::string& link) {
    vfs_file* f = vfs_open(name, "rb");
    if (!f) {
        if (texture_log_verbose()) show_messagef("Can't open texture \"%.900s\"", name);
        return decoded::failed;
    }
    std::string token = read_image_token(f);
    if (token == "LINK") {
        link = read_link_target(f);
        vfs_close(f);
        return decoded::link;
    }
    if (token == "Q6" || token == "Q7") {
        bool ok = read_predictive(f, token.c_str(), token == "Q7" ? 4 : 3, img);
        vfs_close(f);
        return ok ? decoded::image : decoded::failed;
    }
    if (token == "P6" || token == "P3") {
        vfs_close(f);
        f = vfs_open(name, "rb");
        bool ok = f && read_rgb_image(f, img);
        if (f) vfs_close(f);
        return ok ? decoded::image : decoded::failed;
    }
    if (token == "ANIM1" && allow_animation) {
        bool ok = read_animation(f, name, reduce, anim);
        vfs_close(f);
        if (ok) return decoded::animation;
        anim = animation_record();
    } else {
        vfs_close(f);
    }
    return read_png(name, img) ? decoded::image : decoded::failed;
}

bool compression_wanted(const std::string& info_text) {
    switch (render_settings.texture_compression) {
        case 0: return false;
        case 2: return gl_caps.compressed_textures;
        default: return gl_caps.compressed_textures && contains(info_text, "[compress]");
    }
}

void wrap_flags(const char* name, bool& s, bool& t) {
    bool both = strstr(name, "-repeat.") != nullptr;
    s = both || strstr(name, "-hrepeat.") != nullptr;
    t = both || strstr(name, "-vrepeat.") != nullptr;
}

texture_record* add_texture(const char* name, const pixel_buffer& img, unsigned id, size_t bytes, bool compressed) {
    auto r = std::make_unique<texture_record>();
    r->id = id;
    r->generation = texture_generation;
    r->bytes = bytes;
    r->info_text = img.info_text;
    r->name = name;
    r->width = img.width;
    r->height = img.height;
    r->channels = img.channels;
    wrap_flags(name, r->repeat_s, r->repeat_t);
    r->compressed = compressed;
    g_memory += bytes;
    g_textures.push_back(std::move(r));
    return g_textures.back().get();
}

unsigned upload_new(const char* name, const pixel_buffer& img) {
    if (!is_power_of_two(img.width) || !is_power_of_two(img.height))
        show_messagef("Warning: Non power of 2 texture '%.950s'", name);
    texture_upload u = upload_of(img);
    wrap_flags(name, u.repeat_s, u.repeat_t);
    u.compress = compression_wanted(img.info_text);
    unsigned id = g_driver->create();
    if (!id) return 0;
    size_t bytes = g_driver->upload(id, u);
    return add_texture(name, img, id, bytes, u.compress)->id;
}

unsigned finish_texture(const char* name, pixel_buffer& img, bool reduce) {
    resample_power_of_two(img, contains(img.info_text, "[mip_max_alpha]"));
    if (reduce) {
        int w = img.width, h = img.height;
        if (reduce_texture_detail(img, render_settings.model_texture_reduction) > 0)
            show_messagef("%.64s reduced to %dx%d (originally %dx%d)", name, img.width, img.height, w, h);
    }
    return upload_new(name, img);
}

unsigned load_texture(const char* name, bool reduce, int depth);

unsigned follow_link(const char* alias_name, const std::string& target, int depth) {
    bool reduce = true;
    const char* t = target.c_str();
    if (*t == '!') {
        reduce = false;
        t++;
    }
    if (!*t || depth >= link_depth_limit) {
        show_messagef("Bad LINK in '%.900s'", alias_name);
        return 0;
    }
    for (const std::string& n : g_following) {
        if (equal_nocase(n, t)) {
            show_messagef("LINK loop at '%.900s'", alias_name);
            return 0;
        }
    }
    g_following.push_back(alias_name);
    unsigned id = load_texture(t, reduce, depth + 1);
    g_following.pop_back();
    if (!id) return 0;
    const texture_record* r = texture_of(id);
    g_aliases.push_back(alias{alias_name, r ? r->name : std::string(t)});
    return id;
}

unsigned load_texture(const char* name, bool reduce, int depth) {
    if (!name || !*name) return 0;
    for (const std::string& n : g_following) {
        if (equal_nocase(n, name)) {
            show_messagef("LINK loop at '%.900s'", name);
            return 0;
        }
    }
    if (const std::string* target = alias_target(name)) name = target->c_str();
    std::string wanted = name;  // the alias list may grow below
    if (texture_record* r = find_by_name(g_textures, wanted.c_str())) {
        touch(r);
        return r->id;
    }
    pixel_buffer img;
    animation_record anim;
    std::string link;
    switch (decode_file(wanted.c_str(), reduce, true, img, anim, link)) {
        case decoded::failed: return 0;
        case decoded::link: return follow_link(wanted.c_str(), link, depth);
        case decoded::image: return finish_texture(wanted.c_str(), img, reduce);
        case decoded::animation: {
            const pixel_buffer& first = anim.frame_images[(size_t)anim.current];
            unsigned id = upload_new(wanted.c_str(), first);
            if (!id) return 0;
            anim.id = id;
            add_animation(std::move(anim));
            return id;
        }
    }
    return 0;
}

// RGB widened to RGBA (alpha 255), chain rebuilt.
void widen_to_rgba(pixel_buffer& img) {
    if (img.channels == 4) return;
    size_t n = (size_t)img.width * img.height;
    std::vector<uint8_t> out(mip_chain_bytes(img.width, img.height, 4));
    for (size_t k = 0; k < n; k++) {
        for (int c = 0; c < 3; c++) out[k * 4 + c] = img.pixels[k * img.channels + (img.channels == 1 ? 0 : c)];
        out[k * 4 + 3] = 255;
    }
    build_mip_chain(out.data(), img.width, img.height, 4, false);
    img.pixels = std::move(out);
    img.channels = 4;
    img.has_mips = true;
}

}  // namespace

const texture_driver& active_texture_driver() { return *g_driver; }
const texture_driver& texture_output() { return *g_driver; }
bool texture_log_verbose() { return cmdline.debug_level >= 1; }

texture_upload upload_of(const pixel_buffer& img) {
    texture_upload u;
    u.pixels = img.pixels.data();
    u.width = img.width;
    u.height = img.height;
    u.channels = img.channels;
    u.levels = img.has_mips ? mip_level_count(img.width, img.height) : 1;
    return u;
}

bool texture_id_loaded(unsigned id) {
    for (auto& t : g_textures)
        if (t->id == id) return true;
    return false;
}

void textures_init(const texture_driver* driver) {
    textures_free();
    reset_recorded_textures();
    g_driver = driver ? driver : &recording_texture_driver;
    texture_generation = 0;
}

void textures_free() {
    for (auto& t : g_textures) g_driver->destroy(t->id);
    g_textures.clear();
    g_images.clear();
    g_aliases.clear();
    g_following.clear();
    free_animations();
    g_memory = 0;
}

void texture_new_generation() { texture_generation++; }

void textures_release() {
    auto old = [](int generation) { return generation != 0 && generation != texture_generation; };
    for (auto it = g_textures.begin(); it != g_textures.end();) {
        texture_record& t = **it;
        if (!old(t.generation)) {
            ++it;
            continue;
        }
        if (texture_log_verbose()) log_printf("deleting image %.900s\n", t.name.c_str());
        g_driver->destroy(t.id);
        g_memory -= std::min(g_memory, t.bytes);
        it = g_textures.erase(it);
    }
    for (auto it = g_images.begin(); it != g_images.end();) {
        if (!old((*it)->generation)) {
            ++it;
            continue;
        }
        if (texture_log_verbose()) log_printf("deleting image %.900s\n", (*it)->name.c_str());
        it = g_images.erase(it);
    }
    release_orphan_animations();
}

size_t texture_memory_used() { return g_memory; }

unsigned texture_load(const char* name) {
    if (!name) return 0;
    bool reduce = true;
    if (*name == '!') {
        reduce = false;
        name++;
    }
    return load_texture(name, reduce, 0);
}

const texture_record* texture_of(unsigned id) {
    for (auto& t : g_textures)
        if (t->id == id) return t.get();
    return nullptr;
}

const texture_record* texture_named(const char* name) {
    for (auto& t : g_textures)
        if (t->name == name) return t.get();
    return nullptr;
}

int texture_count() { return (int)g_textures.size(); }

const image_record* image_load(const char* name, int reduction, size_t pixel_limit) {
    if (!name || !*name) return nullptr;
    if (*name == '!') name++;
    if (const std::string* target = alias_target(name)) name = target->c_str();
    std::string wanted = name;
    if (image_record* r = find_by_name(g_images, wanted.c_str())) {
        touch(r);
        return r;
    }
    pixel_buffer img;
    animation_record anim;
    std::string link, file = wanted;
    // A LINK file names the file to read.
    decoded kind = decoded::failed;
    for (int depth = 0; depth < link_depth_limit; depth++) {
        kind = decode_file(file.c_str(), false, false, img, anim, link);
        if (kind != decoded::link) break;
        file = link;
        if (!file.empty() && file[0] == '!') file.erase(0, 1);
    }
    if (kind != decoded::image) return nullptr;
    widen_to_rgba(img);
    resample_power_of_two(img, contains(img.info_text, "[mip_max_alpha]"));
    while (reduction > 0 || (size_t)img.width * img.height > pixel_limit) {
        size_t next = (size_t)mip_side(img.width, 1) * mip_side(img.height, 1);
        if (next < 16385 || !drop_top_level(img)) break;
        reduction--;
    }
    auto r = std::make_unique<image_record>();
    r->image = std::move(img);
    r->generation = texture_generation;
    r->name = wanted;
    g_images.push_back(std::move(r));
    return g_images.back().get();
}

int image_count() { return (int)g_images.size(); }

unsigned texture_companion(const char* texture_name, const char* model_name, const char* kind) {
    if (!gl_caps.use_shaders || !texture_name || !kind) return 0;
    std::string name = texture_name;
    std::string base;
    const char* const plain[] = {".seq", ".png", ".ppm"};
    std::vector<std::string> tries;
    if (name.find("-repeat.") != std::string::npos) {
        base = name.substr(0, name.rfind('-'));
        for (const char* ext : plain) tries.push_back(base + kind + "-repeat" + ext);
    } else {
        size_t dot = name.rfind('.');
        base = dot == std::string::npos ? name : name.substr(0, dot);
        for (const char* ext : plain) tries.push_back(base + kind + ext);
    }
    if (model_name && *model_name) {
        std::string m = model_name;
        size_t dot = m.rfind('.');
        if (dot != std::string::npos && m.find('/', dot) == std::string::npos) m.erase(dot);
        for (const char* ext : plain) tries.push_back(m + kind + ext);
    }
    for (const std::string& t : tries)
        if (unsigned id = texture_load(t.c_str())) return id;
    return 0;
}
