#include <GL/gl.h>

#include <cmath>

#include "app/input.h"
#include "bodies/rigid_body.h"
#include "config/config.h"
#include "render/render.h"
#include "sph/scene_state.h"
#include "sph/sim_state.h"
#include "surface/surface.h"

namespace {

// Every convex outline as a fan of triangles (corners - 2 of them), twice (its rim, then its
// face), and the moving wall as two more.
constexpr int fill_capacity = 2 * obstacle_capacity * 3 * (body_vertex_capacity - 2) + 6;
// The moving wall's long edge, an emitter's mouth, shaft and two barbs, a drain's four sides;
// two vertices a line.
constexpr int line_capacity = 2 * (1 + 4 * scene_max_emitters + 4 * scene_max_drains);

// Filled each frame a scene has something to show; static, so that nothing is allocated per
// frame. Only draw calls of the body outlines and the particles (vertex arrays, one colour per
// draw) are used, which the page's emulation of fixed-function GL also has.
Vec2 fill[fill_capacity];
Vec2 lines[line_capacity];

// Where box units land in the current projection: the world itself in modes 0 and 2, the
// outline lattice in mode 1 (the mapping of the splat in surface.cpp).
struct Placement {
    float scale;
    float offset;
    Vec2 at(Vec2 p) const { return Vec2{p.x * scale + offset, p.y * scale + offset}; }
};

Placement placement() {
    if (graph_config.render_type == 1 && surface_grid != nullptr) {
        const float r = surface_grid->radius;
        return Placement{(static_cast<float>(surface_grid->resolution) - 4.0f * r) /
                             surface_grid->field_size,
                         r};
    }
    return Placement{1.0f, 0.0f};
}

int stored_corners(const RigidBody& outline) {
    return outline.vertex_count >= 3 && outline.vertex_count <= body_vertex_capacity
               ? outline.vertex_count
               : 0;
}

void draw(GLenum primitive, const Vec2* vertices, int first, int count, float r, float g, float b) {
    if (count <= 0) return;
    glColor3f(r, g, b);
    glVertexPointer(2, GL_FLOAT, 0, vertices + first);
    glEnableClientState(GL_VERTEX_ARRAY);
    glDrawArrays(primitive, 0, count);
    glDisableClientState(GL_VERTEX_ARRAY);
}

// The rim: each corner pushed out by `width` along both its edges' outward normals, so the
// edges move out by exactly that much. Drawn under every obstacle's face, it outlines what the
// pieces cover together rather than each piece of a stroke.
int add_rim(const RigidBody& outline, int n, float width, const Placement& place, Vec2* out) {
    Vec2 grown[body_vertex_capacity];
    for (int k = 0; k < n; ++k) {
        const Vec2 prev = outline.world_vertices[k > 0 ? k - 1 : n - 1];
        const Vec2 at = outline.world_vertices[k];
        const Vec2 next = outline.world_vertices[k + 1 < n ? k + 1 : 0];
        Vec2 na{-(at.y - prev.y), at.x - prev.x}; // clockwise corners: left-hand normals face out
        Vec2 nb{-(next.y - at.y), next.x - at.x};
        const float la = std::sqrt(na.x * na.x + na.y * na.y);
        const float lb = std::sqrt(nb.x * nb.x + nb.y * nb.y);
        na = la > 0.0f ? Vec2{na.x / la, na.y / la} : nb;
        nb = lb > 0.0f ? Vec2{nb.x / lb, nb.y / lb} : na;
        // A sharp corner would reach far out; a quarter of the limit is plenty for a rim.
        const float cos_turn = std::fmax(na.x * nb.x + na.y * nb.y, -0.5f);
        const float reach = width / (1.0f + cos_turn);
        grown[k] = place.at(Vec2{at.x + (na.x + nb.x) * reach, at.y + (na.y + nb.y) * reach});
    }
    int added = 0;
    for (int k = 1; k + 1 < n; ++k) {
        out[added++] = grown[0];
        out[added++] = grown[k];
        out[added++] = grown[k + 1];
    }
    return added;
}

} // namespace

