#pragma once
// Shared set-up of the body tests: the process-wide `sim` with the default settings the body
// code reads, and records owned by the test.
#include <gtest/gtest.h>

#include <vector>

#include "bodies/bodies.h"
#include "bodies/world_vertices.h"
#include "sim_test_util.h"
#include "sph/sim_state.h"

class BodyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const PhysConfig phys = default_phys_config();
        sim = SimState{};
        sim.count = 0;
        sim.smooth_radius = phys.smooth_radius;
        sim.mass = phys.mass;
        sim.field_size = phys.field_size;
        sim.timestep = phys.timestep;
        sim.gravity = phys.gravity;
        sim.current_gravity = phys.gravity;
        sim.toggled_gravity = phys.gravity;
        sim.damp = phys.damp;
        sim.geom_vertex_count_min = phys.geom_vertex_count_min;
        sim.geom_vertex_count_max = phys.geom_vertex_count_max;
        sim.geom_w_min = phys.geom_w_min;
        sim.geom_w_max = phys.geom_w_max;
        sim.geom_h_min = phys.geom_h_min;
        sim.geom_h_max = phys.geom_h_max;
        sim.geom_mass_min = phys.geom_mass_min;
        sim.geom_mass_max = phys.geom_mass_max;
        sim.geom_m_inert_min = phys.geom_m_inert_min;
        sim.geom_m_inert_max = phys.geom_m_inert_max;
        sim.geom_stiff = phys.geom_stiff;
        allocate_bodies(2);
    }
    void TearDown() override { sim = SimState{}; }

    // Zero-filled records, as the simulation allocates them.
    void allocate_bodies(int n) {
        bodies_.assign(static_cast<size_t>(n), RigidBody{});
        sim.bodies = bodies_.data();
        sim.geom_count = n;
    }

    // Particles at the given places with zero accelerations.
    void set_particles(const std::vector<Vec2>& places) {
        position_ = places;
        force_.assign(places.size(), Vec2{0.0f, 0.0f});
        sim.position = position_.data();
        sim.force = force_.data();
        sim.count = static_cast<int32_t>(places.size());
    }
    const Vec2& force(int i) const { return force_[static_cast<size_t>(i)]; }

    // A rectangle of half sizes hx, hy about its centre, corners clockwise from the top left.
    static RigidBody box_body(Vec2 center, float hx, float hy, float angle = 0.0f,
                              float body_mass = 1.0f, float inertia = 1.0f) {
        RigidBody b{};
        b.center = center;
        b.angle = angle;
        b.vertex_count = 4;
        b.body_mass = body_mass;
        b.inertia = inertia;
        b.local_vertices[0] = Vec2{-hx, hy};
        b.local_vertices[1] = Vec2{hx, hy};
        b.local_vertices[2] = Vec2{hx, -hy};
        b.local_vertices[3] = Vec2{-hx, -hy};
        b.local_vertices[4] = b.local_vertices[0];
        update_world_vertices(b);
        return b;
    }

  private:
    std::vector<RigidBody> bodies_;
    std::vector<Vec2> position_;
    std::vector<Vec2> force_;
};
