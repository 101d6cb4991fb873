#pragma once
// A hand-built fluid state for testing the density, force and integration steps on their own:
// it owns every array those steps touch, installs them into `sim` and puts the previous
// contents of `sim` back when it goes out of scope. Neighbour lists come from a brute-force
// pair finder that keeps the usual invariants: list p starts with p itself at distance 0 and
// then names later particles q > p closer than h, each pair once; lists are packed in order.
#include <cstdint>
#include <random>
#include <vector>

#include "config/config.h"
#include "sph/sim_state.h"

class HandState {
  public:
    // The settings are the defaults (no settings file); colours exist unless point_colors is 0.
    explicit HandState(int32_t n, int32_t point_colors = 1,
                       float h = default_phys_config().smooth_radius)
        : saved_(sim), position_(static_cast<size_t>(n)), velocity_(static_cast<size_t>(n)),
          velocity_eval_(static_cast<size_t>(n)), force_(static_cast<size_t>(n)),
          density_pressure_(static_cast<size_t>(n)), color_(static_cast<size_t>(n)),
          entries_(static_cast<size_t>(n) * neighbour_capacity), counts_(static_cast<size_t>(n)),
          first_(static_cast<size_t>(n)) {
        const PhysConfig phys = default_phys_config();
        GraphConfig graph;
        load_graph_config_text(&graph, "", nullptr);
        sim = SimState{};
        sim.count = n;
        sim.smooth_radius = h;
        sim.mass = phys.mass;
        sim.field_size = phys.field_size;
        sim.timestep = phys.timestep;
        sim.viscosity = phys.viscosity;
        sim.stiff = phys.stiff;
        sim.rest_density = phys.rest_density;
        sim.gravity = phys.gravity;
        sim.ext_stiff = phys.ext_stiff;
        sim.damp = phys.damp;
        sim.mouse_radius = phys.mouse_radius;
        sim.mouse_force = phys.mouse_force;
        sim.point_colors = point_colors;
        sim.point_diffusion = point_colors == 1 ? graph.point_diffusion : 0.0f;
        sim.current_gravity = sim.gravity;
        sim.toggled_gravity = sim.gravity;
        derive_coefficients();

        sim.position = position_.data();
        sim.velocity = velocity_.data();
        sim.velocity_eval = velocity_eval_.data();
        sim.force = force_.data();
        sim.density_pressure = density_pressure_.data();
        sim.color = point_colors != 0 ? color_.data() : nullptr;
        sim.neighbours.entries = entries_.data();
        sim.neighbours.neighbour_count = counts_.data();
        sim.neighbours.first_entry = first_.data();
    }
    ~HandState() { sim = saved_; }
    HandState(const HandState&) = delete;
    HandState& operator=(const HandState&) = delete;

    // Kernel constants from mass, stiff, viscosity and h, by the simulation's own derivation.
    static void derive_coefficients() {
        PhysConfig phys{};
        phys.smooth_radius = sim.smooth_radius;
        phys.field_size = sim.field_size;
        phys.mass = sim.mass;
        phys.stiff = sim.stiff;
        phys.viscosity = sim.viscosity;
        const SimDerived d = derive_sim_values(phys);
        sim.poly6_coef = d.poly6_coef;
        sim.pressure_coef = d.pressure_coef;
        sim.viscosity_coef = d.viscosity_coef;
    }

    // Rebuilds every list from the current positions by testing all pairs.
    static void find_pairs_brute_force() {
        const float h2 = sim.smooth_radius * sim.smooth_radius;
        uint32_t next = 0;
        for (int32_t p = 0; p < sim.count; ++p) {
            sim.neighbours.first_entry[p] = next;
            NeighbourEntry* list = sim.neighbours.entries + next;
            uint16_t c = 0;
            list[c++] = NeighbourEntry{static_cast<uint16_t>(p), 0.0f};
            for (int32_t q = p + 1; q < sim.count && c < neighbour_capacity; ++q) {
                const float dx = sim.position[p].x - sim.position[q].x;
                const float dy = sim.position[p].y - sim.position[q].y;
                const float d2 = dy * dy + dx * dx;
                if (d2 < h2) {
                    list[c++] = NeighbourEntry{static_cast<uint16_t>(q), d2};
                }
            }
            sim.neighbours.neighbour_count[p] = c;
            next += c;
        }
    }

    // Uniform random positions in [lo, hi)^2, velocities in [-vmax, vmax)^2 for both velocity
    // arrays, colours in [0, 1).
    static void scatter(std::mt19937& rng, float lo, float hi, float vmax) {
        std::uniform_real_distribution<float> p(lo, hi);
        std::uniform_real_distribution<float> v(-vmax, vmax);
        std::uniform_real_distribution<float> c(0.0f, 1.0f);
        for (int32_t i = 0; i < sim.count; ++i) {
            sim.position[i] = Vec2{p(rng), p(rng)};
            sim.velocity[i] = Vec2{v(rng), v(rng)};
            sim.velocity_eval[i] = Vec2{v(rng), v(rng)};
            if (sim.color != nullptr) {
                sim.color[i] = Color3{c(rng), c(rng), c(rng)};
            }
        }
    }

  private:
    SimState saved_;
    std::vector<Vec2> position_;
    std::vector<Vec2> velocity_;
    std::vector<Vec2> velocity_eval_;
    std::vector<Vec2> force_;
    std::vector<Vec2> density_pressure_;
    std::vector<Color3> color_;
    std::vector<NeighbourEntry> entries_;
    std::vector<uint16_t> counts_;
    std::vector<uint32_t> first_;
};
