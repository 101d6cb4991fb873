#pragma once
#include "bodies/rigid_body.h"

// Generation: called last by sim_init, continuing the random sequence after the particles.
void generate_bodies();
void scale_points(int count, Vec2* points, float sx, float sy);
void translate_points(int count, Vec2* points, float dx, float dy);
// Inclusive box test: boxes that only touch overlap.
bool bodies_overlap(const RigidBody& a, const RigidBody& b);

// Contact.
bool body_point_push(int body, Vec2 point, Vec2* push_out);
// The same for any convex outline held as a body record (an obstacle too).
bool polygon_point_push(const RigidBody& polygon, Vec2 point, Vec2* push_out);
void contact_response(RigidBody& body, Vec2 point, Vec2 push, float stiffness);
void apply_fluid_body_contact();
void apply_body_body_contact();

// Motion.
void step_bodies();
// Whether every body's position, angle and velocities are finite as stored, after step_bodies.
// A check of its own: any extra read inside step_bodies changes how the x87 build keeps the
// bodies' values in registers, and with it their rounding.
bool bodies_finite();
