#include "datagen/picture.h"

#include <algorithm>
#include <cmath>

#include "datagen/datagen.h"
#include "datagen/dmath.h"
#include "render/image_io.h"

uint32_t hash3(int x, int y, uint32_t seed) {
    uint32_t h = (uint32_t)x * 0x8da6b343u ^ (uint32_t)y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x85ebca6bu;
    h ^= h >> 16;
    h *= 0xc2b2ae35u;
    h ^= h >> 16;
    return h;
}

double smooth_noise(double x, double y, double cell, uint32_t seed) {
    double fx = x / cell, fy = y / cell;
    int ix = (int)std::floor(fx), iy = (int)std::floor(fy);
    double tx = fx - ix, ty = fy - iy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    double a = noise01(ix, iy, seed), b = noise01(ix + 1, iy, seed);
    double c = noise01(ix, iy + 1, seed), d = noise01(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

void picture::rect(int x0, int y0, int x1, int y1, rgba c) {
    for (int y = std::max(y0, 0); y < std::min(y1, height); y++)
        for (int x = std::max(x0, 0); x < std::min(x1, width); x++) at(x, y) = c;
}

void picture::disc(double cx, double cy, double r, rgba c) { ring(cx, cy, -1, r, c); }

void picture::ring(double cx, double cy, double r0, double r1, rgba c) {
    int x0 = (int)std::floor(cx - r1), x1 = (int)std::ceil(cx + r1);
    int y0 = (int)std::floor(cy - r1), y1 = (int)std::ceil(cy + r1);
    for (int y = std::max(y0, 0); y <= std::min(y1, height - 1); y++) {
        for (int x = std::max(x0, 0); x <= std::min(x1, width - 1); x++) {
            double d = dmath::hypot(x + 0.5 - cx, y + 0.5 - cy);
            // One pixel of soft edge on either side.
            double cover = std::clamp(r1 - d + 0.5, 0.0, 1.0) * std::clamp(d - r0 + 0.5, 0.0, 1.0);
            if (cover > 0) at(x, y) = mix(at(x, y), c, cover);
        }
    }
}

void picture::grain(int x0, int y0, int x1, int y1, double amount, uint32_t seed) {
    for (int y = std::max(y0, 0); y < std::min(y1, height); y++)
        for (int x = std::max(x0, 0); x < std::min(x1, width); x++)
            at(x, y) = shade(at(x, y), 1 + amount * (2 * noise01(x, y, seed) - 1));
}

void picture::stripes(int x0, int y0, int x1, int y1, int period, int w, rgba c) {
    for (int y = std::max(y0, 0); y < std::min(y1, height); y++)
        for (int x = std::max(x0, 0); x < std::min(x1, width); x++)
            if (((x + y) % period + period) % period < w) at(x, y) = c;
}

void picture::gradient(int x0, int y0, int x1, int y1, rgba c0, rgba c1) {
    for (int y = std::max(y0, 0); y < std::min(y1, height); y++) {
        rgba c = mix(c0, c1, y1 - y0 > 1 ? (double)(y - y0) / (y1 - y0 - 1) : 0);
        for (int x = std::max(x0, 0); x < std::min(x1, width); x++) at(x, y) = c;
    }
}

void picture::frame(int x0, int y0, int x1, int y1, int t, rgba c) {
    rect(x0, y0, x1, y0 + t, c);
    rect(x0, y1 - t, x1, y1, c);
    rect(x0, y0, x0 + t, y1, c);
    rect(x1 - t, y0, x1, y1, c);
}

std::vector<uint8_t> picture_png(const picture& p, bool alpha, const char* text) {
    int channels = alpha ? 4 : 3;
    std::vector<uint8_t> raw((size_t)p.width * p.height * channels);
    for (size_t k = 0; k < p.px.size(); k++) {
        raw[k * channels] = p.px[k].r;
        raw[k * channels + 1] = p.px[k].g;
        raw[k * channels + 2] = p.px[k].b;
        if (alpha) raw[k * channels + 3] = p.px[k].a;
    }
    std::vector<uint8_t> png;
    encode_png(raw.data(), p.width, p.height, channels, text, png);
    return png;
}

void add_picture(datagen_output& out, const std::string& name, const picture& p, bool alpha) {
    add_member(out, name, picture_png(p, alpha));
}
