#include <GL/gl.h>

#include "config/config.h"
#include "render/render.h"
#include "render/shader.h"
#include "sph/sim_state.h"

void draw_frame() {
    glClear(GL_COLOR_BUFFER_BIT);
    switch (graph_config.render_type) {
    case 0:
        draw_scene_solids();
        draw_particles();
        draw_scene_marks();
        if (sim.geom_count != 0) draw_bodies();
        break;
    case 1:
        // Bodies are not drawn in this mode, but the obstacles still shape the flow.
        draw_scene_solids();
        draw_surface();
        draw_scene_marks();
        break;
    case 2:
        draw_scene_solids();
        begin_shader_pass();
        draw_particles();
        // Back to the fixed pipeline so the outlines never go through the sprite shader.
        if (shader_program != 0 && arb_shader_api != nullptr &&
            arb_shader_api->glUseProgramObjectARB != nullptr)
            arb_shader_api->glUseProgramObjectARB(0);
        draw_scene_marks();
        if (sim.geom_count != 0) draw_bodies();
        break;
    case 3:
        draw_scene_solids();
        draw_liquid();
        draw_scene_marks();
        if (sim.geom_count != 0) draw_bodies();
        break;
    default:
        break;
    }
    draw_stirring_circle();
    draw_colour_bar();
}
