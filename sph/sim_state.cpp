#include "sph/sim_state.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "base/assert.h"
#include "base/random.h"
#include "base/workers.h"
#include "bodies/bodies.h"
#include "config/config.h"
#include "config/scene.h"
#include "sph/scene_state.h"
#include "sph/water.h"

SimState sim;

namespace {

// Zero-filled block of `n` elements (at least one, so a count of 0 still yields a valid
// pointer that free() accepts and no caller has to special-case).
template <typename T> T* alloc_zeroed(int64_t n) {
    return static_cast<T*>(std::calloc(static_cast<size_t>(n > 0 ? n : 1), sizeof(T)));
}

// Uninitialised block for buffers that are always written before they are read.
template <typename T> T* alloc_raw(int64_t n) {
    return static_cast<T*>(std::malloc(static_cast<size_t>(n > 0 ? n : 1) * sizeof(T)));
}

void copy_settings(int32_t point_colors, const PhysConfig& phys, float point_diffusion) {
#define TARNWELL_COPY_SETTING(type, key, ...) sim.key = phys.key;
    TARNWELL_SIM_SETTINGS(TARNWELL_COPY_SETTING)
#undef TARNWELL_COPY_SETTING
    sim.point_colors = point_colors;
    sim.current_gravity = phys.gravity;
    sim.toggled_gravity = phys.gravity;
    // Without a colour array there is nothing to diffuse.
    sim.point_diffusion = point_colors != 0 ? point_diffusion : 0.0f;
}

bool allocate_arrays() {
    TARNWELL_ASSERT(sim.count <= max_particle_count,
                    "the grid's buckets and the neighbour lists hold 16-bit particle indices");
    const int64_t n = sim.count;
    const int64_t cells = sim.cell_count;
    sim.position = alloc_raw<Vec2>(n);
    sim.velocity = alloc_zeroed<Vec2>(n);
    sim.velocity_eval = alloc_zeroed<Vec2>(n);
    sim.force = alloc_zeroed<Vec2>(n);
    sim.density_pressure = alloc_zeroed<Vec2>(n);
    sim.color = sim.point_colors != 0 ? alloc_raw<Color3>(n) : nullptr;
    sim.bodies = alloc_zeroed<RigidBody>(scene.body_capacity);
    sim.sort_keys = alloc_zeroed<SortKey>(n);
    sim.sort_keys_scratch = alloc_raw<SortKey>(n);
    sim.cell_start = alloc_raw<uint32_t>(cells + 1);
    sim.position_scratch = alloc_raw<Vec2>(n);
    sim.velocity_scratch = alloc_raw<Vec2>(n);
    sim.velocity_eval_scratch = alloc_raw<Vec2>(n);
    sim.color_scratch = sim.point_colors != 0 ? alloc_raw<Color3>(n) : nullptr;
    sim.grid.buckets = alloc_raw<uint16_t>(cells * cell_capacity);
    sim.grid.cell_fill = alloc_zeroed<uint16_t>(cells);
    sim.grid.lanes = 1;
    sim.grid.lane_cell[1] = static_cast<int32_t>(cells);
    sim.grid.lane_particle[1] = static_cast<int32_t>(n);
    sim.grid.row_progress =
        new (std::nothrow) RowProgress[static_cast<size_t>(sim.cells_per_row)]();
    // Sized for every list full, but never cleared: the search only writes the used prefix,
    // so the pages behind it are never touched and cost no memory.
    sim.neighbours.entries = alloc_raw<NeighbourEntry>(n * neighbour_capacity);
    sim.neighbours.neighbour_count = alloc_zeroed<uint16_t>(n);
    // Zeroed so that every offset is inside the block even before the first search.
    sim.neighbours.first_entry = alloc_zeroed<uint32_t>(n);

    return sim.position && sim.velocity && sim.velocity_eval && sim.force && sim.density_pressure &&
           (sim.point_colors == 0 || (sim.color && sim.color_scratch)) && sim.bodies &&
           sim.sort_keys && sim.sort_keys_scratch && sim.cell_start && sim.position_scratch &&
           sim.velocity_scratch && sim.velocity_eval_scratch && sim.grid.buckets &&
           sim.grid.cell_fill && sim.grid.row_progress && sim.neighbours.entries &&
           sim.neighbours.neighbour_count && sim.neighbours.first_entry;
}

// A block from the lower left corner: x in [h, 0.9090909 field_size) (about 1/1.1 of the box
// width), y in [h, 0.6666667 field_size) (two thirds of its height). Each draw is one of 32768
// steps of the span, so the upper bound is never reached. Colours: red falls as blue rises
// with height (red + blue = 1), green rises with x.
void seed_particles() {
    const float h = sim.smooth_radius;
    const float width = 0.9090909f * sim.field_size;
    const float height = 0.6666667f * sim.field_size;
    const float x_span = width - h;
    const float y_span = height - h;
    for (int32_t i = 0; i < sim.count; ++i) {
        const float r1 = static_cast<float>(rng_draw());
        const float x = h + r1 * x_span / 32768.0f;
        const float r2 = static_cast<float>(rng_draw());
        const float y = h + r2 * y_span / 32768.0f;
        sim.position[i] = Vec2{x, y};
        if (sim.point_colors != 0) {
            const float up = (y - h) / height;
            const float right = (x - h) / width;
            sim.color[i] = Color3{1.0f - up, right, up};
        }
    }
}

// After a refused start no step may walk arrays that do not exist.
void fail_empty() {
    sim.count = 0;
    sim.geom_count = 0;
    sim.cells_per_row = 0;
    sim.cell_count = 0;
}

} // namespace

