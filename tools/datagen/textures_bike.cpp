// The bike textures: per family its own colours and graphics, with the
// variants the "Bike Graphics" choice offers, and the wheel texture with its
// variants. The layout is the one the bike and wheel models map to.
#include <algorithm>
#include <cmath>

#include "datagen/bike_art.h"
#include "datagen/datagen.h"
#include "datagen/dmath.h"
#include "datagen/picture.h"
#include "render/image_io.h"

namespace {

namespace ba = bike_atlas;

void fill(picture& p, const ba::area& a, rgba c) { p.rect(a.x0, a.y0, a.x1, a.y1, c); }

// Light from above: the top of an area a little brighter than its bottom.
void shade_area(picture& p, const ba::area& a, double top, double bottom) {
    for (int y = a.y0; y < a.y1; y++) {
        double f = top + (bottom - top) * (y - a.y0) / std::max(a.y1 - a.y0 - 1, 1);
        for (int x = a.x0; x < a.x1; x++) p.at(x, y) = shade(p.at(x, y), f);
    }
}

// A side graphic over an area: bands and swooshes in the scheme's colours.
void graphic(picture& p, const ba::area& a, const bike_scheme& s, int pattern, uint32_t seed) {
    int w = a.x1 - a.x0, h = a.y1 - a.y0;
    fill(p, a, s.main);
    switch (pattern % 4) {
        case 0:  // a broad diagonal band with a thin accent line
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    int d = x - y * 2 + w / 4;
                    if (d > 0 && d < w / 4) p.at(a.x0 + x, a.y0 + y) = s.second;
                    if (d >= w / 4 && d < w / 4 + 3) p.at(a.x0 + x, a.y0 + y) = s.third;
                }
            break;
        case 1:  // horizontal sweep across the lower half
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    double edge = h * (0.55 + 0.2 * dmath::sin(x * M_PI / w));
                    if (y > edge) p.at(a.x0 + x, a.y0 + y) = s.second;
                    if (y > edge - 3 && y <= edge) p.at(a.x0 + x, a.y0 + y) = s.third;
                }
            break;
        case 2:  // chevrons
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    int d = (x + std::abs(y - h / 2) * 2) % (w / 2);
                    if (d < w / 10) p.at(a.x0 + x, a.y0 + y) = s.second;
                    else if (d < w / 10 + 2) p.at(a.x0 + x, a.y0 + y) = s.third;
                }
            break;
        default:  // a split: front in the second colour, stripes at the cut
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    int cut = w * 2 / 3 - y / 2;
                    if (x > cut) p.at(a.x0 + x, a.y0 + y) = s.second;
                    if (std::abs(x - cut + 6) < 2 || std::abs(x - cut + 12) < 2) p.at(a.x0 + x, a.y0 + y) = s.third;
                }
            break;
    }
    (void)seed;
    shade_area(p, a, 1.08, 0.9);
}

