// Solver 1, water: its kernel, that a pool keeps its volume and its walls, that the step gives
// the same state at every thread count, and that bodies float or sink by their density.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "bodies/world_vertices.h"
#include "config/config.h"
#include "config/scene.h"
#include "sph/physics_step.h"
#include "sph/scene_state.h"
#include "sph/sim_state.h"
#include "sph/steps.h"
#include "sph/water.h"

namespace {

// Solver 1 in a box 0.3 wide with the scene `d`.
bool start_scene(SceneDescription& d, int threads, float gravity = -9.8f, int iterations = 4) {
    PhysConfig phys = default_phys_config();
    phys.field_size = 0.3f;
    phys.geom_count = 0;
    phys.threads = threads;
    phys.solver = 1;
    phys.gravity = gravity;
    phys.water_iterations = iterations;
    const int64_t sites =
        scene_lattice_sites(d, phys.smooth_radius, phys.field_size, nullptr, max_particle_count);
    phys.count = static_cast<int32_t>(sites);
    return sites > 0 && sim_init_seeded(1, phys, 0.002f, 7u, &d);
}

// A pool the width of the box and `depth` deep.
SceneDescription pool_scene(float depth) {
    SceneDescription d{};
    std::snprintf(d.name, sizeof d.name, "pool");
    d.spacing = 0.5f;
    d.fluids[d.fluid_count++] = SceneFluid{false, 0.0f, 0.0f, 1.0f, depth, 0.0f};
    return d;
}

// The pool with the given bodies.
bool start_pool(float depth, int threads, const SceneBody* bodies = nullptr, int body_count = 0) {
    SceneDescription d = pool_scene(depth);
    for (int k = 0; k < body_count; ++k)
        d.bodies[d.body_count++] = bodies[k];
    return start_scene(d, threads);
}

void run(int steps) {
    for (int s = 0; s < steps && !sim.blown_up; ++s)
        physics_step(nullptr);
}

} // namespace

// The kernel integrates to one over the plane and its slope is the derivative of its value.
TEST(Water, KernelIsNormalisedInTwoDimensions) {
    const float h = 0.01f;
    double integral = 0.0;
    const int rings = 4000;
    for (int k = 0; k < rings; ++k) {
        const double r = (k + 0.5) * h / rings;
        integral +=
            water_kernel(static_cast<float>(r), h) * 2.0 * 3.141592653589793 * r * h / rings;
    }
    EXPECT_NEAR(integral, 1.0, 1e-4);
    for (const float q : {0.1f, 0.3f, 0.5f, 0.7f, 0.9f}) {
        const float r = q * h;
        const float e = 1e-3f * h;
        const double numeric = (water_kernel(r + e, h) - water_kernel(r - e, h)) / (2.0 * e);
        EXPECT_NEAR(water_kernel_slope(r, h), numeric, 2e-3 * std::fabs(numeric)) << q;
    }
    EXPECT_EQ(water_kernel(h, h), 0.0f);
}

