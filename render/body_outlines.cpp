#include <GL/gl.h>

#include "bodies/rigid_body.h"
#include "render/render.h"
#include "sph/sim_state.h"

void draw_bodies() {
    if (sim.bodies == nullptr) return;
    glColor3f(1.0f, 1.0f, 1.0f);
    for (int32_t i = 0; i < sim.geom_count; ++i) {
        const RigidBody& body = sim.bodies[i];
        if (body.vertex_count < 1 || body.vertex_count > body_vertex_capacity) continue;
        // The loop closes the outline itself; the repeated first corner after the last one is
        // there for the edge walk of the contacts, not for drawing.
        glVertexPointer(2, GL_FLOAT, 0, body.world_vertices);
        glEnableClientState(GL_VERTEX_ARRAY);
        glDrawArrays(GL_LINE_LOOP, 0, body.vertex_count);
        glDisableClientState(GL_VERTEX_ARRAY);
    }
}
