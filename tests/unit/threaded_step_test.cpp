// Every thread count gives the single-threaded state bit for bit: the seeded scenes run at 1,
// 2, 3 and 7 threads (7 is more than most machines have cores, so lanes interleave on a core
// and wait on lanes that are not running) and every array, the neighbour lists, the grid, the
// body records and the outline are compared after the last step.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/workers.h"
#include "config/config.h"
#include "config/fixups.h"
#include "sph/physics_step.h"
#include "sph/sim_state.h"
#include "sph/steps.h"
#include "surface/surface.h"

namespace {

struct Scene {
    const char* name;
    int32_t point_colors;
    int32_t render_type;
    int32_t count;
    int32_t geom_count;
    uint32_t seed;
    int steps;
    bool stir;
    bool outline;
};

// Steps per scene; TARNWELL_THREAD_TEST_STEPS scales them down for slow (sanitizer) builds.
int steps_for(const Scene& scene) {
    const char* text = std::getenv("TARNWELL_THREAD_TEST_STEPS");
    const int cap = text != nullptr ? std::atoi(text) : 0;
    return cap > 0 && cap < scene.steps ? cap : scene.steps;
}

// Raw bytes of everything a step leaves behind that a later step, the drawing or a dump reads.
struct Snapshot {
    std::vector<std::string> parts;
    std::vector<std::string> names;