// Every other pressure iteration moves the density on by its first-order change instead of
// summing the kernel afresh: for small moves the two must agree up to the square of the move,
// for a particle among jittered lattice neighbours whose moves all differ.
TEST(Water, FirstOrderDensityChangeFollowsTheKernelSums) {
    const float h = 0.01f;
    const float spacing = 0.5f * h;
    std::vector<Vec2> x;
    for (int y = -2; y <= 2; ++y)
        for (int k = -2; k <= 2; ++k)
            x.push_back(Vec2{k * spacing + 0.13f * spacing * std::sin(3.0f * k + 7.0f * y),
                             y * spacing + 0.11f * spacing * std::cos(5.0f * k - 2.0f * y)});
    const size_t centre = x.size() / 2;
    std::vector<uint16_t> list;
    std::vector<Vec2> grad; // V grad_i W with V = 1
    for (size_t j = 0; j < x.size(); ++j) {
        const float dx = x[centre].x - x[j].x;
        const float dy = x[centre].y - x[j].y;
        const float r = std::sqrt(dx * dx + dy * dy);
        if (j == centre || r >= h) continue;
        list.push_back(static_cast<uint16_t>(j));
        const float f = water_kernel_slope(r, h) / r;
        grad.push_back(Vec2{f * dx, f * dy});
    }
    ASSERT_GE(list.size(), 10u);
    auto kernel_sum = [&](float scale) {
        double sum = 0.0;
        for (const uint16_t j : list) {
            const double dx = (x[centre].x + scale * std::cos(1.0 * centre)) -
                              (x[j].x + scale * std::cos(1.0 * j));
            const double dy = (x[centre].y + scale * std::sin(2.0 * centre)) -
                              (x[j].y + scale * std::sin(2.0 * j));
            sum += water_kernel(static_cast<float>(std::sqrt(dx * dx + dy * dy)), h);
        }
        return sum;
    };
    double error_before = 0.0;
    for (const float move : {0.005f * spacing, 0.0025f * spacing}) {
        std::vector<Vec2> moved(x.size());
        for (size_t j = 0; j < x.size(); ++j)
            moved[j] = Vec2{move * static_cast<float>(std::cos(1.0 * j)),
                            move * static_cast<float>(std::sin(2.0 * j))};
        const double exact = kernel_sum(move) - kernel_sum(0.0f);
        const float change = water_density_change(moved[centre], moved.data(), list.data(),
                                                  grad.data(), static_cast<int>(list.size()));
        const double error = std::fabs(change - exact);
        EXPECT_LT(error, 0.05 * std::fabs(exact)) << move;
        if (error_before > 0.0) {
            EXPECT_LT(error, 0.4 * error_before) << move;
        }
        error_before = error;
    }
}

// A pool a fifth of the box deep settles without losing volume: the particles' mean density
// stays at the rest density within a few per cent, its surface at its starting height, and
// every particle inside the walls. Any thread count gives the same state.
TEST(Water, PoolKeepsItsVolumeAndItsWalls) {
    ASSERT_TRUE(start_pool(0.2f, 1));
    const float h = sim.smooth_radius;
    const float top_start = h + 0.2f * (sim.field_size - h);
    run(400);
    ASSERT_FALSE(sim.blown_up);
    double ratio = 0.0;
    float highest = 0.0f;
    int32_t deep = 0;
    for (int32_t i = 0; i < sim.count; ++i) {
        const Vec2 p = sim.position[i];
        EXPECT_TRUE(p.x >= h && p.x <= sim.field_size && p.y >= h && p.y <= sim.field_size);
        highest = std::max(highest, p.y);
        if (p.y < top_start - 3.0f * h) {
            ratio += 1.0 / (sim.density_pressure[i].x * sim.rest_density);
            ++deep;
        }
    }
    ASSERT_GT(deep, 100);
    EXPECT_NEAR(ratio / deep, 1.0, 0.03);
    EXPECT_NEAR(highest, top_start, 2.0f * h);

    std::vector<Vec2> one(sim.position, sim.position + sim.count);
    for (const int threads : {2, 3}) {
        ASSERT_TRUE(start_pool(0.2f, threads));
        run(400);
        EXPECT_EQ(std::memcmp(one.data(), sim.position, one.size() * sizeof(Vec2)), 0)
            << threads << " threads";
    }
}

// The boundary is kept from step to step while nothing in it moves; an obstacle drawn into the
// pool mid-run must still push the fluid out of it at once, and one erased must leave the walls'
// boundary as it was.
TEST(Water, ObstaclesDrawnOrErasedMidRunChangeTheBoundary) {
    ASSERT_TRUE(start_pool(0.3f, 1));
    const float h = sim.smooth_radius;
    run(20);
    const int32_t walls = water.boundary_count;
    const Vec2 a{0.1f, 0.05f};
    const Vec2 b{0.2f, 0.05f};
    const float thickness = 4.0f * h;
    ASSERT_TRUE(add_stroke_obstacle(a, b, thickness));
    run(150);
    ASSERT_FALSE(sim.blown_up);
    EXPECT_GT(water.boundary_count, walls);
    int32_t inside = 0;
    for (int32_t i = 0; i < sim.count; ++i) {
        const Vec2 p = sim.position[i];
        // Well within the stroke: more than half a lattice spacing from its edges.
        if (p.x > a.x && p.x < b.x && std::fabs(p.y - a.y) < 0.5f * thickness - 0.25f * h) ++inside;
    }
    EXPECT_EQ(inside, 0);
    EXPECT_EQ(erase_obstacles_near(Vec2{0.15f, 0.05f}, h), 1);
    run(1);
    EXPECT_EQ(water.boundary_count, walls);
}

