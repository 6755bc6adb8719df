#include "render/shape_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "core/diag.h"
#include "vfs/vfs.h"

namespace {

// Loaded shapes in load order; they stay for the life of the process.
std::vector<std::unique_ptr<collision_shape>> shape_cache;

bool finite(float v) { return std::isfinite(v); }

// Values that would break the contact code: a sphere that is not a sphere,
// NaN or infinite coordinates, and stiffness and damping that would give a
// contact an infinite or negative constraint force mixing (1 / (h k + c)).
const char* bad_sphere(const collision_sphere& s) {
    for (float c : s.center)
        if (!finite(c)) return "centre is not a finite number";
    if (!finite(s.radius) || !(s.radius > 0)) return "radius is not positive";
    for (float c : s.center)
        if (std::fabs(c) > shape_max_extent) return "centre lies too far out";
    if (s.radius > shape_max_extent) return "radius is too large";
    if (!finite(s.friction) || s.friction < 0) return "friction is negative";
    if (!finite(s.stiffness) || !finite(s.damping) || s.stiffness < 0 || s.damping < 0)
        return "stiffness or damping is negative";
    if (s.stiffness == 0 && s.damping == 0) return "stiffness and damping are both zero";
    return nullptr;
}

// Reads one shape; false for a file that ends early or holds something
// other than numbers (silently), or for values no shape can have (logged).
bool read_shape(vfs_file* f, const char* name, collision_shape& shape) {
    int count;
    if (vfs_scanf(f, "%d", &count) != 1) return false;
    if (count < 0 || count > shape_max_spheres) {
        log_printf("shape warning: %.900s: bad sphere count %d\n", name, count);
        return false;
    }
    // Grown as spheres arrive, so a large count in a short file costs nothing.
    for (int i = 0; i < count; i++) {
        collision_sphere s;
        if (vfs_scanf(f, "%f", &s.center[0]) != 1 || vfs_scanf(f, "%f", &s.center[1]) != 1 ||
            vfs_scanf(f, "%f", &s.center[2]) != 1)
            return false;
        if (vfs_scanf(f, "%f %f %f %f", &s.radius, &s.friction, &s.stiffness, &s.damping) != 4) return false;
        if (const char* why = bad_sphere(s)) {
            log_printf("shape warning: %.900s: sphere %d: %s\n", name, i, why);
            return false;
        }
        shape.spheres.push_back(s);
    }
    return true;
}

void append_number(std::string& out, float v) {
    char buffer[32];
    // Shortest text that reads back as the same float, in the "C" format
    // whatever the process locale.
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    out.append(buffer, r.ptr);
}

}  // namespace

float shape_bounding_radius(const collision_shape& shape) {
    double r = 0;
    for (const collision_sphere& s : shape.spheres) {
        double x = s.center[0], y = s.center[1], z = s.center[2];
        r = std::max(r, std::sqrt(x * x + y * y + z * z) + s.radius);
    }
    return (float)r;
}

const collision_shape* shape_load(const char* name) {
    if (!name || !*name) return nullptr;
    for (const auto& s : shape_cache)
        if (s->name == name) return s.get();

    vfs_file* f = vfs_open(name, "rb");
    if (!f) return nullptr;
    auto shape = std::make_unique<collision_shape>();
    bool ok = read_shape(f, name, *shape);
    vfs_close(f);
    if (!ok) return nullptr;
    shape->bounding_radius = shape_bounding_radius(*shape);
    shape->name = name;
    if (shape_cache.size() == shape_cache.capacity()) shape_cache.reserve(shape_cache.empty() ? 16 : 2 * shape_cache.size());
    shape_cache.push_back(std::move(shape));
    return shape_cache.back().get();
}

bool shape_copy(const char* name, collision_shape& out) {
    const collision_shape* cached = shape_load(name);
    if (!cached) return false;
    out = *cached;
    out.source = cached;
    return true;
}

std::string shape_text(const collision_shape& shape) {
    std::string out = std::to_string(shape.spheres.size()) + "\n";
    for (const collision_sphere& s : shape.spheres) {
        const float values[7] = {s.center[0], s.center[1], s.center[2], s.radius, s.friction, s.stiffness, s.damping};
        for (int i = 0; i < 7; i++) {
            if (i) out += ' ';
            append_number(out, values[i]);
        }
        out += '\n';
    }
    return out;
}

int shape_cache_size() { return (int)shape_cache.size(); }

void shape_cache_free() {
    shape_cache.clear();
    shape_cache.shrink_to_fit();
}
