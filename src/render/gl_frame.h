// GL as the game starts and ends it, and what is done with a whole frame:
// the driver probe, the start-up state, the collision shapes every bike
// shares, finishing, reading the frame back for screenshots and video, and
// deleting the textures at the end.
#pragma once

#include <cstdint>
#include <vector>

// GL and its extensions, the "GL_VENDOR: %s" … log lines and the
// capabilities; textures and models go to GL from here on. False without a
// current context.
bool init_gl();
// Whether the current context has a multisampled frame buffer that a
// software rasteriser (llvmpipe, softpipe, swrast) draws: there every sample
// costs as much as a pixel.
bool multisampled_in_software();
// Clear colour, culling, pixel alignment; flat shading with "--fugly".
void setup_gl_state(bool flat_shading);
// The collision shapes every bike model shares, loaded once for the run.
void load_bike_shapes();
// The bikes' drawing data (it holds cached models and plate textures of its
// own), then every texture.
void delete_textures();
// Waits until the frame is drawn.
void finish_frame();
// The drawn frame as RGB bytes, rows from the top.
bool read_frame(int width, int height, std::vector<uint8_t>& rgb);
// The drawn frame as a PNG file under the given name.
bool save_screenshot(const char* name, int width, int height);
