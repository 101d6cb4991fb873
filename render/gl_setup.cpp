#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cstdio>
#include <string>

#include "config/config.h"
#include "render/render.h"
#include "render/shader.h"
#include "sph/sim_state.h"
#include "surface/surface.h"

namespace {
GLint viewport_limit[2] = {0, 0}; // GL_MAX_VIEWPORT_DIMS; 0 until the context was asked
const char* refusal = "";

const char* gl_text(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

void enable_alpha_blend() {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}
} // namespace

void print_gl_info() {
    // One extension name per line; a driver without the string still gets the other lines.
    std::string extensions = gl_text(GL_EXTENSIONS);
    for (char& c : extensions)
        if (c == ' ') c = '\n';
    std::printf("OpenGL Info:\n");
    std::printf("- Vendor:     %s\n", gl_text(GL_VENDOR));
    std::printf("- Renderer:   %s\n", gl_text(GL_RENDERER));
    std::printf("- Version:    %s\n", gl_text(GL_VERSION));
    std::printf("- Extensions:\n%s\n", extensions.c_str());
}

namespace {

// Fixed-function state of one render mode, on top of GL's defaults (see reset_mode_state).
void apply_mode_state(const GraphConfig& g) {
    // Modes 0 and 2 show the box [h, L] with a margin of h: world square 0..h+L.
    const double world = static_cast<double>(phys_config.smooth_radius + phys_config.field_size);

    switch (g.render_type) {
    case 0:
        if (g.graph_smooth != 0) {
            glEnable(GL_POINT_SMOOTH);
            glEnable(GL_LINE_SMOOTH);
        }
        if (g.graph_blend != 0) enable_alpha_blend();
        glLineWidth(g.surf_size);
        glPointSize(g.point_size);
        gluOrtho2D(0.0, world, 0.0, world);
        break;
    case 1: {
        if (g.graph_smooth != 0) glEnable(GL_LINE_SMOOTH);
        if (g.graph_blend != 0) enable_alpha_blend();
        glLineWidth(g.surf_size);
        // Lattice units: the splat maps the box to [h*s + r, R - 3r], so 0..R-r frames it.
        const float lattice = static_cast<float>(g.surf_resolution) - g.surf_radius;
        gluOrtho2D(0.0, lattice, 0.0, lattice);
        glColor3f(1.0f, 1.0f, 1.0f);
        break;
    }
    case 3:
        // The liquid's passes set their own blending; the outlines of the bodies are smoothed.
        if (g.graph_smooth != 0) glEnable(GL_LINE_SMOOTH);
        glLineWidth(g.surf_size);
        gluOrtho2D(0.0, world, 0.0, world);
        break;
    case 2:
        // Blending is switched on by every shader pass, whatever graph_blend says.
        if (g.graph_smooth != 0) glEnable(GL_LINE_SMOOTH);
        glLineWidth(g.surf_size);
        gluOrtho2D(0.0, world, 0.0, world);
        break;
    default:
        // Unknown modes draw nothing, so they need no state and keep the identity projection.
        break;
    }
}

// Everything apply_mode_state and the shader pass change, back at GL's defaults.
void reset_mode_state() {
    glDisable(GL_POINT_SMOOTH);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_BLEND);
    glDisable(GL_VERTEX_PROGRAM_POINT_SIZE_ARB);
    glDisable(GL_POINT_SPRITE_ARB);
    glTexEnvi(GL_POINT_SPRITE_ARB, GL_COORD_REPLACE_ARB, GL_FALSE);
    glLoadIdentity(); // the projection lives in the current (model-view) matrix
}

// The outline lattice (mode 1) or the shader program (mode 2), made the first time the mode is
// used; false when it cannot be made.
bool make_mode_objects(const GraphConfig& g, const char* program_folder) {
    refusal = "";
    if (g.render_type == 1) {
        if (surface_grid == nullptr)
            create_surface_grid(g.surf_radius, g.surf_resolution, phys_config.field_size,
                                sim.position, sim.count);
        if (surface_grid == nullptr) refusal = "no outline lattice";
        return surface_grid != nullptr;
    }
    if (g.render_type == 3) return make_liquid(&refusal);
    if (g.render_type == 2) {
        if (!shader_program_linked()) {
            // A failed earlier attempt: drop it and read the files again.
            if (arb_shader_api != nullptr) release_shader_program();
            build_shader_program(program_folder, g.point_size, static_cast<float>(g.window_size));
        }
        if (!shader_program_linked()) refusal = "the shaders could not be built";
        return shader_program_linked();
    }
    return true;
}

} // namespace

bool setup_render_state(const char* program_folder) {
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport_limit);
    // A failure is not fatal here: the mode draws what it can (nothing, or plain points), and
    // the caller may switch to points.
    const bool made = make_mode_objects(graph_config, program_folder);
    apply_mode_state(graph_config);
    set_viewport(graph_config.window_size, graph_config.window_size);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    return made;
}

bool switch_render_mode(int32_t mode, const char* program_folder) {
    GraphConfig g = graph_config;
    g.render_type = mode;
    const bool made = make_mode_objects(g, program_folder);
    if (!made) g.render_type = 0;
    // A reload may have changed the point size the sprites scale with.
    if (g.render_type == 2) shader_scalar = g.point_size;
    reset_mode_state();
    apply_mode_state(g);
    graph_config.render_type = g.render_type;
    return made;
}

const char* render_mode_refusal() {
    return refusal;
}

void set_viewport(int width, int height) {
    clamp_to_max_viewport(&width, &height);
    glViewport(0, 0, width, height);
    // The sprites are sized in pixels of the window as it is now, not as it started.
    shader_height = static_cast<float>(height);
}

bool fits_max_viewport(int width, int height) {
    if (viewport_limit[0] <= 0 || viewport_limit[1] <= 0) return true; // driver did not say
    return width <= viewport_limit[0] && height <= viewport_limit[1];
}

void clamp_to_max_viewport(int* width, int* height) {
    if (viewport_limit[0] > 0 && *width > viewport_limit[0]) *width = viewport_limit[0];
    if (viewport_limit[1] > 0 && *height > viewport_limit[1]) *height = viewport_limit[1];
}