picture bike_texture(const bike_scheme& s, uint32_t seed) {
    picture p(ba::size, ba::size, rgba{128, 128, 128, 255});
    graphic(p, ba::shroud, s, s.pattern, seed);
    graphic(p, ba::side_panel, s, s.pattern + 2, seed + 1);
    fill(p, ba::plastic, s.main);
    shade_area(p, ba::plastic, 1.05, 0.92);
    fill(p, ba::secondary, s.second);
    shade_area(p, ba::secondary, 1.04, 0.9);
    fill(p, ba::fender_rear, s.second);
    p.rect(ba::fender_rear.x0, ba::fender_rear.y0 + 12, ba::fender_rear.x1, ba::fender_rear.y0 + 18, s.main);
    fill(p, ba::tank, s.main);
    shade_area(p, ba::tank, 1.1, 0.85);
    fill(p, ba::guard, s.second);
    p.rect(ba::guard.x0, ba::guard.y0, ba::guard.x1, ba::guard.y0 + 6, s.main);

    // Seat: the cover with a band of colour and ribs for grip.
    fill(p, ba::seat, s.seat);
    for (int y = ba::seat.y0; y < ba::seat.y1; y += 4) p.rect(ba::seat.x0, y, ba::seat.x1, y + 1, shade(s.seat, 1.5));
    p.rect(ba::seat.x0 + 48, ba::seat.y0, ba::seat.x0 + 80, ba::seat.y1, s.seat_band);

    fill(p, ba::frame, s.frame);
    p.gradient(ba::frame.x0, ba::frame.y0, ba::frame.x1, ba::frame.y1, shade(s.frame, 1.15), shade(s.frame, 0.8));
    // Cylinder fins: dark and light rings along the cylinder.
    for (int y = ba::engine.y0; y < ba::engine.y1; y++)
        p.rect(ba::engine.x0, y, ba::engine.x1, y + 1, (y / 3) % 2 ? rgba{52, 52, 56, 255} : rgba{130, 132, 138, 255});
    p.rect(ba::engine.x0, ba::engine.y0 + 26, ba::engine.x1, ba::engine.y1, rgba{40, 40, 44, 255});
    fill(p, ba::cases, rgba{150, 152, 158, 255});
    p.gradient(ba::cases.x0, ba::cases.y0, ba::cases.x1, ba::cases.y1, rgba{176, 178, 184, 255}, rgba{96, 98, 104, 255});
    p.grain(ba::cases.x0, ba::cases.y0, ba::cases.x1, ba::cases.y1, 0.05, seed + 7);

    // Exhaust: a blued steel chamber or header, an alloy silencer with a dark end cap.
    p.gradient(ba::pipe.x0, ba::pipe.y0, ba::pipe.x1, ba::pipe.y1, rgba{120, 112, 108, 255}, rgba{70, 60, 64, 255});
    for (int x = ba::pipe.x0; x < ba::pipe.x1; x += 16) p.rect(x, ba::pipe.y0, x + 6, ba::pipe.y1, rgba{100, 90, 96, 255});
    p.gradient(ba::silencer.x0, ba::silencer.y0, ba::silencer.x1, ba::silencer.y1, rgba{210, 212, 216, 255},
               rgba{150, 152, 158, 255});
    p.rect(ba::silencer.x0, ba::silencer.y1 - 6, ba::silencer.x1, ba::silencer.y1, rgba{30, 30, 32, 255});
    p.rect(ba::silencer.x0, ba::silencer.y0 + 12, ba::silencer.x1, ba::silencer.y0 + 18, s.main);

    fill(p, ba::rubber, rgba{22, 22, 24, 255});
    for (int y = ba::rubber.y0; y < ba::rubber.y1; y += 3) p.rect(ba::rubber.x0, y, ba::rubber.x1, y + 1, rgba{40, 40, 42, 255});
    p.gradient(ba::stanchion.x0, ba::stanchion.y0, ba::stanchion.x1, ba::stanchion.y1, rgba{236, 200, 110, 255},
               rgba{190, 150, 70, 255});
    p.gradient(ba::fork_lower.x0, ba::fork_lower.y0, ba::fork_lower.x1, ba::fork_lower.y1, shade(s.fork_lower, 1.3),
               shade(s.fork_lower, 0.8));
    // Spring: coils of colour with dark gaps along the shock.
    for (int y = ba::spring.y0; y < ba::spring.y1; y++)
        p.rect(ba::spring.x0, y, ba::spring.x1, y + 1, (y / 2) % 3 ? s.spring : rgba{30, 30, 30, 255});
    fill(p, ba::radiator, rgba{60, 62, 66, 255});
    for (int x = ba::radiator.x0; x < ba::radiator.x1; x += 2) p.rect(x, ba::radiator.y0, x + 1, ba::radiator.y1, rgba{30, 30, 32, 255});
    for (int y = ba::radiator.y0; y < ba::radiator.y1; y += 4) p.rect(ba::radiator.x0, y, ba::radiator.x1, y + 1, rgba{90, 92, 96, 255});
    p.gradient(ba::alloy.x0, ba::alloy.y0, ba::alloy.x1, ba::alloy.y1, rgba{220, 222, 226, 255}, rgba{140, 142, 148, 255});
    fill(p, ba::dark, rgba{42, 42, 46, 255});
    p.grain(ba::dark.x0, ba::dark.y0, ba::dark.x1, ba::dark.y1, 0.08, seed + 3);
    fill(p, ba::accent, s.third.r + s.third.g + s.third.b < 120 ? s.main : s.third);
    fill(p, ba::chain, rgba{60, 56, 52, 255});
    for (int x = ba::chain.x0; x < ba::chain.x1; x += 4) p.rect(x, ba::chain.y0, x + 2, ba::chain.y1, rgba{120, 114, 108, 255});
    return p;
}

