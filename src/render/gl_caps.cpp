#include "render/gl_caps.h"

#include <cstdio>
#include <cstring>

#include "core/diag.h"
#include "platform/window.h"
#include "render/gl_ext.h"
#include "render/shaders.h"

gl_identity gl_driver;
gl_capabilities gl_caps;
gl_entry_points glext;

int load_gl_entry_points() {
    int found = 0;
#define QX_GL_LOAD(name, type)                                \
    glext.name = (type)gl_proc_address("gl" #name);          \
    if (glext.name) found++;
    QX_GL_ENTRY_POINTS(QX_GL_LOAD)
#undef QX_GL_LOAD
    return found;
}

bool has_extension(const std::string& list, const char* name) {
    size_t n = strlen(name);
    if (!n) return false;
    for (size_t at = list.find(name); at != std::string::npos; at = list.find(name, at + 1)) {
        bool starts = at == 0 || list[at - 1] == ' ';
        bool ends = at + n == list.size() || list[at + n] == ' ';
        if (starts && ends) return true;
    }
    return false;
}

bool software_rasterizer(const std::string& renderer) {
    for (const char* software : {"llvmpipe", "softpipe", "swrast", "Software Rasterizer"})
        if (renderer.find(software) != std::string::npos) return true;
    return false;
}

void parse_gl_version(const char* version, int* major, int* minor) {
    *major = *minor = 0;
    if (!version || sscanf(version, "%d.%d", major, minor) != 2) *major = *minor = 0;
}

gl_capabilities decide_capabilities(const gl_identity& id, int texture_units, const gl_choice_settings& s,
                                    bool programs_built) {
    gl_capabilities c;
    c.has_generate_mipmap = has_extension(id.extensions, "GL_SGIS_generate_mipmap");
    c.has_framebuffer_object = has_extension(id.extensions, "GL_EXT_framebuffer_object");
    c.has_multitexture = has_extension(id.extensions, "GL_ARB_multitexture");
    c.has_fragment_shader = has_extension(id.extensions, "GL_ARB_fragment_shader");
    c.has_vertex_shader = has_extension(id.extensions, "GL_ARB_vertex_shader");
    c.texture_units = c.has_multitexture ? texture_units : 0;
    c.shaders_supported = c.has_fragment_shader && c.texture_units > 3;
    c.use_shaders = s.use_shader == 1 && c.shaders_supported && programs_built;
    c.terrain_shaders = c.use_shaders && (s.render_texture == 3 || s.render_texture == 4);
    c.ground_mipmaps = s.ground_mipmaps != 0;
    c.compressed_textures = id.major > 1;
    return c;
}

namespace {
std::string gl_text(GLenum what) {
    const GLubyte* s = glGetString(what);
    return s ? std::string((const char*)s) : std::string("NULL");
}
}  // namespace

void gl_probe() {
    gl_driver.vendor = gl_text(GL_VENDOR);
    gl_driver.renderer = gl_text(GL_RENDERER);
    gl_driver.version = gl_text(GL_VERSION);
    gl_driver.extensions = gl_text(GL_EXTENSIONS);
    parse_gl_version(gl_driver.version.c_str(), &gl_driver.major, &gl_driver.minor);
    load_gl_entry_points();
    gl_choice_settings none;
    none.use_shader = 0;
    int units = 0;
    if (has_extension(gl_driver.extensions, "GL_ARB_multitexture")) {
        glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
        log_printf("%d texture units\n", units);
    }
    gl_caps = decide_capabilities(gl_driver, units, none, false);
    if (has_extension(gl_driver.extensions, "GL_EXT_texture_filter_anisotropic") &&
        !software_rasterizer(gl_driver.renderer)) {
        GLfloat most = 1;
        glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
        gl_caps.max_anisotropy = most >= 1 ? most : 1;
    }
}

void gl_start(const gl_choice_settings& settings) {
    gl_probe();
    log_printf("GL_VENDOR: %s\n", gl_driver.vendor.c_str());
    log_printf("GL_RENDERER: %s\n", gl_driver.renderer.c_str());
    log_printf("GL_VERSION: %s\n", gl_driver.version.c_str());
    log_printf("GL_EXTENSIONS: %s\n", gl_driver.extensions.c_str());
    bool built = false;
    if (settings.use_shader == 1 && gl_caps.shaders_supported) built = build_programs();
    float anisotropy = gl_caps.max_anisotropy;
    gl_caps = decide_capabilities(gl_driver, gl_caps.texture_units, settings, built);
    gl_caps.max_anisotropy = anisotropy;
}
