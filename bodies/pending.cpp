// Placeholder until the bodies land; delete with that change.
#include "bodies/bodies.h"
void generate_bodies() {}
void scale_points(int, Vec2*, float, float) {}
void translate_points(int, Vec2*, float, float) {}
bool bodies_overlap(const RigidBody&, const RigidBody&) { return false; }
bool body_point_push(int, Vec2, Vec2*) { return false; }
void contact_response(RigidBody&, Vec2, Vec2, float) {}
void apply_fluid_body_contact() {}
void apply_body_body_contact() {}
void step_bodies() {}
