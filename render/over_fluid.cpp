// What every mode draws over the fluid: the speed colours the particles are drawn with, the
// stirring circle, and the colour bar with its values. Only vertex and colour arrays and plain
// triangles and lines, which the page's emulation of fixed-function GL also has; every array is
// static, so nothing is allocated per frame.
#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/input.h"
#include "app/legend.h"
#include "base/colour_map.h"
#include "config/config.h"
#include "render/render.h"
#include "sph/sim_state.h"
#include "sph/water.h"
#include "surface/surface.h"

namespace {

Color3 quantity_colours[setting_limit::count_hi];

// Where box units land in the current projection: the world itself, or the outline lattice in
// mode 1 (the mapping of the splat in surface.cpp, as scene_draw.cpp places the scene).
void placement(float* scale, float* offset) {
    *scale = 1.0f;
    *offset = 0.0f;
    if (graph_config.render_type == 1 && surface_grid != nullptr) {
        const float r = surface_grid->radius;
        *scale =
            (static_cast<float>(surface_grid->resolution) - 4.0f * r) / surface_grid->field_size;
        *offset = r;
    }
}

constexpr int circle_points = 72;
Vec2 circle[circle_points];

// The colour bar: its segments as quads of two triangles with a colour at every corner, the panel
// behind it, the glyphs of its text.
constexpr int bar_segments = 48;
Vec2 bar_vertices[6 * bar_segments];
Color3 bar_colours[6 * bar_segments];
Vec2 panel[6];
constexpr int text_capacity = 3 * legend_text_size;
constexpr int glyph_cells = 35; // 5 x 7
Vec2 text_vertices[6 * glyph_cells * text_capacity];

int add_rect(Vec2* out, float x0, float y0, float x1, float y1) {
    out[0] = Vec2{x0, y0};
    out[1] = Vec2{x1, y0};
    out[2] = Vec2{x1, y1};
    out[3] = Vec2{x0, y0};
    out[4] = Vec2{x1, y1};
    out[5] = Vec2{x0, y1};
    return 6;
}

// The cells of `text` from (x, y), its lower left corner, `cell` pixels each; returns the
// vertices written. Characters without a glyph leave a gap.
int add_text(Vec2* out, int room, const char* text, float x, float y, float cell) {
    int n = 0;
    for (const char* c = text; *c != '\0'; ++c, x += 6.0f * cell) {
        const unsigned char* rows = legend_glyph(*c);
        if (rows == nullptr) continue;
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col) {
                if ((rows[row] & (0x10 >> col)) == 0 || n + 6 > room) continue;
                const float left = x + static_cast<float>(col) * cell;
                const float top = y + static_cast<float>(7 - row) * cell;
                n += add_rect(out + n, left, top - cell, left + cell, top);
            }
    }
    return n;
}

void draw_arrays(GLenum primitive, const Vec2* vertices, const Color3* colours, int count) {
    if (count <= 0) return;
    glVertexPointer(2, GL_FLOAT, 0, vertices);
    glEnableClientState(GL_VERTEX_ARRAY);
    if (colours != nullptr) {
        glColorPointer(3, GL_FLOAT, 0, colours);
        glEnableClientState(GL_COLOR_ARRAY);
    }
    glDrawArrays(primitive, 0, count);
    if (colours != nullptr) glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
}

} // namespace

const float* particle_colours() {
    const int32_t scheme = graph_config.point_colors;
    if (scheme == 0 || sim.color == nullptr) return nullptr;
    if (scheme != 3 && scheme != 4) return &sim.color[0].r;
    const int32_t n = sim.count < setting_limit::count_hi ? sim.count : setting_limit::count_hi;
    if (scheme == 3) {
        const float scale =
            graph_config.speed_scale > 0.0f ? 1.0f / graph_config.speed_scale : 0.0f;
        for (int32_t i = 0; i < n; ++i) {
            const Vec2 v = sim.velocity[i];
            quantity_colours[i] = viridis(std::sqrt(v.x * v.x + v.y * v.y) * scale);
        }
    } else {
        for (int32_t i = 0; i < n; ++i)
            quantity_colours[i] = cool_warm(
                compression_fraction(particle_compression(sim, i), graph_config.compression_range));
    }
    return &quantity_colours[0].r;
}

