// The seven collision shapes every bike model shares: frame, upper and lower
// fork, swingarm, rider and the two wheels. The spheres are laid out here in
// the bike's rest pose (the shared geometry of the model table) and stored
// in each body's own frame.
//
// Placement rules: the frame's spheres stay off the ground even with both
// ends of the suspension bottomed; the lower fork and the swingarm stay off
// it in ordinary riding, leaned over included; the seated rider only just
// touches the seat and the handlebar; the wheels are rings of spheres on the
// tire, the same spheres the tires use against other shapes.
#include <cmath>
#include <initializer_list>

#include "bike/bike_info.h"
#include "datagen/datagen.h"
#include "datagen/dmath.h"
#include "render/shape_file.h"

namespace {

struct sphere_material {
    float friction, stiffness, damping;
};
constexpr sphere_material hard = {0.5f, 25000, 2500};
constexpr sphere_material tire = {1, 25000, 2500};
constexpr sphere_material body = {0.8f, 5000, 500};

struct rest_sphere {
    float x, y, z, radius;
};

// Adds spheres given in rest-pose world coordinates, mirrored to both sides
// when x is not 0, relative to the body's rest position.
void add_spheres(collision_shape& shape, const float* origin, std::initializer_list<rest_sphere> spheres,
                 sphere_material m) {
    for (const rest_sphere& s : spheres) {
        for (float side : {1.0f, -1.0f}) {
            if (side < 0 && s.x == 0) break;
            collision_sphere c;
            c.center[0] = side * s.x - origin[0];
            c.center[1] = s.y - origin[1];
            c.center[2] = s.z - origin[2];
            c.radius = s.radius;
            c.friction = m.friction;
            c.stiffness = m.stiffness;
            c.damping = m.damping;
            shape.spheres.push_back(c);
        }
    }
}

collision_shape wheel_ring(const wheel_info& w) {
    collision_shape shape;
    for (int i = 0; i < 16; i++) {
        double a = i * M_PI / 8;
        collision_sphere c;
        c.center[0] = 0;
        c.center[1] = (float)(w.tire_ring_radius * dmath::cos(a));
        c.center[2] = (float)(w.tire_ring_radius * dmath::sin(a));
        c.radius = w.tire_section_radius;
        c.friction = tire.friction;
        c.stiffness = tire.stiffness;
        c.damping = tire.damping;
        shape.spheres.push_back(c);
    }
    return shape;
}

// The swingarm arms: spheres spaced along the line from the pivot to the axle.
void add_arm(collision_shape& shape, const bike_info& b, float x, float radius) {
    const float* p = b.swingarm_pivot;
    const float* a = b.rear_wheel.center;
    for (float t : {0.1f, 0.37f, 0.63f, 0.9f})
        add_spheres(shape, b.swingarm_position, {{x, p[1] + t * (a[1] - p[1]), p[2] + t * (a[2] - p[2]), radius}},
                    hard);
}

bool generate_bike_shapes(datagen_output& out) {
    const bike_info& b = bike_info_table[0];

    collision_shape frame;
    add_spheres(frame, b.frame_position,
                {
                    {0, 1.75f, 3.35f, 0.4f},      // engine, lowest
                    {0, 1.85f, 3.95f, 0.38f},     // engine, rear
                    {0, 2.25f, 2.75f, 0.38f},     // down tube and radiator
                    {0, 3.0f, 2.35f, 0.3f},       // steering head
                    {0, 3.05f, 2.95f, 0.42f},     // tank
                    {0, 3.2f, 3.75f, 0.33f},      // seat
                    {0, 3.25f, 4.45f, 0.33f},     //
                    {0, 3.3f, 5.15f, 0.3f},       //
                    {0, 3.35f, 5.9f, 0.25f},      // rear fender
                    {0.45f, 2.75f, 2.85f, 0.28f},  // radiator shrouds
                    {0.35f, 2.9f, 4.9f, 0.28f},    // side panels
                    {0.6f, 1.423f, 4.184f, 0.12f}, // footpegs
                },
                hard);

    collision_shape fork_upper;
    add_spheres(fork_upper, b.fork_upper_position,
                {
                    {0, 2.95f, 2.2f, 0.25f},       // triple clamps
                    {0.42f, 2.55f, 1.98f, 0.17f},  // fork tubes
                    {0, 3.5f, 2.55f, 0.15f},       // bar mount
                    {0, 4.045f, 2.913f, 0.13f},    // handlebar
                    {0.5f, 4.045f, 2.913f, 0.13f}, //
                    {1.0f, 4.045f, 2.913f, 0.13f}, //
                    {0, 3.3f, 1.75f, 0.3f},        // number plate
                },
                hard);

    collision_shape fork_lower;
    add_spheres(fork_lower, b.fork_lower_position,
                {
                    {0.42f, 1.2f, 1.14f, 0.15f},   // fork feet beside the axle
                    {0.42f, 1.48f, 1.34f, 0.17f},  // sliders
                    {0.42f, 1.75f, 1.57f, 0.18f},  //
                    {0, 2.42f, 1.1f, 0.15f},       // front fender
                    {0, 2.38f, 0.6f, 0.15f},       //
                },
                hard);

    collision_shape swingarm;
    add_arm(swingarm, b, b.frame_size[0] / 2, 0.14f);
    add_spheres(swingarm, b.swingarm_position, {{0, 1.55f, 4.25f, 0.2f}}, hard);  // cross brace

    collision_shape rider;
    add_spheres(rider, b.rider_position,
                {
                    {0, 5.308383f, 3.1766306f, 0.42f},  // helmet, round the head point
                    {0, 4.95f, 3.55f, 0.5f},            // chest
                    {0, 4.55f, 4.0f, 0.52f},            // belly
                    {0, 3.9f, 4.6f, 0.38f},             // seat of the pants
                    {0.42f, 3.8f, 3.85f, 0.27f},        // thighs
                    {0.55f, 3.45f, 3.15f, 0.22f},       // knees
                    {1.0f, 4.55f, 3.5f, 0.2f},          // elbows
                    {1.08f, 4.12f, 3.2f, 0.2f},         // hands, just behind the grips
                },
                body);

    collision_shape front_wheel = wheel_ring(b.front_wheel), rear_wheel = wheel_ring(b.rear_wheel);
    const struct {
        const char* name;
        const collision_shape& shape;
    } files[] = {
        {"generic_frame.shp", frame},           {"generic_fork_upper.shp", fork_upper},
        {"generic_fork_lower.shp", fork_lower}, {"generic_swingarm.shp", swingarm},
        {"generic_rider.shp", rider},           {"front_wheel.shp", front_wheel},
        {"rear_wheel.shp", rear_wheel},
    };
    for (const auto& f : files) add_text_member(out, f.name, shape_text(f.shape));
    return true;
}

}  // namespace

QX_DATAGEN_GENERATOR(bike_shapes, generate_bike_shapes);