void draw_scene_solids() {
    if (scene.obstacle_count <= 0 && scene.piston_side == 0) return;
    const Placement place = placement();
    // About one and a half pixels of the window, in box units.
    const float pixel =
        window_height > 0 ? (sim.smooth_radius + sim.field_size) / static_cast<float>(window_height)
                          : 0.0f;
    const float rim = 1.5f * pixel;

    int filled = 0;
    const int obstacles = scene.obstacles != nullptr ? scene.obstacle_count : 0;
    for (int o = 0; o < obstacles; ++o) {
        const RigidBody& obstacle = scene.obstacles[o];
        filled += add_rim(obstacle, stored_corners(obstacle), rim, place, fill + filled);
    }
    const int rims = filled;
    for (int o = 0; o < obstacles; ++o) {
        const RigidBody& obstacle = scene.obstacles[o];
        const int n = stored_corners(obstacle);
        for (int k = 1; k + 1 < n; ++k) {
            fill[filled++] = place.at(obstacle.world_vertices[0]);
            fill[filled++] = place.at(obstacle.world_vertices[k]);
            fill[filled++] = place.at(obstacle.world_vertices[k + 1]);
        }
    }
    const int faces = filled - rims;

    int drawn_lines = 0;
    if (scene.piston_side != 0) {
        // A bar one smoothing radius thick on the far side of the wall, over the box's height.
        const float h = sim.smooth_radius;
        const float inner = scene.piston_wall;
        const float outer = inner + static_cast<float>(scene.piston_side) * h;
        const Vec2 a = place.at(Vec2{inner, h});
        const Vec2 b = place.at(Vec2{outer, h});
        const Vec2 c = place.at(Vec2{outer, sim.field_size});
        const Vec2 d = place.at(Vec2{inner, sim.field_size});
        const Vec2 bar[6] = {a, b, c, a, c, d};
        for (const Vec2& v : bar)
            fill[filled++] = v;
        lines[drawn_lines++] = a;
        lines[drawn_lines++] = d;
    }

    // Quiet greys: the solids sit behind the fluid and must not compete with it.
    draw(GL_TRIANGLES, fill, 0, rims, 0.58f, 0.59f, 0.63f);
    draw(GL_TRIANGLES, fill, rims, faces, 0.32f, 0.33f, 0.36f);
    draw(GL_TRIANGLES, fill, rims + faces, filled - rims - faces, 0.45f, 0.42f, 0.36f);
    draw(GL_LINES, lines, 0, drawn_lines, 0.75f, 0.7f, 0.6f);
}

void draw_scene_marks() {
    if (scene.emitter_count <= 0 && scene.drain_count <= 0) return;
    const Placement place = placement();
    const float h = sim.smooth_radius;

    int n = 0;
    for (int k = 0; k < scene.emitter_count && k < scene_max_emitters; ++k) {
        const Emitter& e = scene.emitters[k];
        // The mouth as wide as its slots (at least two smoothing radii), an arrow along the jet.
        const float half = 0.5f * static_cast<float>(e.slots - 1) * scene.spacing;
        const float across = half > h ? half : h;
        const Vec2 side{-e.direction.y * across, e.direction.x * across};
        const Vec2 dir = e.direction;
        const Vec2 tip{e.mouth.x + dir.x * 3.0f * h, e.mouth.y + dir.y * 3.0f * h};
        const Vec2 barb{dir.x * h, dir.y * h};
        const Vec2 wing{-dir.y * 0.6f * h, dir.x * 0.6f * h};
        lines[n++] = place.at(Vec2{e.mouth.x - side.x, e.mouth.y - side.y});
        lines[n++] = place.at(Vec2{e.mouth.x + side.x, e.mouth.y + side.y});
        lines[n++] = place.at(e.mouth);
        lines[n++] = place.at(tip);
        lines[n++] = place.at(tip);
        lines[n++] = place.at(Vec2{tip.x - barb.x + wing.x, tip.y - barb.y + wing.y});
        lines[n++] = place.at(tip);
        lines[n++] = place.at(Vec2{tip.x - barb.x - wing.x, tip.y - barb.y - wing.y});
    }
    const int emitter_lines = n;
    for (int k = 0; k < scene.drain_count && k < scene_max_drains; ++k) {
        const Drain& d = scene.drains[k];
        const Vec2 corners[4] = {place.at(Vec2{d.min_x, d.min_y}), place.at(Vec2{d.max_x, d.min_y}),
                                 place.at(Vec2{d.max_x, d.max_y}),
                                 place.at(Vec2{d.min_x, d.max_y})};
        for (int c = 0; c < 4; ++c) {
            lines[n++] = corners[c];
            lines[n++] = corners[(c + 1) % 4];
        }
    }
    draw(GL_LINES, lines, 0, emitter_lines, 0.4f, 0.8f, 1.0f);
    draw(GL_LINES, lines, emitter_lines, n - emitter_lines, 0.3f, 0.35f, 0.45f);
}