std::string plate_tags(const bike_scheme& s) {
    char text[200];
    snprintf(text, sizeof text, "[numberbackground:%.3f,%.3f,%.3f][numberforeground:%.3f,%.3f,%.3f]",
             s.plate_back.r / 255.0, s.plate_back.g / 255.0, s.plate_back.b / 255.0, s.plate_number.r / 255.0,
             s.plate_number.g / 255.0, s.plate_number.b / 255.0);
    return text;
}

void add_bike_texture(datagen_output& out, const std::string& name, const bike_scheme& s, uint32_t seed) {
    add_member(out, name, picture_png(bike_texture(s, seed), false, plate_tags(s).c_str()));
}

// ---- wheels ------------------------------------------------------------------------------

struct wheel_look {
    rgba rim, hub, spoke, sprocket;
};

picture wheel_texture(const wheel_look& w) {
    namespace wa = wheel_atlas;
    picture p(wa::size, wa::size, rgba{20, 20, 20, 255});
    auto area = [&](const int a[4], rgba c) { p.rect(a[0], a[1], a[2], a[3], c); };
    // Tire: rubber around the section, the sidewall ring slightly lighter.
    area(wa::rubber, rgba{30, 30, 31, 255});
    for (int y = wa::rubber[1]; y < wa::rubber[3]; y++) {
        double b = (y - wa::rubber[1]) / 64.0;  // around the section
        double side = std::fabs(dmath::sin(b * 2 * M_PI));
        rgba c = mix(rgba{26, 26, 27, 255}, rgba{44, 44, 46, 255}, side > 0.7 ? 0.6 : 0.0);
        p.rect(wa::rubber[0], y, wa::rubber[2], y + 1, c);
    }
    p.grain(wa::rubber[0], wa::rubber[1], wa::rubber[2], wa::rubber[3], 0.12, 21);
    area(wa::knob, rgba{36, 36, 37, 255});
    p.rect(wa::knob[0] + 8, wa::knob[1] + 8, wa::knob[2] - 8, wa::knob[3] - 8, rgba{48, 47, 46, 255});
    p.grain(wa::knob[0], wa::knob[1], wa::knob[2], wa::knob[3], 0.15, 22);
    area(wa::rim, w.rim);
    p.gradient(wa::rim[0], wa::rim[1], wa::rim[2], wa::rim[3], shade(w.rim, 1.2), shade(w.rim, 0.75));
    area(wa::spoke, w.spoke);
    area(wa::hub, w.hub);
    p.gradient(wa::hub[0], wa::hub[1], wa::hub[2], wa::hub[3], shade(w.hub, 1.15), shade(w.hub, 0.8));
    // Disc: steel with drilled holes along the ring.
    area(wa::disc, rgba{170, 170, 175, 255});
    for (int k = 0; k < 8; k++) p.disc(wa::disc[0] + 4 + k * 8, wa::disc[1] + 32, 2.2, rgba{40, 40, 42, 255});
    p.grain(wa::disc[0], wa::disc[1], wa::disc[2], wa::disc[3], 0.06, 23);
    area(wa::sprocket, w.sprocket);
    for (int x = wa::sprocket[0]; x < wa::sprocket[2]; x += 4) p.rect(x, wa::sprocket[1], x + 2, wa::sprocket[1] + 4, rgba{30, 30, 30, 255});
    return p;
}

bool generate_bike_textures(datagen_output& out) {
    uint32_t seed = 100;
    for (const bike_family& f : bike_families()) {
        add_bike_texture(out, f.prefix + ".png", f.scheme, seed);
        for (const std::string& label : bike_variant_labels())
            add_bike_texture(out, f.prefix + "-" + label + ".png", scheme_variant(f.scheme, label), seed);
        seed += 10;
    }
    const wheel_look standard{{40, 40, 44, 255}, {180, 182, 188, 255}, {200, 200, 205, 255}, {200, 200, 205, 255}};
    const wheel_look gold{{210, 170, 60, 255}, {30, 30, 34, 255}, {40, 40, 44, 255}, {210, 170, 60, 255}};
    const wheel_look silver{{205, 208, 214, 255}, {205, 60, 30, 255}, {190, 190, 196, 255}, {205, 60, 30, 255}};
    add_picture(out, "wheels.png", wheel_texture(standard));
    add_picture(out, "wheels-gold.png", wheel_texture(gold));
    add_picture(out, "wheels-silver.png", wheel_texture(silver));
    return true;
}

}  // namespace

QX_DATAGEN_GENERATOR(textures_bike, generate_bike_textures);