void draw_stirring_circle() {
    float signs[2];
    if (stirring_signs(mouse_state, signs) == 0) return;
    float scale;
    float offset;
    placement(&scale, &offset);
    const float radius = sim.smooth_radius * sim.mouse_radius * scale;
    const Vec2 at{mouse_state.pointer.x * scale + offset, mouse_state.pointer.y * scale + offset};
    for (int k = 0; k < circle_points; ++k) {
        const float angle = 6.2831853f * static_cast<float>(k) / static_cast<float>(circle_points);
        circle[k] = Vec2{at.x + radius * std::cos(angle), at.y + radius * std::sin(angle)};
    }
    // Pulling and pushing apart at a glance: warm for the left button, cool for the right.
    if (signs[0] > 0.0f)
        glColor3f(1.0f, 0.85f, 0.4f);
    else
        glColor3f(0.5f, 0.8f, 1.0f);
    // Thin, but wide enough that line smoothing does not fade it into the dark.
    glLineWidth(1.5f);
    draw_arrays(GL_LINE_LOOP, circle, nullptr, circle_points);
    glLineWidth(graph_config.surf_size);
}

void draw_colour_bar() {
    Legend legend;
    const LegendScales scales{graph_config.speed_scale, graph_config.compression_range, water.on};
    if (!describe_legend(graph_config.point_colors, sim, scales, &legend)) return;
    if (window_width <= 0 || window_height <= 0) return;
    const float cell = window_height >= 600 ? 2.0f : 1.0f;
    const float margin = 6.0f * cell;
    const float bar_w = 100.0f * cell;
    const float bar_h = 8.0f * cell;
    const float line = 9.0f * cell;
    // Right-aligned under the top edge: the fluid lies at the bottom, the overlay at the left.
    const float right = static_cast<float>(window_width) - margin;
    const float top = static_cast<float>(window_height) - margin;
    const float left = right - bar_w;
    const float bar_top = top - line - 2.0f * cell;
    const float bar_bottom = bar_top - bar_h;

    for (int s = 0; s < bar_segments; ++s) {
        const float f0 = static_cast<float>(s) / bar_segments;
        const float f1 = static_cast<float>(s + 1) / bar_segments;
        const Color3 c0 = legend_colour(legend, f0);
        const Color3 c1 = legend_colour(legend, f1);
        Vec2* v = bar_vertices + 6 * s;
        add_rect(v, left + f0 * bar_w, bar_bottom, left + f1 * bar_w, bar_top);
        const Color3 corner[6] = {c0, c1, c1, c0, c1, c0};
        std::memcpy(bar_colours + 6 * s, corner, sizeof corner);
    }
    int n = add_text(text_vertices, 6 * glyph_cells * text_capacity, legend.title, left,
                     top - 7.0f * cell, cell);
    const float values_y = bar_bottom - 2.0f * cell - 7.0f * cell;
    for (int k = 0; k < legend.tick_count; ++k) {
        const float width = static_cast<float>(std::strlen(legend.ticks[k].text)) * 6.0f * cell;
        float x = left + legend.ticks[k].at * bar_w - 0.5f * width;
        if (x + width > right + margin * 0.5f) x = right + margin * 0.5f - width;
        if (x < left - margin * 0.5f) x = left - margin * 0.5f;
        n += add_text(text_vertices + n, 6 * glyph_cells * text_capacity - n, legend.ticks[k].text,
                      x, values_y, cell);
    }

    // Window pixels, whatever projection the mode uses.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, window_width, 0.0, window_height, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const GLboolean blending = glIsEnabled(GL_BLEND);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4f(0.0f, 0.0f, 0.0f, 0.6f);
    add_rect(panel, left - margin, values_y - margin * 0.5f, right + margin, top + margin * 0.5f);
    draw_arrays(GL_TRIANGLES, panel, nullptr, 6);
    if (blending == GL_FALSE) glDisable(GL_BLEND);
    draw_arrays(GL_TRIANGLES, bar_vertices, bar_colours, 6 * bar_segments);
    glColor3f(1.0f, 1.0f, 1.0f);
    draw_arrays(GL_TRIANGLES, text_vertices, nullptr, n);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}
