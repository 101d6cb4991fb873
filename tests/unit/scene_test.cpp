// What a scene adds to the fluid: lattice blocks, obstacles, the moving wall, emitters and
// drains, and the tools that change a running scene.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bodies/bodies.h"
#include "bodies/scene_bodies.h"
#include "config/config.h"
#include "config/scene.h"
#include "sph/physics_step.h"
#include "sph/scene_state.h"
#include "sph/sim_state.h"

namespace {

SceneDescription empty_scene() {
    SceneDescription d{};
    std::snprintf(d.name, sizeof d.name, "test");
    d.spacing = 0.5f;
    return d;
}

void add_rect(SceneDescription& d, float x0, float y0, float x1, float y1) {
    d.fluids[d.fluid_count++] = SceneFluid{false, x0, y0, x1, y1, 0.0f};
}

// Starts the scene with its lattice count; the settings are the defaults otherwise.
bool start(const SceneDescription& d, PhysConfig phys = default_phys_config()) {
    phys.geom_count = 0;
    phys.threads = 1;
    const int64_t sites =
        scene_lattice_sites(d, phys.smooth_radius, phys.field_size, nullptr, max_particle_count);
    if (sites <= 0) return false;
    phys.count = static_cast<int32_t>(sites);
    return sim_init_seeded(0, phys, 0.0f, 1u, &d);
}

void run(int steps) {
    for (int s = 0; s < steps; ++s)
        physics_step(nullptr);
}

bool inside(const RigidBody& outline, Vec2 p, Vec2* push) {
    return polygon_point_push(outline, p, push);
}

} // namespace

// Sites keep a lattice spacing apart, even where blocks overlap, and stay out of the walls,
// the obstacles and the bodies; the count asked for before the start is the count seeded.
TEST(Scene, LatticeSitesAreSpacedAndKeepOutOfSolids) {
    SceneDescription d = empty_scene();
    add_rect(d, 0.0f, 0.0f, 0.3f, 0.3f);
    add_rect(d, 0.2f, 0.1f, 0.5f, 0.25f); // overlaps the first
    d.fluids[d.fluid_count++] = SceneFluid{true, 0.7f, 0.7f, 0.0f, 0.0f, 0.12f};
    d.obstacles[0].corner_count = 3;
    d.obstacles[0].corners[0] = Vec2{0.05f, 0.05f};
    d.obstacles[0].corners[1] = Vec2{0.15f, 0.05f};
    d.obstacles[0].corners[2] = Vec2{0.1f, 0.2f};
    d.obstacle_count = 1;
    d.bodies[0] = SceneBody{0, 0.7f, 0.7f, 0.08f, 0.08f, 30.0f, 0.5f};
    d.body_count = 1;
    ASSERT_TRUE(start(d));
    ASSERT_GT(sim.count, 1000);
    const float s = 0.5f * sim.smooth_radius;
    std::vector<Vec2> p(sim.position, sim.position + sim.count);
    std::sort(p.begin(), p.end(), [](Vec2 a, Vec2 b) { return a.x < b.x; });
    float closest = 1.0f;
    for (size_t i = 0; i < p.size(); ++i) {
        for (size_t j = i + 1; j < p.size() && p[j].x - p[i].x < s; ++j)
            closest = std::min(closest, std::hypot(p[j].x - p[i].x, p[j].y - p[i].y));
    }
    // Sites of overlapping blocks are on different lattices, but never closer than half apart.
    EXPECT_GT(closest, 0.1f * s);
    Vec2 push;
    for (const Vec2 q : p) {
        EXPECT_TRUE(q.x > sim.smooth_radius && q.x < sim.field_size);
        EXPECT_TRUE(q.y > sim.smooth_radius && q.y < sim.field_size);
        EXPECT_FALSE(inside(scene.obstacles[0], q, &push));
        EXPECT_FALSE(inside(sim.bodies[0], q, &push));
    }
    EXPECT_EQ(scene_lattice_sites(d, sim.smooth_radius, sim.field_size, nullptr, 10), -1);
}

