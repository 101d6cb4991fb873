// The steps a scene adds: obstacles and the moving wall push the fluid, drains feed emitters, and
// the scene's clock runs. Each runs on one thread in particle order, so the results are the same
// at every thread count; without obstacles, piston or emitters each returns at once.
#include <cmath>

#include "bodies/bodies.h"
#include "bodies/grid_walk.h"
#include "sph/scene_state.h"
#include "sph/sim_state.h"

namespace {

// A particle inside an obstacle is pushed out along the shortest way like from a wall: the
// depth times ext_stiff, an acceleration.
void push_out_of(const RigidBody& obstacle, int32_t i) {
    const Vec2 p = sim.position[i];
    if (!(obstacle.min_x <= p.x && p.x <= obstacle.max_x && obstacle.min_y <= p.y &&
          p.y <= obstacle.max_y)) {
        return;
    }
    Vec2 push;
    if (!polygon_point_push(obstacle, p, &push)) return;
    sim.force[i].x += push.x * sim.ext_stiff;
    sim.force[i].y += push.y * sim.ext_stiff;
}

} // namespace

void apply_scene_forces() {
    const bool walkable = grid_walkable();
    for (int o = 0; o < scene.obstacle_count; ++o) {
        const RigidBody& obstacle = scene.obstacles[o];
        if (walkable) {
            for_each_particle_near_box(obstacle.min_x, obstacle.max_x, obstacle.min_y,
                                       obstacle.max_y,
                                       [&](int32_t i) { push_out_of(obstacle, i); });
        } else {
            for (int32_t i = 0; i < sim.count; ++i)
                push_out_of(obstacle, i);
        }
    }
    if (scene.piston_side != 0) {
        // The moving wall is a spring on the depth, like the fixed ones.
        const float wall = scene.piston_wall;
        const float ext = sim.ext_stiff;
        for (int32_t i = 0; i < sim.count; ++i) {
            const float x = sim.position[i].x;
            if (scene.piston_side < 0 ? x < wall : x > wall) sim.force[i].x += (wall - x) * ext;
        }
    }
}

namespace {

bool in_drain(Vec2 p) {
    for (int d = 0; d < scene.drain_count; ++d) {
        const Drain& drain = scene.drains[d];
        if (drain.min_x <= p.x && p.x <= drain.max_x && drain.min_y <= p.y && p.y <= drain.max_y)
            return true;
    }
    return false;
}

// Puts particle i into the emitter's mouth at its next slot, moving with the jet.
void emit(Emitter& e, int32_t i) {
    const float offset =
        (static_cast<float>(e.next_slot) - 0.5f * static_cast<float>(e.slots - 1)) * scene.spacing;
    e.next_slot = e.next_slot + 1 < e.slots ? e.next_slot + 1 : 0;
    const Vec2 across{-e.direction.y, e.direction.x};
    sim.position[i] = Vec2{e.mouth.x + across.x * offset, e.mouth.y + across.y * offset};
    const Vec2 v{e.direction.x * e.speed, e.direction.y * e.speed};
    sim.velocity[i] = v;
    sim.velocity_eval[i] = v;
    e.budget -= 1.0f;
}

} // namespace

void recycle_drained() {
    if (scene.emitter_count == 0 || scene.drain_count == 0) return;
    bool owed = false;
    for (int k = 0; k < scene.emitter_count; ++k) {
        Emitter& e = scene.emitters[k];
        // What an empty drain could not pay is not saved up beyond one row and one step's worth,
        // or a drain that fills again would fire a burst.
        const float cap = static_cast<float>(e.slots) + e.rate * sim.timestep;
        e.budget = std::fmin(e.budget + e.rate * sim.timestep, cap);
        owed = owed || e.budget >= 1.0f;
    }
    if (!owed) return;
    int k = 0;
    for (int32_t i = 0; i < sim.count; ++i) {
        if (!in_drain(sim.position[i])) continue;
        // Emitters take turns, each while it is owed a particle.
        int tried = 0;
        while (tried < scene.emitter_count && scene.emitters[k].budget < 1.0f) {
            k = (k + 1) % scene.emitter_count;
            ++tried;
        }
        if (tried == scene.emitter_count) return;
        emit(scene.emitters[k], i);
        ++scene.recycled;
        k = (k + 1) % scene.emitter_count;
    }
}

void advance_scene_time() {
    scene.time += static_cast<double>(sim.timestep);
    ++scene.step;
    if (scene.piston_side != 0 && scene.piston_period > 0.0f) {
        // offset = amplitude (1 - cos(2 pi t / T)) / 2: from rest, in and back once a period.
        const double phase = 2.0 * 3.14159265358979323846 *
                             std::fmod(scene.time, static_cast<double>(scene.piston_period)) /
                             static_cast<double>(scene.piston_period);
        const float reach =
            scene.piston_amplitude * 0.5f * (1.0f - static_cast<float>(std::cos(phase)));
        scene.piston_wall = scene.piston_rest - static_cast<float>(scene.piston_side) * reach;
    }
}