bool sim_init_seeded(int32_t point_colors, const PhysConfig& phys, float point_diffusion,
                     uint32_t seed, const SceneDescription* scene_description) {
    sim_free(); // a second initialisation replaces the first instead of leaking it
    copy_settings(point_colors, phys, point_diffusion);
    sim.blown_up = false;
    const bool scene_ready = scene_allocate();
    // Room for the scene's bodies and for bodies dropped in while it runs.
    scene.body_capacity = phys.geom_count + dropped_body_room +
                          (scene_description != nullptr ? scene_description->body_count : 0);
    if (!scene_ready || !sim_settings_buildable(phys)) {
        fail_empty();
        return false;
    }
    const SimDerived derived = derive_sim_values(phys);
    sim.cells_per_row = derived.cells_per_row;
    sim.cell_count = derived.cell_count;
    sim.poly6_coef = derived.poly6_coef;
    sim.pressure_coef = derived.pressure_coef;
    sim.viscosity_coef = derived.viscosity_coef;
    if (!allocate_arrays()) {
        sim_free();
        fail_empty();
        return false;
    }
    start_workers(phys.threads);
    rng_seed(seed);
    if (scene_description != nullptr && scene_description->fluid_count > 0) {
        scene_seed_lattice(*scene_description);
    } else {
        seed_particles();
    }
    generate_bodies();
    const int32_t random_bodies = sim.geom_count;
    if (scene_description != nullptr) scene_build(*scene_description);
    if (phys.solver == 1) {
        const float spacing = scene_description != nullptr ? scene_description->spacing : 0.5f;
        if (!water_init(spacing, phys.water_viscosity, phys.water_iterations)) {
            sim_free();
            fail_empty();
            return false;
        }
        // Random bodies take a density from 0.4 to 0.9 of the fluid's, spread by the golden
        // ratio so that neighbours in the list differ; the scene's have their own.
        for (int32_t j = 0; j < sim.geom_count; ++j) {
            const float spread = static_cast<float>(j) * 0.618034f;
            float density =
                0.4f + 0.5f * (spread - static_cast<float>(static_cast<int32_t>(spread)));
            if (j >= random_bodies && scene_description != nullptr)
                density = scene_description->bodies[j - random_bodies].density;
            water_set_body(j, density);
        }
    }
    return true;
}

bool sim_set_colours(int32_t point_colors, float point_diffusion) {
    if (point_colors != 0 && sim.count > 0 && sim.color == nullptr) {
        Color3* color = alloc_raw<Color3>(sim.count);
        Color3* scratch = alloc_raw<Color3>(sim.count);
        if (color == nullptr || scratch == nullptr) {
            std::free(color);
            std::free(scratch);
            return false;
        }
        sim.color = color;
        sim.color_scratch = scratch;
    }
    sim.point_colors = point_colors;
    sim.point_diffusion = point_colors != 0 ? point_diffusion : 0.0f;
    // The density ramp is rewritten by the next step; until then (and for the gradient for good)
    // every particle shows the seeding gradient of where it is now. The seeding keeps its own
    // copy of these lines: on the x87 unit, moving them into a shared function changes where
    // intermediates are rounded, and with that the seeded colours' last bits.
    if (point_colors != 0 && sim.color != nullptr && scene.lattice) {
        colour_across_box();
    } else if (point_colors != 0 && sim.color != nullptr) {
        const float h = sim.smooth_radius;
        const float width = 0.9090909f * sim.field_size;
        const float height = 0.6666667f * sim.field_size;
        for (int32_t i = 0; i < sim.count; ++i) {
            const float up = (sim.position[i].y - h) / height;
            const float right = (sim.position[i].x - h) / width;
            sim.color[i] = Color3{1.0f - up, right, up};
        }
    }
    return true;
}

bool sim_init(int32_t point_colors, const PhysConfig& phys, float point_diffusion) {
    // Whole seconds of calendar time; the unsigned conversion wraps, which is all a seed needs.
    return sim_init_seeded(point_colors, phys, point_diffusion,
                           static_cast<uint32_t>(std::time(nullptr)));
}

void sim_free() {
    stop_workers();
    scene_release();
    water_free();
    std::free(sim.position);
    std::free(sim.velocity);
    std::free(sim.velocity_eval);
    std::free(sim.force);
    std::free(sim.density_pressure);
    std::free(sim.color);
    std::free(sim.bodies);
    std::free(sim.sort_keys);
    std::free(sim.sort_keys_scratch);
    std::free(sim.cell_start);
    std::free(sim.position_scratch);
    std::free(sim.velocity_scratch);
    std::free(sim.velocity_eval_scratch);
    std::free(sim.color_scratch);
    std::free(sim.grid.buckets);
    std::free(sim.grid.cell_fill);
    delete[] sim.grid.row_progress;
    std::free(sim.neighbours.entries);
    std::free(sim.neighbours.neighbour_count);
    std::free(sim.neighbours.first_entry);
    sim.position = sim.velocity = sim.velocity_eval = sim.force = sim.density_pressure = nullptr;
    sim.position_scratch = sim.velocity_scratch = sim.velocity_eval_scratch = nullptr;
    sim.color = sim.color_scratch = nullptr;
    sim.bodies = nullptr;
    sim.sort_keys = sim.sort_keys_scratch = nullptr;
    sim.cell_start = nullptr;
    sim.grid = CellGrid{};
    sim.neighbours = NeighbourList{nullptr, nullptr, nullptr};
}