// How far boundary particle b lies inside its body's outline (negative: outside).
float depth_inside(const BoundaryParticle& b) {
    const RigidBody& body = sim.bodies[b.body];
    const int n = stored_vertex_count(body);
    float depth = 1e9f;
    float turn = 0.0f; // the outline's orientation, from its signed area
    for (int k = 0; k < n; ++k) {
        const Vec2 p = body.world_vertices[k];
        const Vec2 q = body.world_vertices[(k + 1) % n];
        turn += p.x * q.y - q.x * p.y;
    }
    for (int k = 0; k < n; ++k) {
        const Vec2 p = body.world_vertices[k];
        const Vec2 q = body.world_vertices[(k + 1) % n];
        const float len = std::hypot(q.x - p.x, q.y - p.y);
        const float cross = (q.x - p.x) * (b.position.y - p.y) - (q.y - p.y) * (b.position.x - p.x);
        depth = std::min(depth, (turn > 0.0f ? cross : -cross) / len);
    }
    return depth;
}

// A block half as dense as the water floats at the surface; one twice as dense goes to the
// floor. While they plunge in, the fluid's reaction moves them within the pressure iterations,
// and their boundary particles move with them: at the end of a step each lies half a lattice
// spacing inside its body's outline, where the next sub-step samples it.
TEST(Water, LightBodiesFloatHeavyOnesSink) {
    const SceneBody bodies[2] = {{0, 0.3f, 0.42f, 0.15f, 0.15f, 10.0f, 0.5f},
                                 {0, 0.7f, 0.42f, 0.15f, 0.15f, 0.0f, 2.0f}};
    ASSERT_TRUE(start_pool(0.35f, 1, bodies, 2));
    ASSERT_EQ(sim.geom_count, 2);
    float moved_most = 0.0f;
    for (int step = 0; step < 80; ++step) {
        run(1);
        for (int j = 0; j < 2; ++j) {
            const BodyMove& m = water.body_move[j];
            moved_most = std::max({moved_most, std::fabs(m.to.x - m.from.x),
                                   std::fabs(m.to.y - m.from.y), std::fabs(m.sin) * 0.05f});
        }
        for (int32_t k = 0; k < water.boundary_count; ++k) {
            const BoundaryParticle& b = water.boundary[k];
            if (b.body < 0) continue;
            ASSERT_NEAR(depth_inside(b), 0.5f * water.spacing, 5e-7f)
                << "step " << step << " body " << b.body;
        }
    }
    // The check above means something only if the last iterations moved the bodies by more
    // than its tolerance.
    EXPECT_GT(moved_most, 2e-6f);
    run(1120);
    ASSERT_FALSE(sim.blown_up);
    const float h = sim.smooth_radius;
    const float side = 0.15f * (sim.field_size - h);
    const float surface = h + 0.35f * (sim.field_size - h);
    EXPECT_GT(sim.bodies[0].center.y, surface - side);
    EXPECT_LT(sim.bodies[1].center.y, h + side);
}

