#include <cstdio>
#include <string>

#include "app/gl/callbacks.h"
#include "app/input.h"
#include "app/play.h"
#include "app/startup.h"
#include "config/config.h"
#include "platform/swap_control.h"
#include "platform/window.h"
#include "render/render.h"
#include "render/shader.h"

void init_graphics(int argc, char** argv) {
    window_width = graph_config.window_size;
    window_height = graph_config.window_size;
    const std::string startup_title = std::string(program_title) + "   <<<   Init   >>>";

    // The size first: glutInit's -geometry, read from the command line, then overrides it.
    glutInitWindowSize(window_width, window_height);
    int glut_argc = argc; // glutInit may remove the options it consumes
    glutInit(&glut_argc, argv);
    return_from_main_loop_on_close();
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
    glutCreateWindow(startup_title.c_str());
    window_width = glutGet(GLUT_WINDOW_WIDTH);
    window_height = glutGet(GLUT_WINDOW_HEIGHT);

    print_gl_info();

    glutDisplayFunc(on_display);
    glutIdleFunc(on_idle);
    glutReshapeFunc(on_reshape);
    glutMouseFunc(on_mouse);
    glutMotionFunc(on_motion);
    glutPassiveMotionFunc(on_passive_motion);
    on_window_status_change(on_window_status);
    glutKeyboardFunc(on_keyboard);
    glutSpecialFunc(on_special);
    on_window_close(on_close);

    disable_vsync();
    if (!setup_render_state(exe_folder.c_str()) && graph_config.render_type == 3) {
        // Mode 2 without its shaders still draws plain points; the liquid would draw nothing.
        std::printf("Mode 3 (liquid) is not available (%s); drawing mode 0 (points).\n",
                    render_mode_refusal());
        std::fflush(stdout);
        switch_render_mode(0, exe_folder.c_str());
        play_state.graph.render_type = 0;
    }
    if (!fits_max_viewport(window_width, window_height)) {
        int width = window_width;
        int height = window_height;
        clamp_to_max_viewport(&width, &height);
        const int side = width < height ? width : height;
        std::fprintf(stderr,
                     "warning: [graph] window_size = %d is larger than the OpenGL driver can "
                     "draw; the window is made %d pixels square\n",
                     graph_config.window_size, side);
        glutReshapeWindow(side, side);
    }
}

// freeglut makes a window's context current before calling its close callback; after
// glutMainLoop returns, the window and its context are gone.
void on_close() {
    save_final_screenshot(false);
    release_panel();
    stop_recording();
    release_shader_program();
    release_liquid();
}

int glut_time_ms() {
    return glutGet(GLUT_ELAPSED_TIME);
}
