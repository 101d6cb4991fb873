#include "sph/scene_state.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bodies/bodies.h"
#include "bodies/scene_bodies.h"
#include "bodies/world_vertices.h"
#include "sph/sim_state.h"
#include "sph/water.h"

SceneState scene;

namespace {

constexpr double degrees = 3.14159265358979323846 / 180.0;

SceneFrame frame_of(float h, float field_size, float spacing, float particle_mass) {
    return SceneFrame{h, field_size - h, spacing * h, particle_mass};
}

bool in_fluid_block(const SceneFluid& block, const SceneFrame& frame, Vec2 p) {
    if (block.disc) {
        const Vec2 c = scene_point(frame, block.x0, block.y0);
        const float r = block.r * frame.width;
        const float dx = p.x - c.x;
        const float dy = p.y - c.y;
        return dx * dx + dy * dy <= r * r;
    }
    const Vec2 lo = scene_point(frame, block.x0, block.y0);
    const Vec2 hi = scene_point(frame, block.x1, block.y1);
    return lo.x <= p.x && p.x <= hi.x && lo.y <= p.y && p.y <= hi.y;
}

bool inside_any(const std::vector<RigidBody>& outlines, Vec2 p) {
    for (const RigidBody& outline : outlines) {
        Vec2 push;
        if (p.x >= outline.min_x && p.x <= outline.max_x && p.y >= outline.min_y &&
            p.y <= outline.max_y && polygon_point_push(outline, p, &push)) {
            return true;
        }
    }
    return false;
}

// An obstacle of the scene in box units. Corners on or beyond a wall are taken four smoothing
// radii further out: a particle inside near such an edge would otherwise be pushed through the
// edge, which lies on the wall, into the wall, and the two springs would hold it there while the
// fluid behind squeezed it along the wall under the obstacle.
bool scene_obstacle(const SceneObstacle& o, const SceneFrame& frame, RigidBody* out) {
    Vec2 corners[scene_max_corners];
    const int n = o.corner_count < scene_max_corners ? o.corner_count : scene_max_corners;
    const float beyond = 4.0f * frame.h / frame.width;
    for (int c = 0; c < n; ++c) {
        float fx = o.corners[c].x;
        float fy = o.corners[c].y;
        fx = fx <= 0.0f ? fx - beyond : (fx >= 1.0f ? fx + beyond : fx);
        fy = fy <= 0.0f ? fy - beyond : (fy >= 1.0f ? fy + beyond : fy);
        corners[c] = scene_point(frame, fx, fy);
    }
    return make_obstacle(corners, n, out);
}

// The scene's obstacles and bodies as outlines, which lattice sites keep out of.
std::vector<RigidBody> solid_outlines(const SceneDescription& d, const SceneFrame& frame) {
    std::vector<RigidBody> outlines;
    for (int k = 0; k < d.obstacle_count; ++k) {
        RigidBody outline;
        if (scene_obstacle(d.obstacles[k], frame, &outline)) outlines.push_back(outline);
    }
    for (int k = 0; k < d.body_count; ++k) {
        RigidBody outline;
        if (make_scene_body(d.bodies[k], frame, &outline)) outlines.push_back(outline);
    }
    return outlines;
}

// Emitter mouths, directions and slots in box units.
Emitter make_emitter(const SceneEmitter& e, const SceneFrame& frame) {
    Emitter out{};
    out.mouth = scene_point(frame, e.x, e.y);
    const double a = e.angle * degrees;
    out.direction = Vec2{static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a))};
    out.speed = e.speed * frame.width;
    out.rate = e.rate;
    const float across = e.width * frame.width;
    const float slots = frame.spacing > 0.0f ? std::floor(across / frame.spacing) + 1.0f : 1.0f;
    out.slots = slots < 1.0f ? 1 : (slots > 4096.0f ? 4096 : static_cast<int32_t>(slots));
    return out;
}

void clear_scene() {
    RigidBody* obstacles = scene.obstacles;
    scene = SceneState{};
    scene.obstacles = obstacles;
    std::snprintf(scene.name, sizeof scene.name, "box");
}

} // namespace