// Without gravity or walls in reach, a light block inside a squeezed and pushed disc of water
// takes exactly the momentum the water loses: the fluid's corrections against the block's
// boundary particles push the block back with the multipliers that moved the fluid.
TEST(Water, BodyAndWaterKeepTheirMomentumTogether) {
    SceneDescription d{};
    std::snprintf(d.name, sizeof d.name, "disc with a block");
    d.spacing = 0.5f;
    d.fluids[d.fluid_count++] = SceneFluid{true, 0.5f, 0.5f, 0.0f, 0.0f, 0.25f};
    d.bodies[d.body_count++] = SceneBody{0, 0.55f, 0.5f, 0.12f, 0.12f, 20.0f, 0.5f};
    ASSERT_TRUE(start_scene(d, 2, 0.0f));
    ASSERT_EQ(sim.geom_count, 1);
    const float c = 0.5f * sim.field_size;
    for (int32_t i = 0; i < sim.count; ++i) {
        const Vec2 r{sim.position[i].x - c, sim.position[i].y - c};
        sim.velocity[i] = Vec2{0.1f - 2.0f * r.x, 0.5f * r.y};
    }
    auto momentum = [] {
        double px = 0.0;
        double py = 0.0;
        for (int32_t i = 0; i < sim.count; ++i) {
            px += static_cast<double>(water.particle_mass) * sim.velocity[i].x;
            py += static_cast<double>(water.particle_mass) * sim.velocity[i].y;
        }
        px += static_cast<double>(water.body_mass[0]) * sim.bodies[0].linear_velocity.x;
        py += static_cast<double>(water.body_mass[0]) * sim.bodies[0].linear_velocity.y;
        return Vec2{static_cast<float>(px), static_cast<float>(py)};
    };
    const Vec2 before = momentum();
    const float scale = water.particle_mass * static_cast<float>(sim.count) * 0.1f;
    float block_most = 0.0f;
    for (int step = 0; step < 200; ++step) {
        run(1);
        block_most = std::max(block_most, std::fabs(sim.bodies[0].linear_velocity.x));
    }
    ASSERT_FALSE(sim.blown_up);
    // The block must have been pushed about for the balance to mean something.
    EXPECT_GT(block_most, 0.05f);
    const Vec2 after = momentum();
    EXPECT_NEAR(after.x, before.x, 1e-3f * scale);
    EXPECT_NEAR(after.y, before.y, 1e-3f * scale);
}

// In a pool at rest the pressure the solver holds the water up with grows with depth as
// rho g d. The pressure of a particle is what its multipliers moved it by in the last sub-step,
// p = -relaxation * (sum of lambda) * rest_density / dt^2 (lambda is a displacement over the
// kernel gradient; an SPH pressure p moves a particle by p dt^2 / rest_density over the same).
TEST(Water, PressureGrowsWithDepthAsRhoGH) {
    ASSERT_TRUE(start_pool(0.4f, 1));
    run(600);
    ASSERT_FALSE(sim.blown_up);
    ASSERT_GT(water.pressure_dt, 0.0f);
    float top = 0.0f;
    for (int32_t i = 0; i < sim.count; ++i)
        top = std::max(top, sim.position[i].y);
    // Least squares through the origin of p against depth, over the particles two smoothing
    // radii from the surface and the walls (where the lattice's edge rows stand).
    const float h = sim.smooth_radius;
    const double dt = water.pressure_dt;
    double pd = 0.0;
    double dd = 0.0;
    int32_t used = 0;
    for (int32_t i = 0; i < sim.count; ++i) {
        const Vec2 p = sim.position[i];
        const double depth = top - p.y;
        if (depth < 2.0 * h || p.y < 3.0 * h || p.x < 3.0 * h || p.x > sim.field_size - 2.0 * h)
            continue;
        const double pressure =
            -water_relaxation * water.pressure[i] * sim.rest_density / (dt * dt);
        pd += pressure * depth;
        dd += depth * depth;
        ++used;
    }
    ASSERT_GT(used, 500);
    const double slope = pd / dd;
    const double want = sim.rest_density * 9.8;
    EXPECT_NEAR(slope, want, 0.25 * want) << "pressure per unit depth";
}