// A pool falling onto a fixed box: the box keeps the fluid out and stays where it is, while
// without it the fluid fills the same place.
TEST(Scene, ObstacleKeepsTheFluidOut) {
    SceneDescription d = empty_scene();
    add_rect(d, 0.3f, 0.5f, 0.7f, 0.7f);
    const Vec2 box[4] = {{0.35f, 0.0f}, {0.65f, 0.0f}, {0.65f, 0.2f}, {0.35f, 0.2f}};
    auto deep_inside = [&]() {
        // Particles more than half a smoothing radius inside the box.
        int deep = 0;
        const float h = sim.smooth_radius;
        const Vec2 lo = scene_point(SceneFrame{h, sim.field_size - h, 0.0f, 0.0f}, 0.35f, 0.0f);
        const Vec2 hi = scene_point(SceneFrame{h, sim.field_size - h, 0.0f, 0.0f}, 0.65f, 0.2f);
        for (int32_t i = 0; i < sim.count; ++i) {
            const Vec2 p = sim.position[i];
            if (p.x > lo.x + 0.5f * h && p.x < hi.x - 0.5f * h && p.y < hi.y - 0.5f * h) ++deep;
        }
        return deep;
    };
    ASSERT_TRUE(start(d));
    run(700);
    const int without = deep_inside();
    d.obstacle_count = 1;
    d.obstacles[0].corner_count = 4;
    std::memcpy(d.obstacles[0].corners, box, sizeof box);
    ASSERT_TRUE(start(d));
    const Vec2 centre = scene.obstacles[0].center;
    run(700);
    EXPECT_GT(without, 100);
    EXPECT_EQ(deep_inside(), 0);
    EXPECT_EQ(scene.obstacles[0].center.x, centre.x);
    EXPECT_EQ(scene.obstacles[0].center.y, centre.y);
    EXPECT_FALSE(sim.blown_up);
}

// The left wall moves in by the amplitude at half a period and back at a whole one; the pool
// it pushes piles up against the right wall, which a pool without it does not.
TEST(Scene, PistonMovesTheWallAndTheSurface) {
    SceneDescription d = empty_scene();
    add_rect(d, 0.0f, 0.0f, 1.0f, 0.2f);
    ASSERT_TRUE(start(d));
    run(400);
    auto right_height = []() {
        float top = 0.0f;
        for (int32_t i = 0; i < sim.count; ++i) {
            if (sim.position[i].x > 0.9f * sim.field_size) top = std::max(top, sim.position[i].y);
        }
        return top;
    };
    const float still = right_height();
    d.piston = ScenePiston{-1, 0.25f, 1.2f};
    ASSERT_TRUE(start(d));
    const float rest = scene.piston_wall;
    EXPECT_EQ(rest, sim.smooth_radius);
    const int half_period = static_cast<int>(0.6f / sim.timestep + 0.5f);
    float highest = 0.0f;
    for (int s = 0; s < half_period; ++s) {
        run(1);
        highest = std::max(highest, right_height());
    }
    const float amplitude = 0.25f * (sim.field_size - sim.smooth_radius);
    EXPECT_NEAR(scene.piston_wall - rest, amplitude, 0.01f * amplitude);
    for (int32_t i = 0; i < sim.count; ++i)
        EXPECT_GT(sim.position[i].x, scene.piston_wall - sim.smooth_radius);
    EXPECT_GT(highest, still + 2.0f * sim.smooth_radius);
    run(half_period);
    EXPECT_NEAR(scene.piston_wall, rest, 0.01f * amplitude);
    EXPECT_NEAR(scene.time, 2.0 * half_period * sim.timestep, 1e-9);
    EXPECT_FALSE(sim.blown_up);
}

