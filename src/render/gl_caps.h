// What the GL driver is and offers, and which optional techniques the
// renderer uses. Everything else asks these flags instead of the driver.
#pragma once

#include <string>

struct gl_identity {
    std::string vendor = "NULL";
    std::string renderer = "NULL";
    std::string version = "NULL";
    std::string extensions = "NULL";
    int major = 0;
    int minor = 0;
};

struct gl_capabilities {
    bool has_generate_mipmap = false;
    bool has_framebuffer_object = false;
    bool has_multitexture = false;
    bool has_fragment_shader = false;
    bool has_vertex_shader = false;
    int texture_units = 0;
    bool shaders_supported = false;
    bool use_shaders = false;
    bool terrain_shaders = false;
    bool ground_mipmaps = true;
    bool compressed_textures = false;
    // GL_EXT_texture_filter_anisotropic's largest degree (1: not offered, or
    // not worth it on a software rasteriser). The ground seen at a grazing
    // angle keeps its detail with it.
    float max_anisotropy = 1;
};

// The settings the decisions depend on (item indexes of their choices).
struct gl_choice_settings {
    int use_shader = 1;       // "No", "Yes"
    int render_texture = 0;   // "Software", "Hardware/Copy", "Hardware/Direct", "Shaders/Copy", "Shaders/Direct"
    int ground_mipmaps = 1;   // "No", "Yes"
};

extern gl_identity gl_driver;
extern gl_capabilities gl_caps;

// Whether a renderer string names a rasteriser that runs on the processor
// (llvmpipe, softpipe, swrast): there multisampling and anisotropic
// filtering cost several times the frame.
bool software_rasterizer(const std::string& renderer);
// Whole-word presence of an extension name in a blank-separated list.
bool has_extension(const std::string& list, const char* name);
// The leading "%d.%d" of a version string (0.0 when absent).
void parse_gl_version(const char* version, int* major, int* minor);
// The extension flags and the decisions, from the driver's identity, its
// texture-unit count and the settings; `programs_built` says whether all
// seven programs built (use_shaders needs it).
gl_capabilities decide_capabilities(const gl_identity& id, int texture_units, const gl_choice_settings& settings,
                                    bool programs_built);

// Reads the identity from the current context and loads the entry points;
// fills gl_driver and the extension flags of gl_caps.
void gl_probe();
// gl_probe, the start-up log lines, then the decisions (building the shader
// programs when they are wanted and possible).
void gl_start(const gl_choice_settings& settings);