// Each iteration more leaves the deep water of a pool at rest less compressed, from the fewest
// the setting allows (which must still hold the pool up) to more than the default.
TEST(Water, MoreIterationsCompressLess) {
    double before = 0.0;
    for (const int iterations : {water_fewest_iterations, 4, 6}) {
        SceneDescription d = pool_scene(0.4f);
        ASSERT_TRUE(start_scene(d, 1, -9.8f, iterations));
        run(600);
        ASSERT_FALSE(sim.blown_up) << iterations;
        const float h = sim.smooth_radius;
        float top = 0.0f;
        for (int32_t i = 0; i < sim.count; ++i)
            top = std::max(top, sim.position[i].y);
        double over = 0.0; // the mean compression of the water more than 3 h deep
        int32_t deep = 0;
        for (int32_t i = 0; i < sim.count; ++i) {
            if (sim.position[i].y > top - 3.0f * h) continue;
            over += 1.0 / (sim.density_pressure[i].x * sim.rest_density) - 1.0;
            ++deep;
        }
        ASSERT_GT(deep, 500);
        over /= deep;
        EXPECT_LT(over, 0.03) << iterations << " iterations";
        if (iterations != water_fewest_iterations) {
            EXPECT_LT(over, before) << iterations << " iterations";
        }
        before = over;
    }
}

// Without gravity a block keeps its area, and one that is squeezed from the sides and given a
// push keeps its momentum (the pair corrections and the viscosity are equal and opposite pair by
// pair) and stays in the box.
TEST(Water, FreeBlockKeepsAreaAndMomentum) {
    SceneDescription d{};
    std::snprintf(d.name, sizeof d.name, "block");
    d.spacing = 0.5f;
    d.fluids[d.fluid_count++] = SceneFluid{true, 0.4f, 0.5f, 0.0f, 0.0f, 0.2f};
    auto centre = [] {
        Vec2 c{0.0f, 0.0f};
        for (int32_t i = 0; i < sim.count; ++i) {
            c.x += sim.position[i].x / static_cast<float>(sim.count);
            c.y += sim.position[i].y / static_cast<float>(sim.count);
        }
        return c;
    };
    // The mean squared distance from the centre, which grows with the block's area.
    auto spread = [&] {
        const Vec2 c = centre();
        double r2 = 0.0;
        for (int32_t i = 0; i < sim.count; ++i) {
            const double dx = sim.position[i].x - c.x;
            const double dy = sim.position[i].y - c.y;
            r2 += dx * dx + dy * dy;
        }
        return r2 / sim.count;
    };
    ASSERT_TRUE(start_scene(d, 1, 0.0f));
    const double spread_start = spread();
    run(600);
    ASSERT_FALSE(sim.blown_up);
    EXPECT_NEAR(spread() / spread_start, 1.0, 0.03);

    ASSERT_TRUE(start_scene(d, 2, 0.0f));
    const Vec2 c = centre();
    for (int32_t i = 0; i < sim.count; ++i) {
        const Vec2 r{sim.position[i].x - c.x, sim.position[i].y - c.y};
        sim.velocity[i] = Vec2{0.05f - 2.0f * r.x, 0.5f * r.y};
    }
    auto momentum = [&] {
        double px = 0.0;
        double py = 0.0;
        for (int32_t i = 0; i < sim.count; ++i) {
            px += sim.velocity[i].x;
            py += sim.velocity[i].y;
        }
        return Vec2{static_cast<float>(px / sim.count), static_cast<float>(py / sim.count)};
    };
    const Vec2 before = momentum();
    run(300);
    ASSERT_FALSE(sim.blown_up);
    const Vec2 after = momentum();
    EXPECT_NEAR(after.x, before.x, 1e-4f);
    EXPECT_NEAR(after.y, before.y, 1e-4f);
    for (int32_t i = 0; i < sim.count; ++i) {
        const Vec2 p = sim.position[i];
        ASSERT_TRUE(p.x >= sim.smooth_radius && p.x <= sim.field_size && p.y >= sim.smooth_radius &&
                    p.y <= sim.field_size)
            << i;
    }
}

