#include "app/frame_stats.h"
#include "app/gl/callbacks.h"
#include "app/input.h"
#include "config/config.h"
#include "platform/window.h"
#include "render/render.h"
#include "sph/physics_step.h"
#include "sph/steps.h"

namespace {
StepProfile step_profile;
}

void on_display() {
    const int32_t previous = frame_stats.frame_start_ms;
    const int32_t t0 = glut_time_ms();
    frame_stats.frame_start_ms = t0;

    physics_step(&step_profile);
    float signs[2];
    const int stirs = stirring_signs(mouse_state, signs);
    for (int i = 0; i < stirs; ++i)
        apply_mouse_force(mouse_state.pointer.x, mouse_state.pointer.y, signs[i]);

    const int32_t t1 = glut_time_ms();
    draw_frame();
    glutSwapBuffers();
    const int32_t t2 = glut_time_ms();

    if (record_frame(frame_stats, previous, t0, t1, t2, phys_config.count, title_text))
        show_title(title_text);
}

void on_idle() { glutPostRedisplay(); }