int64_t scene_lattice_sites(const SceneDescription& d, float h, float field_size, Vec2* out,
                            int64_t limit) {
    const SceneFrame frame = frame_of(h, field_size, d.spacing, 1.0f);
    const float s = frame.spacing;
    if (!(s > 0.0f) || !(frame.width > 0.0f)) return 0;
    const std::vector<RigidBody> solids = solid_outlines(d, frame);
    int64_t count = 0;
    auto take = [&](const SceneFluid* blocks, int k, Vec2 p) {
        if (!(p.x > h && p.x < field_size && p.y > h && p.y < field_size)) return true;
        for (int e = 0; e < k; ++e)
            if (in_fluid_block(blocks[e], frame, p)) return true;
        if (inside_any(solids, p)) return true;
        if (count >= limit) return false;
        if (out != nullptr) out[count] = p;
        ++count;
        return true;
    };
    for (int k = 0; k < d.fluid_count; ++k) {
        const SceneFluid& block = d.fluids[k];
        if (block.disc) {
            const Vec2 c = scene_point(frame, block.x0, block.y0);
            const float r = block.r * frame.width;
            const int32_t reach = static_cast<int32_t>(r / s) + 1;
            for (int32_t j = -reach; j <= reach; ++j) {
                for (int32_t i = -reach; i <= reach; ++i) {
                    const float dx = static_cast<float>(i) * s;
                    const float dy = static_cast<float>(j) * s;
                    if (dx * dx + dy * dy > r * r) continue;
                    if (!take(d.fluids, k, Vec2{c.x + dx, c.y + dy})) return -1;
                }
            }
        } else {
            const Vec2 lo = scene_point(frame, block.x0, block.y0);
            const Vec2 hi = scene_point(frame, block.x1, block.y1);
            for (int32_t j = 0;; ++j) {
                const float y = lo.y + (static_cast<float>(j) + 0.5f) * s;
                if (!(y < hi.y)) break;
                for (int32_t i = 0;; ++i) {
                    const float x = lo.x + (static_cast<float>(i) + 0.5f) * s;
                    if (!(x < hi.x)) break;
                    if (!take(d.fluids, k, Vec2{x, y})) return -1;
                }
            }
        }
    }
    return count;
}

bool scene_allocate() {
    if (scene.obstacles == nullptr)
        scene.obstacles =
            static_cast<RigidBody*>(std::calloc(obstacle_capacity, sizeof(RigidBody)));
    clear_scene();
    return scene.obstacles != nullptr;
}

void scene_release() {
    std::free(scene.obstacles);
    scene.obstacles = nullptr;
    clear_scene();
}

bool scene_active() {
    return scene.obstacle_count > 0 || scene.piston_side != 0 ||
           (scene.emitter_count > 0 && scene.drain_count > 0);
}

void scene_seed_lattice(const SceneDescription& d) {
    scene_lattice_sites(d, sim.smooth_radius, sim.field_size, sim.position, sim.count);
    colour_across_box();
}

void colour_across_box() {
    if (sim.color == nullptr) return;
    // Red falls as blue rises with height, green rises with x, over the whole box.
    const float h = sim.smooth_radius;
    const float width = sim.field_size - h;
    for (int32_t i = 0; i < sim.count; ++i) {
        const float up = (sim.position[i].y - h) / width;
        const float right = (sim.position[i].x - h) / width;
        sim.color[i] = Color3{1.0f - up, right, up};
    }
}

void scene_build(const SceneDescription& d) {
    std::snprintf(scene.name, sizeof scene.name, "%s", d.name);
    std::snprintf(scene.about, sizeof scene.about, "%s", d.about);
    const SceneFrame frame = frame_of(sim.smooth_radius, sim.field_size, d.spacing, sim.mass);
    scene.spacing = frame.spacing;
    scene.lattice = d.fluid_count > 0;
    for (int k = 0; k < d.body_count && sim.geom_count < scene.body_capacity; ++k) {
        if (make_scene_body(d.bodies[k], frame, &sim.bodies[sim.geom_count])) ++sim.geom_count;
    }
    for (int k = 0; k < d.obstacle_count && scene.obstacle_count < obstacle_capacity; ++k) {
        if (scene_obstacle(d.obstacles[k], frame, &scene.obstacles[scene.obstacle_count]))
            ++scene.obstacle_count;
    }
    if (d.piston.side != 0) {
        scene.piston_side = d.piston.side < 0 ? -1 : 1;
        scene.piston_rest = scene.piston_side < 0 ? sim.smooth_radius : sim.field_size;
        scene.piston_amplitude = d.piston.amplitude * frame.width;
        scene.piston_period = d.piston.period;
        scene.piston_wall = scene.piston_rest;
    }
    for (int k = 0; k < d.emitter_count && k < scene_max_emitters; ++k)
        scene.emitters[scene.emitter_count++] = make_emitter(d.emitters[k], frame);
    for (int k = 0; k < d.drain_count && k < scene_max_drains; ++k) {
        const Vec2 lo = scene_point(frame, d.drains[k].x0, d.drains[k].y0);
        const Vec2 hi = scene_point(frame, d.drains[k].x1, d.drains[k].y1);
        scene.drains[scene.drain_count++] = Drain{lo.x, hi.x, lo.y, hi.y};
    }
}