// The fountain: a pool over a drain, an emitter jetting up. The count never changes, particles
// taken from the drain reappear at the mouth moving with the jet, and no more come out than the
// rate allows.
TEST(Scene, DrainFeedsTheEmitterAtItsRate) {
    SceneDescription d = empty_scene();
    add_rect(d, 0.0f, 0.0f, 1.0f, 0.15f);
    d.drains[d.drain_count++] = SceneDrain{0.0f, 0.0f, 1.0f, 0.05f};
    d.emitters[d.emitter_count++] = SceneEmitter{0.5f, 0.3f, 90.0f, 1.0f, 400.0f, 0.05f};
    ASSERT_TRUE(start(d));
    const int32_t count = sim.count;
    const Emitter e = scene.emitters[0];
    EXPECT_GT(e.slots, 1);
    const int steps = 200;
    int64_t seen = 0;
    for (int s = 0; s < steps; ++s) {
        std::vector<Vec2> before(sim.position, sim.position + sim.count);
        run(1);
        const int64_t moved = scene.recycled - seen;
        seen = scene.recycled;
        // Particles keep their places in the arrays only until the next sort, so look for the
        // emitted ones at the mouth: within half a row of it, moving up at the jet's speed.
        int64_t at_mouth = 0;
        for (int32_t i = 0; i < sim.count; ++i) {
            const Vec2 p = sim.position[i];
            if (std::fabs(p.y - e.mouth.y) < 1e-6f && sim.velocity[i].y == e.speed) ++at_mouth;
        }
        EXPECT_EQ(at_mouth, moved);
    }
    EXPECT_EQ(sim.count, count);
    EXPECT_GT(scene.recycled, 0);
    EXPECT_LE(static_cast<double>(scene.recycled), 400.0 * steps * sim.timestep + e.slots + 1.0);
    EXPECT_FALSE(sim.blown_up);
}

// A scene's body weighs its density times the fluid it displaces; the tools add, find, move and
// remove things between steps and refuse beyond their room.
TEST(Scene, BodiesAndTools) {
    SceneDescription d = empty_scene();
    add_rect(d, 0.0f, 0.0f, 1.0f, 0.1f);
    d.bodies[0] = SceneBody{0, 0.3f, 0.5f, 0.1f, 0.1f, 0.0f, 0.5f};
    d.bodies[1] = SceneBody{0, 0.7f, 0.5f, 0.1f, 0.1f, 0.0f, 2.0f};
    d.body_count = 2;
    ASSERT_TRUE(start(d));
    ASSERT_EQ(sim.geom_count, 2);
    EXPECT_FLOAT_EQ(sim.bodies[1].body_mass / sim.bodies[0].body_mass, 4.0f);
    EXPECT_FLOAT_EQ(sim.bodies[1].inertia / sim.bodies[0].inertia, 4.0f);

    const Vec2 middle{0.5f * sim.field_size, 0.6f * sim.field_size};
    EXPECT_EQ(body_at(middle), -1);
    const Vec2 on_first = sim.bodies[0].center;
    EXPECT_EQ(body_at(on_first), 0);
    move_body_to(0, middle);
    EXPECT_EQ(body_at(middle), 0);
    EXPECT_EQ(body_at(on_first), -1);

    int dropped = 0;
    while (drop_body_at(Vec2{0.2f, 0.6f}))
        ++dropped;
    EXPECT_EQ(dropped, dropped_body_room);
    EXPECT_EQ(sim.geom_count, 2 + dropped_body_room);

    const float h = sim.smooth_radius;
    EXPECT_TRUE(add_stroke_obstacle(Vec2{0.2f, 0.3f}, Vec2{0.4f, 0.3f}, h));
    EXPECT_TRUE(add_stroke_obstacle(Vec2{0.4f, 0.3f}, Vec2{0.4f, 0.5f}, h));
    EXPECT_FALSE(add_stroke_obstacle(Vec2{0.4f, 0.5f}, Vec2{0.4f, 0.5f}, h));
    ASSERT_EQ(scene.obstacle_count, 2);
    Vec2 push;
    EXPECT_TRUE(polygon_point_push(scene.obstacles[0], Vec2{0.3f, 0.3f + 0.4f * h}, &push));
    EXPECT_FALSE(polygon_point_push(scene.obstacles[0], Vec2{0.3f, 0.3f + 0.6f * h}, &push));
    EXPECT_EQ(erase_obstacles_near(Vec2{0.3f, 0.35f}, 0.02f), 0);
    EXPECT_EQ(erase_obstacles_near(Vec2{0.3f, 0.31f}, 0.02f), 1);
    EXPECT_EQ(scene.obstacle_count, 1);
    EXPECT_TRUE(polygon_point_push(scene.obstacles[0], Vec2{0.4f, 0.45f}, &push));
    run(50);
    EXPECT_FALSE(sim.blown_up);
}
