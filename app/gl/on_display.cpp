#include <cstdint>
#include <cstdio>

#include "app/frame_stats.h"
#include "app/gl/callbacks.h"
#include "app/input.h"
#include "app/options.h"
#include "app/play.h"
#include "app/tools.h"
#include "config/config.h"
#include "platform/window.h"
#include "render/render.h"
#include "sph/sim_state.h"

namespace {

Pacing pacing;
bool pacing_was_on = false;
int64_t frames_drawn = 0;

// A carried body is put back under the pointer before every step, not only every frame, so
// real-time pacing's several steps do not let it sag.
void one_step(PlayState& play) {
    tool_before_step(tool_state, mouse_state.pointer);
    advance_one_step(play, mouse_state);
}

// The simulation's share of one frame. Without keys and without real time: exactly one step.
void run_steps(int32_t frame_ms, int32_t t0) {
    PlayState& play = play_state;
    if (play.paused) {
        for (; play.pending_steps > 0; --play.pending_steps)
            one_step(play);
        return;
    }
    if (!play.realtime) {
        pacing_was_on = false;
        one_step(play);
        return;
    }
    if (!pacing_was_on) pacing = Pacing{}; // no debt from the time it was off
    pacing_was_on = true;
    const double step_ms = static_cast<double>(sim.timestep) * 1000.0;
    const int steps = paced_steps(pacing, static_cast<double>(frame_ms), step_ms);
    for (int i = 0; i < steps; ++i) {
        one_step(play);
        // Physics that outgrows the frame is cut short: slow motion, not a spiral.
        if (glut_time_ms() - t0 >= pacing_max_physics_ms) break;
    }
}
} // namespace

void on_display() {
    // A window larger than the driver can draw waits, undrawn, for the smaller size that
    // on_reshape asked for.
    if (!fits_max_viewport(window_width, window_height)) return;
    const int32_t previous = frame_stats.frame_start_ms;
    const int32_t t0 = glut_time_ms();
    frame_stats.frame_start_ms = t0;

    // Quitting redraws the last picture without moving on, for the screenshot at quit.
    const bool quitting = (play_state.requests & request_quit) != 0;
    if (!quitting) run_steps(t0 - previous, t0);

    const int32_t t1 = glut_time_ms();
    expire_start_hint(play_state, t1);
    draw_frame();
    // Recordings show the fluid, not the help or the status line over it.
    record_drawn_frame();
    draw_overlay();
    draw_panel();
    ++frames_drawn;
    const bool last =
        quitting || (program_options.frames > 0 && frames_drawn >= program_options.frames);
    if ((play_state.requests & request_screenshot) != 0) {
        // One picture a frame: presses that came in faster get the frames that follow.
        if (--play_state.screenshots_wanted <= 0) {
            play_state.screenshots_wanted = 0;
            play_state.requests &= ~request_screenshot;
        }
        take_screenshot(nullptr);
    }
    poll_screenshots();
    if (last) save_final_screenshot(true);
    glutSwapBuffers();
    const int32_t t2 = glut_time_ms();

    if (record_frame(frame_stats, previous, t0, t1, t2, phys_config.count, title_text))
        show_title(title_text);
    if (last) leave_main_loop();
}

void on_idle() {
    glutPostRedisplay();
}

void on_window_status(int state) {
    // freeglut drops the redisplays of a window it cannot show, so an idle function that keeps
    // posting them would spin the processor for nothing; without one it sleeps until events.
    static bool frames_stopped = false;
    const bool can_draw = state == GLUT_FULLY_RETAINED || state == GLUT_PARTIALLY_RETAINED;
    if (state == GLUT_HIDDEN) {
        release_held_buttons(mouse_state, sim);
        drop_tool(tool_state);
    }
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