bool add_stroke_obstacle(Vec2 a, Vec2 b, float thickness) {
    if (scene.obstacles == nullptr || scene.obstacle_count >= obstacle_capacity) return false;
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    const float length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0.0f) || !(thickness > 0.0f)) return false;
    // Half the thickness along the normal; the ends reach half of it beyond a and b, so the
    // pieces of a stroke overlap at its bends.
    const float nx = -dy / length * thickness * 0.5f;
    const float ny = dx / length * thickness * 0.5f;
    const float ex = dx / length * thickness * 0.5f;
    const float ey = dy / length * thickness * 0.5f;
    const Vec2 corners[4] = {{a.x - ex + nx, a.y - ey + ny},
                             {b.x + ex + nx, b.y + ey + ny},
                             {b.x + ex - nx, b.y + ey - ny},
                             {a.x - ex - nx, a.y - ey - ny}};
    if (!make_obstacle(corners, 4, &scene.obstacles[scene.obstacle_count])) return false;
    ++scene.obstacle_count;
    return true;
}

namespace {

float segment_distance_sq(Vec2 p, Vec2 a, Vec2 b) {
    const float dx = b.x - a.x;
    const float dy = b.y - a.y;
    const float len_sq = dx * dx + dy * dy;
    float t = len_sq > 0.0f ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len_sq : 0.0f;
    t = t < 0.0f ? 0.0f : (t > 1.0f ? 1.0f : t);
    const float ox = a.x + t * dx - p.x;
    const float oy = a.y + t * dy - p.y;
    return ox * ox + oy * oy;
}

} // namespace

int erase_obstacles_near(Vec2 point, float radius) {
    int erased = 0;
    int kept = 0;
    for (int o = 0; o < scene.obstacle_count; ++o) {
        const RigidBody& obstacle = scene.obstacles[o];
        Vec2 push;
        bool near = polygon_point_push(obstacle, point, &push);
        const int n = stored_vertex_count(obstacle);
        for (int k = 0; k < n && !near; ++k) {
            near = segment_distance_sq(point, obstacle.world_vertices[k],
                                       obstacle.world_vertices[k + 1]) <= radius * radius;
        }
        if (near) {
            ++erased;
        } else {
            if (kept != o) scene.obstacles[kept] = obstacle;
            ++kept;
        }
    }
    scene.obstacle_count = kept;
    return erased;
}

bool drop_body_at(Vec2 point) {
    if (sim.bodies == nullptr || sim.geom_count >= scene.body_capacity) return false;
    const float width = sim.field_size - sim.smooth_radius;
    if (!(width > 0.0f)) return false;
    // A square eight smoothing radii wide that floats: light enough to ride the surface.
    const float side = 8.0f * sim.smooth_radius / width;
    const SceneBody square{0,
                           (point.x - sim.smooth_radius) / width,
                           (point.y - sim.smooth_radius) / width,
                           side,
                           side,
                           0.0f,
                           0.6f};
    const float spacing = scene.spacing > 0.0f ? scene.spacing / sim.smooth_radius : 0.5f;
    const SceneFrame frame = frame_of(sim.smooth_radius, sim.field_size, spacing, sim.mass);
    if (!make_scene_body(square, frame, &sim.bodies[sim.geom_count])) return false;
    water_set_body(sim.geom_count, square.density);
    ++sim.geom_count;
    return true;
}

int body_at(Vec2 point) {
    for (int j = sim.geom_count - 1; j >= 0; --j) {
        Vec2 push;
        const RigidBody& body = sim.bodies[j];
        if (point.x >= body.min_x && point.x <= body.max_x && point.y >= body.min_y &&
            point.y <= body.max_y && polygon_point_push(body, point, &push)) {
            return j;
        }
    }
    return -1;
}

void move_body_to(int j, Vec2 point) {
    if (j < 0 || j >= sim.geom_count) return;
    RigidBody& body = sim.bodies[j];
    body.center = point;
    body.linear_velocity = Vec2{0.0f, 0.0f};
    body.angular_velocity = 0.0f;
    update_world_vertices(body);
}
