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
        sim = SimState{};
        sim.count = 0;
        sim.smooth_radius = 0.01f;
        sim.mass = 0.0002f;
        sim.field_size = 0.8f;
        sim.timestep = 0.0015f;
        sim.gravity = -9.8f;
        sim.current_gravity = -9.8f;
        sim.toggled_gravity = -9.8f;
        sim.damp = 0.998f;
        sim.geom_count = 2;
        sim.geom_vertex_count_min = 4;
        sim.geom_vertex_count_max = 10;
        sim.geom_w_min = 5.0f;
        sim.geom_w_max = 10.0f;
        sim.geom_h_min = 5.0f;
        sim.geom_h_max = 10.0f;
        sim.geom_mass_min = 0.000005f;
        sim.geom_mass_max = 0.00002f;
        sim.geom_m_inert_min = 8.0f;
        sim.geom_m_inert_max = 12.0f;
        sim.geom_stiff = 200000.0f;
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
