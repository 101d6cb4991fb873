#pragma once
// Bodies and obstacles a scene places, and the contacts of bodies with obstacles and with the
// moving wall.
#include "bodies/rigid_body.h"
#include "config/scene.h"

// Box units of a scene: x = h + fraction * (field_size - h), the same for y.
struct SceneFrame {
    float h;       // smooth_radius: the lower walls
    float width;   // field_size - h: wall to wall
    float spacing; // lattice spacing of the fluid in box units
    float particle_mass;
};
Vec2 scene_point(const SceneFrame& frame, float fx, float fy);

// A body of the scene at rest, its corners clockwise about its centre. Its mass is that of
// the fluid it displaces times its density, the fluid weighing one particle per lattice cell:
// M = density * area * particle_mass / spacing^2, and its moment of inertia likewise
// density * particle_mass / spacing^2 times the outline's polar second moment of area. The
// contact response takes the push along the arm scaled by the arm's length (bodies/contact.cpp),
// so the mass it divides by is M * (mean corner distance) / reference mass, and the inertia I /
// reference mass. False (the record untouched) for an outline with no area.
bool make_scene_body(const SceneBody& body, const SceneFrame& frame, RigidBody* out);

// A fixed convex polygon from corners in box units, in either turn: mass and inertia 0 mark it
// as never moving. False for fewer than three corners, too many, or no area.
bool make_obstacle(const Vec2* corners, int count, RigidBody* out);

// The signed area of a closed outline (positive when the corners run counter-clockwise, y up).
float outline_area(const Vec2* corners, int count);