// Each particle's list against a search of every pair: after some flow, and with a crowd of 60
// particles squeezed into a quarter of a smoothing radius, whose lists overflow. A list holds
// only particles within h, never the particle itself, in ascending index, every one of them
// while there is room; the lists of two lanes never overlap.
TEST(Water, ListsHoldEveryNeighbourInOrder) {
    ASSERT_TRUE(start_pool(0.2f, 2));
    run(40);
    ASSERT_FALSE(sim.blown_up);
    const float h2 = sim.smooth_radius * sim.smooth_radius;
    auto search = [&] {
        compute_cell_keys();
        sort_cell_keys();
        reorder_particles();
        fill_cell_grid();
        std::memset(water.near_count, 0, static_cast<size_t>(sim.count));
        find_water_neighbours();
    };
    // Counts the lists that overflowed into *overflowing.
    auto check = [&](const char* when, int* overflowing) {
        std::vector<int32_t> order(static_cast<size_t>(sim.count));
        for (int32_t i = 0; i < sim.count; ++i)
            order[static_cast<size_t>(i)] = i;
        std::sort(order.begin(), order.end(),
                  [](int32_t a, int32_t b) { return water.near_first[a] < water.near_first[b]; });
        *overflowing = 0;
        for (size_t k = 0; k < order.size(); ++k) {
            const int32_t i = order[k];
            const int c = water.near_count[i];
            if (c == 0) continue;
            if (k + 1 < order.size() && water.near_count[order[k + 1]] != 0) {
                ASSERT_LE(water.near_first[i] + c, water.near_first[order[k + 1]]) << when << i;
            }
            std::vector<int32_t> all;
            for (int32_t j = 0; j < sim.count; ++j) {
                const float dx = sim.position[i].x - sim.position[j].x;
                const float dy = sim.position[i].y - sim.position[j].y;
                if (j != i && dy * dy + dx * dx < h2) all.push_back(j);
            }
            const uint16_t* list = water.near + water.near_first[i];
            std::vector<int32_t> got(list, list + c);
            ASSERT_TRUE(std::is_sorted(got.begin(), got.end())) << when << i;
            if (all.size() <= static_cast<size_t>(water_neighbour_slots)) {
                ASSERT_EQ(got, all) << when << " particle " << i;
            } else {
                ++*overflowing;
                ASSERT_EQ(c, water_neighbour_slots) << when << i;
                for (const int32_t j : got)
                    ASSERT_TRUE(std::binary_search(all.begin(), all.end(), j)) << when << i;
            }
        }
    };
    int overflowing = -1;
    search();
    check("after flow: ", &overflowing);
    EXPECT_EQ(overflowing, 0);
    ASSERT_GT(sim.grid.lanes, 1);

    const float h = sim.smooth_radius;
    for (int32_t i = 0; i < 60; ++i) {
        const float a = 0.1f * static_cast<float>(i);
        sim.position[i] = Vec2{0.15f + 0.25f * h * std::cos(a) * static_cast<float>(i % 7) / 7.0f,
                               0.1f + 0.25f * h * std::sin(a) * static_cast<float>(i % 5) / 5.0f};
    }
    search();
    check("in a crowd: ", &overflowing);
    EXPECT_GE(overflowing, 60);

    // Every particle in one crowd, 0.095 smoothing radii apart (at most 121 to a cell, all
    // kept): every list overflows, so a lane's block has no room to spare at its end, where
    // the search cannot write its candidates straight into the lists.
    const int32_t side = static_cast<int32_t>(std::sqrt(static_cast<float>(sim.count))) + 1;
    for (int32_t i = 0; i < sim.count; ++i)
        sim.position[i] = Vec2{0.1f + 0.095f * h * static_cast<float>(i % side),
                               0.1f + 0.095f * h * static_cast<float>(i / side)};
    search();
    ASSERT_TRUE(sim.grid.holds_all_in_order);
    check("all in a crowd: ", &overflowing);
    EXPECT_EQ(overflowing, sim.count);
    // The same with one particle outside the grid, in no bucket: the search gathers each
    // cell's stencil instead of reading the particles in place.
    sim.position[sim.count / 2] = Vec2{-1.0f, -1.0f};
    search();
    ASSERT_FALSE(sim.grid.holds_all_in_order);
    check("all in a crowd, one outside: ", &overflowing);
    EXPECT_EQ(overflowing, sim.count - 1);
}
