// Small vector helpers over the physics library's bodies, shared by the
// rider and collision code. Double precision, like the bodies themselves.
#pragma once

#include <ode/ode.h>

#include <algorithm>
#include <cmath>

#include "bike/ground_geometry.h"

struct dvec3 {
    double x = 0, y = 0, z = 0;
};

inline dvec3 operator+(dvec3 a, dvec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline dvec3 operator-(dvec3 a, dvec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline dvec3 operator-(dvec3 a) { return {-a.x, -a.y, -a.z}; }
inline dvec3 operator*(dvec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline dvec3 operator*(double s, dvec3 a) { return a * s; }
inline double dot(dvec3 a, dvec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline dvec3 cross(dvec3 a, dvec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length_sq(dvec3 a) { return dot(a, a); }
inline double length(dvec3 a) { return std::sqrt(dot(a, a)); }
inline bool finite(dvec3 a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

inline double clampd(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }

inline dvec3 to_dvec(const dReal* v) { return {v[0], v[1], v[2]}; }
inline dvec3 to_dvec(const vec3f& v) { return {v[0], v[1], v[2]}; }
inline vec3f to_vec3f(dvec3 v) { return {(float)v.x, (float)v.y, (float)v.z}; }

inline dvec3 body_pos(dBodyID b) { return to_dvec(dBodyGetPosition(b)); }
inline dvec3 body_vel(dBodyID b) { return to_dvec(dBodyGetLinearVel(b)); }
inline dvec3 body_angvel(dBodyID b) { return to_dvec(dBodyGetAngularVel(b)); }

// A vector of the body's own frame in world coordinates.
inline dvec3 body_to_world(dBodyID b, dvec3 v) {
    dVector3 out;
    dBodyVectorToWorld(b, v.x, v.y, v.z, out);
    return {out[0], out[1], out[2]};
}
inline dvec3 body_from_world(dBodyID b, dvec3 v) {
    dVector3 out;
    dBodyVectorFromWorld(b, v.x, v.y, v.z, out);
    return {out[0], out[1], out[2]};
}
// A point of the body's own frame in world coordinates, and its velocity.
inline dvec3 body_point(dBodyID b, dvec3 p) {
    dVector3 out;
    dBodyGetRelPointPos(b, p.x, p.y, p.z, out);
    return {out[0], out[1], out[2]};
}
inline dvec3 body_point_vel(dBodyID b, dvec3 p) {
    dVector3 out;
    dBodyGetRelPointVel(b, p.x, p.y, p.z, out);
    return {out[0], out[1], out[2]};
}
// Velocity of the body's material at a world point.
inline dvec3 world_point_vel(dBodyID b, dvec3 p) {
    dVector3 out;
    dBodyGetPointVel(b, p.x, p.y, p.z, out);
    return {out[0], out[1], out[2]};
}
