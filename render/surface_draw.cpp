#include <GL/gl.h>

#include "render/render.h"
#include "surface/surface.h"

void draw_surface() {
    glColor3f(1.0f, 1.0f, 1.0f);
    update_surface();
    if (surface_grid == nullptr) return;
    const Vec2* vertices = surface_line_vertices(surface_grid);
    const int32_t n = surface_grid->line_vertex_count;
    if (vertices == nullptr || n <= 0) return;
    glVertexPointer(2, GL_FLOAT, 0, vertices);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDrawArrays(GL_LINES, 0, n);
    glDisableClientState(GL_VERTEX_ARRAY);
}
