#pragma once
#include "bodies/rigid_body.h"

// Rotates the body-space corners by `angle`, moves them to `center` and rebuilds the box of the
// centre and every corner, the closing copy included. Used after generation and every step.
void update_world_vertices(RigidBody& body);

// Corners a record may be asked to hold: never more than its arrays can take.
inline int stored_vertex_count(const RigidBody& body) {
    return body.vertex_count < body_vertex_capacity ? body.vertex_count : body_vertex_capacity;
}

// A body can take a push only when both divisors of the response are non-zero; generation never
// leaves one without, but a record is not trusted to be sound.
inline bool body_has_mass(const RigidBody& body) {
    return body.body_mass != 0.0f && body.inertia != 0.0f;
}