    void add(const char* name, const void* data, size_t bytes) {
        names.push_back(name);
        parts.emplace_back(static_cast<const char*>(data), bytes);
    }
};

Snapshot take_snapshot() {
    Snapshot s;
    const size_t n = static_cast<size_t>(sim.count);
    s.add("position", sim.position, n * sizeof(Vec2));
    s.add("velocity", sim.velocity, n * sizeof(Vec2));
    s.add("velocity_eval", sim.velocity_eval, n * sizeof(Vec2));
    s.add("force", sim.force, n * sizeof(Vec2));
    s.add("density_pressure", sim.density_pressure, n * sizeof(Vec2));
    if (sim.color != nullptr) s.add("color", sim.color, n * sizeof(Color3));
    s.add("sort_keys", sim.sort_keys, n * sizeof(SortKey));
    s.add("bodies", sim.bodies, static_cast<size_t>(sim.geom_count) * sizeof(RigidBody));
    s.add("cell_fill", sim.grid.cell_fill, static_cast<size_t>(sim.cell_count) * sizeof(uint16_t));
    // Only the used slots of each bucket mean anything.
    std::string buckets;
    for (int32_t k = 0; k < sim.cell_count; ++k) {
        buckets.append(reinterpret_cast<const char*>(sim.grid.buckets +
                                                     static_cast<size_t>(k) * cell_capacity),
                       sim.grid.cell_fill[k] * sizeof(uint16_t));
    }
    s.add("buckets", buckets.data(), buckets.size());
    // The lists as lists: where each lies in the block depends on the lanes of the search.
    std::string lists;
    for (int32_t p = 0; p < sim.count; ++p) {
        const uint16_t c = sim.neighbours.neighbour_count[p];
        lists.append(reinterpret_cast<const char*>(&c), sizeof c);
        for (uint16_t k = 0; k < c; ++k) {
            const NeighbourEntry& e = sim.neighbours.entries[sim.neighbours.first_entry[p] + k];
            lists.append(reinterpret_cast<const char*>(&e.index), sizeof e.index);
            lists.append(reinterpret_cast<const char*>(&e.dist_sq), sizeof e.dist_sq);
        }
    }
    s.add("neighbour lists", lists.data(), lists.size());
    if (surface_grid != nullptr) {
        const int32_t v = surface_grid->line_vertex_count;
        s.add("line vertex count", &v, sizeof v);
        s.add("line vertices", surface_line_vertices(surface_grid),
              static_cast<size_t>(v) * sizeof(Vec2));
        const size_t samples =
            static_cast<size_t>(surface_grid->resolution + 1) * (surface_grid->resolution + 1);
        s.add("surface samples", surface_samples(surface_grid), samples * sizeof(float));
    }
    return s;
}

// before_step(step), when given, runs before each step.
Snapshot run_scene(const Scene& scene, int threads,
                   const std::function<void(int)>& before_step = nullptr) {
    GraphConfig graph;
    load_graph_config(&graph, "");
    PhysConfig phys = default_phys_config();
    graph.point_colors = scene.point_colors;
    graph.render_type = scene.render_type;
    phys.count = scene.count;
    phys.geom_count = scene.geom_count;
    phys.threads = threads;
    apply_fixups(graph, phys);
    Snapshot s;
    if (!sim_init_seeded(graph.point_colors, phys, graph.point_diffusion, scene.seed)) {
        ADD_FAILURE() << scene.name << ": sim_init_seeded refused the scene";
        return s;
    }
    EXPECT_EQ(worker_threads(), threads) << scene.name;
    if (scene.outline) {
        EXPECT_TRUE(create_surface_grid(graph.surf_radius, graph.surf_resolution, phys.field_size,
                                        sim.position, sim.count));
    }
    StepProfile profile{};
    const int steps = steps_for(scene);
    int pipelined_steps = 0;
    for (int step = 0; step < steps; ++step) {
        if (before_step) before_step(step);
        physics_step(&profile);
        pipelined_steps += sim.grid.rows_pipelined ? 1 : 0;
        // Pull towards the middle, then push from the lower left, as a user would stir.
        if (scene.stir) {
            if (step % 200 < 100)
                apply_mouse_force(0.4f, 0.3f, 1.0f);
            else
                apply_mouse_force(0.2f, 0.15f, -1.0f);
        }
        if (scene.outline) update_surface();
    }
    // Otherwise the comparison would only show that the sequential fallback is sequential.
    EXPECT_GT(pipelined_steps, steps / 2) << scene.name << ": the pair walks rarely ran in rows";
    s = take_snapshot();
    release_surface_grid();
    sim_free();
    return s;
}

void expect_same(const Scene& scene, int threads, const Snapshot& one, const Snapshot& many) {
    ASSERT_EQ(one.parts.size(), many.parts.size()) << scene.name;
    for (size_t k = 0; k < one.parts.size(); ++k) {
        EXPECT_TRUE(one.parts[k] == many.parts[k])
            << scene.name << ": " << one.names[k] << " at " << threads
            << " threads differs from the single-threaded run";
    }
}

void check_scene(const Scene& scene) {
    const Snapshot one = run_scene(scene, 1);
    for (const int threads : {2, 3, 7})
        expect_same(scene, threads, one, run_scene(scene, threads));
}

TEST(ThreadedStep, DefaultsWithStirringAndTwoBodies) {
    check_scene({"defaults, stirred", 1, 0, 10000, 2, 7u, 600, true, false});
}

TEST(ThreadedStep, DensityColours) {
    check_scene({"density colours", 2, 0, 10000, 2, 9u, 400, false, false});
}

TEST(ThreadedStep, TenBodies) {
    check_scene({"ten bodies", 1, 0, 10000, 10, 10u, 600, false, false});
}

TEST(ThreadedStep, MostParticlesFewSteps) {
    check_scene({"65536 particles", 1, 0, 65536, 2, 12u, 5, false, false});
}

TEST(ThreadedStep, OutlineMode) {
    check_scene({"outline mode", 1, 1, 10000, 2, 11u, 400, true, true});
}

// Particles far outside the box sit in cells whose linear keys fold into other rows, and the
// last column of cells is occupied: pairs then join cells that are not neighbours in the plane,
// so the rows may not run in a pipeline and the step must notice and keep the sequential order.
TEST(ThreadedStep, EscapedParticlesStillGiveTheSameBits) {
    const auto run = [](int threads, bool* pipelined) {
        PhysConfig phys = default_phys_config();
        phys.count = 6000;
        phys.geom_count = 0;
        phys.threads = threads;
        EXPECT_TRUE(sim_init_seeded(1, phys, 0.002f, 5u));
        const float h = sim.smooth_radius;
        // A clump straddling the left edge of the grid (columns -2 .. 0, folded into the last
        // columns of the rows below) and one in the last column, beyond the right wall.
        for (int32_t i = 0; i < 200; ++i) {
            const float t = static_cast<float>(i) / 200.0f;
            sim.position[i] = Vec2{-2.0f * h + 2.5f * h * t, 0.2f + 0.05f * t};
            sim.position[200 + i] = Vec2{sim.field_size + 1.3f * h, 0.3f + 0.04f * t};
        }
        StepProfile profile{};
        physics_step(&profile);
        *pipelined = sim.grid.rows_pipelined;
        for (int step = 1; step < 20; ++step)
            physics_step(&profile);
        Snapshot s = take_snapshot();
        sim_free();
        return s;
    };
    bool pipelined_one = true;
    bool pipelined_many = true;
    const Snapshot one = run(1, &pipelined_one);
    const Snapshot many = run(3, &pipelined_many);
    EXPECT_FALSE(pipelined_many) << "the last column is occupied";
    expect_same({"escaped particles", 1, 0, 6000, 0, 5u, 20, false, false}, 3, one, many);
}

// Threads the pool actually runs: 0 asks for one per core, and requests beyond the cap are cut.
TEST(ThreadedStep, PoolSizes) {
    start_workers(3);
    EXPECT_EQ(worker_threads(), 3);
    EXPECT_EQ(pool_threads(), 3);
    use_threads(2);
    EXPECT_EQ(worker_threads(), 2);
    use_threads(0);
    EXPECT_EQ(worker_threads(), 1);
    use_threads(9);
    EXPECT_EQ(worker_threads(), 3);
    start_workers(max_threads + 50);
    EXPECT_EQ(worker_threads(), max_threads);
    start_workers(0);
    EXPECT_GE(worker_threads(), 1);
    EXPECT_LE(worker_threads(), pool_threads());
    stop_workers();
    EXPECT_EQ(worker_threads(), 1);
    EXPECT_EQ(pool_threads(), 1);
}

// The count the program picks for itself changes between steps while the fluid flows; any
// sequence of counts must give the bits of one thread. Counts below the pool's leave helpers
// out of dispatches, which then must neither run lanes nor be waited for.
TEST(ThreadedStep, CountChangingBetweenStepsGivesTheSameBits) {
    const Scene scene{"changing counts", 1, 0, 10000, 2, 13u, 300, true, false};
    const Snapshot one = run_scene(scene, 1);
    const int counts[] = {7, 1, 2, 3, 1, 7, 2, 5};
    expect_same(scene, 7, one,
                run_scene(scene, 7, [&](int step) { use_threads(counts[step % 8]); }));
}

// Lanes beyond the thread count all run, each exactly once.
TEST(ThreadedStep, EveryLaneRunsOnce) {
    start_workers(3);
    for (const int lanes : {1, 2, 3, 8, 257}) {
        std::vector<int> runs(static_cast<size_t>(lanes), 0);
        run_lanes(lanes, [&](int lane) { ++runs[static_cast<size_t>(lane)]; });
        for (int k = 0; k < lanes; ++k)
            EXPECT_EQ(runs[static_cast<size_t>(k)], 1) << k;
    }
    // Each thread first works through its own block of lanes; one held up on its first lane
    // has the rest of its block taken from the back by the others, each lane still once. On a
    // busy machine the caller may wake so late that the helpers have taken its whole block
    // already, which shows nothing: then the dispatch is tried again.
    const std::thread::id caller = std::this_thread::get_id();
    bool caller_held = false;
    for (int attempt = 0; attempt < 50 && !caller_held; ++attempt) {
        std::vector<std::atomic<int>> runs(12);
        std::vector<std::thread::id> ran_on(12);
        run_lanes(12, [&](int lane) {
            // Held up until another thread has taken the last lane of its block (or ten
            // seconds have passed, which fails the test).
            const auto start = std::chrono::steady_clock::now();
            while (lane == 0 && runs[3].load() == 0 &&
                   std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ran_on[static_cast<size_t>(lane)] = std::this_thread::get_id();
            runs[static_cast<size_t>(lane)].fetch_add(1);
        });
        for (int k = 0; k < 12; ++k)
            EXPECT_EQ(runs[static_cast<size_t>(k)].load(), 1) << k;
        caller_held = ran_on[0] == caller;
        if (caller_held) {
            EXPECT_NE(ran_on[3], caller); // the last of the caller's block of four
        }
    }
    EXPECT_TRUE(caller_held) << "the caller never ran its own first lane";
    stop_workers();
}

} // namespace

namespace {

// The outline's bands of lattice rows, on a lattice where windows reach the last column and
// row and cross every band edge: every thread count leaves the same lines.
TEST(ThreadedOutline, BandsGiveTheSameLines) {
    std::vector<Vec2> positions;
    std::mt19937 gen(77u);
    // Sparse enough that the samples lie around the level, and out beyond the far wall so
    // that windows reach column and row R.
    std::uniform_real_distribution<float> anywhere(-0.05f, 0.9f);
    for (int i = 0; i < 800; ++i)
        positions.push_back({anywhere(gen), anywhere(gen)});
    const auto outline = [&](int threads, int updates) {
        start_workers(threads);
        EXPECT_TRUE(create_surface_grid(1.5f, 64, 0.8f, positions.data(),
                                        static_cast<int32_t>(positions.size())));
        // The first update leaves row R behind cleared only by the update itself; a second
        // one shows that nothing piles up differently between updates either.
        for (int u = 0; u < updates; ++u)
            update_surface();
        const Vec2* v = surface_line_vertices(surface_grid);
        std::vector<Vec2> lines(v, v + surface_grid->line_vertex_count);
        release_surface_grid();
        stop_workers();
        return lines;
    };
    for (const int updates : {1, 2}) {
        const std::vector<Vec2> one = outline(1, updates);
        EXPECT_FALSE(one.empty());
        for (const int threads : {2, 3, 7}) {
            const std::vector<Vec2> many = outline(threads, updates);
            ASSERT_EQ(many.size(), one.size()) << threads << " threads";
            EXPECT_EQ(std::memcmp(many.data(), one.data(), one.size() * sizeof(Vec2)), 0)
                << threads << " threads";
        }
    }
}

} // namespace
