#include <GL/freeglut.h>

#include <cstdint>
#include <cstdio>

#include "app/frame_stats.h"
#include "app/gl/callbacks.h"
#include "app/input.h"
#include "config/config.h"
#include "render/render.h"
#include "sph/physics_step.h"
#include "sph/sim_state.h"
#include "sph/stability.h"
#include "sph/steps.h"

namespace {
StepProfile step_profile;
int64_t steps_done = 0;
char blow_up_text[512];  // empty until the simulation blows up

// The first non-finite value pauses the simulation for good: stepping on would only spread
// NaN through every particle. The window keeps drawing the last state.
void report_blow_up() {
    describe_blow_up(blow_up_text, sizeof blow_up_text, steps_done, phys_config);
    std::fprintf(stderr, "%s. The simulation is paused; the window keeps showing it.\n",
                 blow_up_text);
    std::fflush(stderr);
}
}  // namespace

const char* blow_up_message() { return blow_up_text; }

void on_display() {
    // A window larger than the driver can draw waits, undrawn, for the smaller size that
    // on_reshape asked for.
    if (!fits_max_viewport(window_width, window_height)) return;
    const int32_t previous = frame_stats.frame_start_ms;
    const int32_t t0 = glut_time_ms();
    frame_stats.frame_start_ms = t0;

    if (!sim.blown_up) {
        physics_step(&step_profile);
        ++steps_done;
        if (sim.blown_up) {
            report_blow_up();
        } else {
            float signs[2];
            const int stirs = stirring_signs(mouse_state, signs);
            for (int i = 0; i < stirs; ++i)
                apply_mouse_force(mouse_state.pointer.x, mouse_state.pointer.y, signs[i]);
        }
    }

    const int32_t t1 = glut_time_ms();
    draw_frame();
    glutSwapBuffers();
    const int32_t t2 = glut_time_ms();

    if (record_frame(frame_stats, previous, t0, t1, t2, phys_config.count, title_text))
        glutSetWindowTitle(title_text);
}

void on_idle() { glutPostRedisplay(); }

void on_window_status(int state) {
    // freeglut drops the redisplays of a window it cannot show, so an idle function that keeps
    // posting them would spin the processor for nothing; without one it sleeps until events.
    static bool frames_stopped = false;
    const bool can_draw = state == GLUT_FULLY_RETAINED || state == GLUT_PARTIALLY_RETAINED;
    if (state == GLUT_HIDDEN) release_held_buttons(mouse_state, sim);
    if (!can_draw && !frames_stopped) {
        glutIdleFunc(nullptr);
        frames_stopped = true;
    } else if (can_draw && frames_stopped) {
        frames_stopped = false;
        // The time away is not a frame: the next interval is measured from now.
        frame_stats.frame_start_ms = glut_time_ms();
        glutIdleFunc(on_idle);
        glutPostRedisplay();
    }
}
