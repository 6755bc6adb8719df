// A small drawing surface for the generated textures: colours, rectangles,
// discs, stripes and seeded noise, saved through the program's PNG writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct datagen_output;

struct rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

inline rgba mix(rgba x, rgba y, double t) {
    auto m = [t](uint8_t p, uint8_t q) { return (uint8_t)(p + (q - p) * t + 0.5); };
    return rgba{m(x.r, y.r), m(x.g, y.g), m(x.b, y.b), m(x.a, y.a)};
}
inline rgba shade(rgba c, double f) {
    auto s = [f](uint8_t p) {
        double v = p * f;
        return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v + 0.5);
    };
    return rgba{s(c.r), s(c.g), s(c.b), c.a};
}

// Deterministic hash noise in [0, 1).
uint32_t hash3(int x, int y, uint32_t seed);
inline double noise01(int x, int y, uint32_t seed) { return (hash3(x, y, seed) & 0xffffff) / 16777216.0; }
// Smooth value noise in [0, 1) with the given cell size in pixels.
double smooth_noise(double x, double y, double cell, uint32_t seed);

struct picture {
    int width = 0, height = 0;
    std::vector<rgba> px;
    picture(int w, int h, rgba fill = rgba{}) : width(w), height(h), px((size_t)w * h, fill) {}
    rgba& at(int x, int y) { return px[(size_t)y * width + x]; }
    rgba get(int x, int y) const { return px[(size_t)y * width + x]; }
    void put(int x, int y, rgba c) {
        if (x >= 0 && y >= 0 && x < width && y < height) at(x, y) = c;
    }
    void rect(int x0, int y0, int x1, int y1, rgba c);  // [x0, x1) x [y0, y1)
    void disc(double cx, double cy, double r, rgba c);
    void ring(double cx, double cy, double r0, double r1, rgba c);
    // Multiplies the colour of a rectangle by 1 +- amount of hash noise.
    void grain(int x0, int y0, int x1, int y1, double amount, uint32_t seed);
    // Diagonal stripes of colour c across a rectangle.
    void stripes(int x0, int y0, int x1, int y1, int period, int width, rgba c);
    // Vertical gradient of a rectangle from c0 (top) to c1 (bottom).
    void gradient(int x0, int y0, int x1, int y1, rgba c0, rgba c1);
    // A border of the given thickness inside the rectangle.
    void frame(int x0, int y0, int x1, int y1, int thickness, rgba c);
};

// PNG bytes (3 channels when every pixel is opaque and alpha is false).
std::vector<uint8_t> picture_png(const picture& p, bool alpha, const char* text = nullptr);
void add_picture(datagen_output& out, const std::string& name, const picture& p, bool alpha = false);
