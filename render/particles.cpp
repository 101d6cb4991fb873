#include <GL/gl.h>

#include "config/config.h"
#include "render/render.h"
#include "sph/sim_state.h"

void draw_particles() {
    if (sim.position == nullptr || sim.count <= 0) return;
    // White is the colour of every point when per-particle colours are off.
    glColor3f(1.0f, 1.0f, 1.0f);
    glVertexPointer(2, GL_FLOAT, 0, sim.position);
    const float* colours = particle_colours();
    if (colours != nullptr) glColorPointer(3, GL_FLOAT, 0, colours);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (colours != nullptr) {
        glEnableClientState(GL_COLOR_ARRAY);
        glDrawArrays(GL_POINTS, 0, sim.count);
        glDisableClientState(GL_COLOR_ARRAY);
    } else {
        glDrawArrays(GL_POINTS, 0, sim.count);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
}
