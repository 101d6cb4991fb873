#include <GL/gl.h>

#include <cstdint>

#include "base/types.h"
#include "config/config.h"
#include "render/render.h"
#include "sph/sim_state.h"

namespace {

// WebGL has no client-side arrays, so the page's GL emulation copies them into a buffer at every
// draw: in one block when they are interleaved with a stride that covers every attribute, and
// otherwise value by value through the heap in JavaScript, which in the threaded page (its
// memory shared and growable) cost 2 ms of a frame at 10,000 points. So the points go in one
// interleaved array, and a lone array states its stride instead of leaving it 0. A desktop
// driver copies client arrays too and takes either layout.
struct PointVertex {
    Vec2 at;
    Color3 colour;
};
PointVertex points[setting_limit::count_hi];

} // namespace

void draw_particles() {
    if (sim.position == nullptr || sim.count <= 0) return;
    // White is the colour of every point when per-particle colours are off.
    glColor3f(1.0f, 1.0f, 1.0f);
    const float* colours = particle_colours();
    glEnableClientState(GL_VERTEX_ARRAY);
    if (colours != nullptr) {
        const int32_t n = sim.count < setting_limit::count_hi ? sim.count : setting_limit::count_hi;
        const Color3* rgb = reinterpret_cast<const Color3*>(colours);
        for (int32_t i = 0; i < n; ++i)
            points[i] = PointVertex{sim.position[i], rgb[i]};
        glVertexPointer(2, GL_FLOAT, sizeof(PointVertex), &points[0].at);
        glColorPointer(3, GL_FLOAT, sizeof(PointVertex), &points[0].colour);
        glEnableClientState(GL_COLOR_ARRAY);
        glDrawArrays(GL_POINTS, 0, n);
        glDisableClientState(GL_COLOR_ARRAY);
    } else {
        glVertexPointer(2, GL_FLOAT, sizeof(Vec2), sim.position);
        glDrawArrays(GL_POINTS, 0, sim.count);
    }
    glDisableClientState(GL_VERTEX_ARRAY);
}
