#include "render/gl_frame.h"

#include <GL/gl.h>

#include <cstring>
#include <vector>

#include "core/config.h"
#include "render/bike_draw.h"
#include "render/gl_caps.h"
#include "render/image_io.h"
#include "render/model.h"
#include "render/shape_file.h"
#include "render/texture.h"

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

bool multisampled_in_software() {
    const char* renderer = (const char*)glGetString(GL_RENDERER);
    if (!renderer) return false;
    GLint buffers = 0;
    glGetIntegerv(GL_SAMPLE_BUFFERS, &buffers);
    return buffers > 0 && software_rasterizer(renderer);
}

void load_bike_shapes() {
    for (const char* name : {"@generic_frame.shp", "@generic_fork_upper.shp", "@generic_fork_lower.shp",
                             "@generic_swingarm.shp", "@front_wheel.shp", "@rear_wheel.shp", "@generic_rider.shp"})
        shape_load(name);
}

// The bikes' drawing data holds cached models and plate textures of its own:
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

void finish_frame() { glFinish(); }

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
