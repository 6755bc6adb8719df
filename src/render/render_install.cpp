// The renderer's GL entries of render_hook: the driver probe and start-up
// state, clearing a frame, and reading a drawn frame back for screenshots
// and video.
#include "render/render_install.h"

#include <GL/gl.h>

#include <cstring>
#include <vector>

#include "core/config.h"
#include "core/hooks.h"
#include "render/bike_draw.h"
#include "render/frame_draw.h"
#include "render/gl_caps.h"
#include "render/image_io.h"
#include "render/model.h"
#include "render/shape_file.h"
#include "render/texture.h"

namespace {

bool init_gl() {
    // Nothing to probe without a current context.
    if (!glGetString(GL_VERSION)) return false;
    gl_choice_settings choice;
    choice.use_shader = settings.use_shader;
    choice.render_texture = settings.render_texture;
    choice.ground_mipmaps = settings.ground_mipmaps;
    gl_start(choice);
    // Textures and models go to GL from here on.
    textures_init(&gl_texture_driver);
    models_init(true);
    return true;
}

// The collision shapes every bike model shares, loaded once for the run.
void load_bike_shapes() {
    for (const char* name : {"@generic_frame.shp", "@generic_fork_upper.shp", "@generic_fork_lower.shp",
                             "@generic_swingarm.shp", "@front_wheel.shp", "@rear_wheel.shp", "@generic_rider.shp"})
        shape_load(name);
}

// The bikes' drawing data holds cached models and its own plate textures:
// it goes first.
void delete_textures() {
    free_bike_drawings();
    textures_free();
}

void setup_gl_state(bool flat_shading) {
    glClearColor(0.196078f, 0.6f, 0.8f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_CULL_FACE);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (flat_shading) glShadeModel(GL_FLAT);
}

// The perspective belongs to the frame drawing; the viewport is all a plain
// cleared frame needs.
void set_viewport(int width, int height, double) { glViewport(0, 0, width, height); }

void clear_frame() { glClear(GL_COLOR_BUFFER_BIT); }

void finish() { glFinish(); }

// GL hands the rows over bottom first; callers get them top first.
bool read_frame(int width, int height, std::vector<uint8_t>& rgb) {
    if (width <= 0 || height <= 0) return false;
    size_t row = (size_t)width * 3;
    std::vector<uint8_t> gl_rows(row * (size_t)height);
    // Errors left over from earlier calls are not this read's.
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; i++) {
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, gl_rows.data());
    if (glGetError() != GL_NO_ERROR) return false;
    rgb.resize(gl_rows.size());
    for (int y = 0; y < height; y++)
        memcpy(rgb.data() + (size_t)y * row, gl_rows.data() + (size_t)(height - 1 - y) * row, row);
    return true;
}

bool save_screenshot(const char* name, int width, int height) {
    std::vector<uint8_t> rgb, png;
    if (!read_frame(width, height, rgb)) return false;
    if (!encode_png(rgb.data(), width, height, 3, nullptr, png)) return false;
    return save_file_bytes(name, png);
}

}  // namespace

void install_render() {
    render_hook.init_gl = init_gl;
    render_hook.load_bike_shapes = load_bike_shapes;
    render_hook.delete_textures = delete_textures;
    render_hook.delete_models = models_free;
    render_hook.setup_gl_state = setup_gl_state;
    render_hook.set_projection = set_viewport;
    render_hook.clear_frame = clear_frame;
    render_hook.finish = finish;
    render_hook.read_frame = read_frame;
    render_hook.save_screenshot = save_screenshot;
    install_frame_drawing();
}
