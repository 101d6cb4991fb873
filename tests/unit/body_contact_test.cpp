#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "body_test_support.h"
#include "sph/physics_step.h"

namespace {

using BodyContact = BodyTest;

constexpr float quarter_turn = 1.5707964f;

bool accumulators_zero(const RigidBody& b) {
    return b.linear_accel.x == 0.0f && b.linear_accel.y == 0.0f && b.angular_accel == 0.0f;
}

} // namespace

TEST_F(BodyContact, PushLeavesThroughTheNearestEdge) {
    // Square [0.25, 0.75]^2 (exact in binary), corners clockwise from the top left, so edge 0
    // is the top, 1 the right, 2 the bottom and 3, ending at the closing copy, the left.
    allocate_bodies(1);
    sim.bodies[0] = box_body(Vec2{0.5f, 0.5f}, 0.25f, 0.25f);
    struct Case {
        Vec2 point;
        bool inside;
        Vec2 push;
        const char* what;
    };
    const Case cases[] = {
        {{0.7f, 0.5f}, true, {0.05f, 0.0f}, "near the right edge"},
        {{0.5f, 0.27f}, true, {0.0f, -0.02f}, "near the bottom edge"},
        {{0.26f, 0.55f}, true, {-0.01f, 0.0f}, "near the left edge, the last one"},
        {{0.5f, 0.5f}, true, {0.0f, 0.25f}, "at the centre: the tie goes to the top edge"},
        {{0.75f, 0.5f}, true, {0.0f, 0.0f}, "on the right edge"},
        {{0.25f, 0.6f}, true, {0.0f, 0.0f}, "on the left edge"},
        {{0.75f, 0.75f}, true, {0.0f, 0.0f}, "on a corner"},
        {{0.76f, 0.5f}, false, {}, "right of it"},
        {{0.5f, 0.2f}, false, {}, "below it"},
        {{0.2f, 0.8f}, false, {}, "beyond a corner"},
    };
    for (const Case& c : cases) {
        Vec2 push{123.0f, 456.0f};
        EXPECT_EQ(body_point_push(0, c.point, &push), c.inside) << c.what;
        if (c.inside) {
            EXPECT_NEAR(push.x, c.push.x, 1e-6) << c.what;
            EXPECT_NEAR(push.y, c.push.y, 1e-6) << c.what;
        } else {
            EXPECT_EQ(push.x, 123.0f) << c.what << ": no push is written for a point outside";
            EXPECT_EQ(push.y, 456.0f) << c.what;
        }
    }
}

TEST_F(BodyContact, PointsThatDoNotPushLeaveEverythingAlone) {
    // A diamond's box has empty corners; a particle there, and one on an edge, feel nothing and
    // give the body nothing.
    allocate_bodies(1);
    sim.bodies[0] = box_body(Vec2{0.5f, 0.5f}, 0.1f, 0.1f, quarter_turn / 2);
    const RigidBody& d = sim.bodies[0];
    const Vec2 on_edge{(d.world_vertices[0].x + d.world_vertices[1].x) / 2,
                       (d.world_vertices[0].y + d.world_vertices[1].y) / 2};
    set_particles({{d.min_x + 0.01f, d.min_y + 0.01f},
                   {d.max_x - 0.005f, d.max_y - 0.005f},
                   on_edge,
                   {0.1f, 0.1f}});
    sim.bodies[0].linear_accel = Vec2{7.0f, 7.0f}; // stale from the last step: cleared
    sim.bodies[0].angular_accel = 7.0f;
    apply_fluid_body_contact();
    // The rounded midpoint of a slanted edge lies within about 1e-8 of it: at most a push that
    // small, times geom_stiff.
    for (int i = 0; i < 4; ++i) {
        EXPECT_NEAR(force(i).x, 0.0f, 0.01) << "particle " << i;
        EXPECT_NEAR(force(i).y, 0.0f, 0.01) << "particle " << i;
    }
    EXPECT_NEAR(sim.bodies[0].linear_accel.x, 0.0f, 0.01);
    EXPECT_NEAR(sim.bodies[0].linear_accel.y, 0.0f, 0.01);
    EXPECT_NEAR(sim.bodies[0].angular_accel, 0.0f, 0.01);
}

TEST_F(BodyContact, ParticleInsideTwoBodiesIsPushedOutOfEach) {
    // Left body [0.25, 0.5] wide, right body [0.45, 0.7]; the particle at x = 0.48 is 0.02 from
    // the left body's right edge and 0.03 from the right body's left edge.
    allocate_bodies(2);
    sim.bodies[0] = box_body(Vec2{0.375f, 0.5f}, 0.125f, 0.125f, 0.0f, 2.0f, 3.0f);
    sim.bodies[1] = box_body(Vec2{0.575f, 0.5f}, 0.125f, 0.125f, 0.0f, 2.0f, 3.0f);
    set_particles({{0.48f, 0.5f}});
    apply_fluid_body_contact();
    EXPECT_NEAR(force(0).x, (0.02f - 0.03f) * sim.geom_stiff, 0.01);
    EXPECT_NEAR(force(0).y, 0.0f, 1e-6);
    // Each body takes the opposite of its own push, at the particle, along its arm:
    // a = |p| k |r| / m, away from the particle.
    EXPECT_NEAR(sim.bodies[0].linear_accel.x, -0.02 * sim.geom_stiff * 0.105 / 2.0, 0.05);
    EXPECT_NEAR(sim.bodies[1].linear_accel.x, 0.03 * sim.geom_stiff * 0.095 / 2.0, 0.05);
    EXPECT_NEAR(sim.bodies[0].angular_accel, 0.0f, 1e-3);
    EXPECT_NEAR(sim.bodies[1].angular_accel, 0.0f, 1e-3);
}

TEST_F(BodyContact, ParticleSideScalesWithParticleMassBodySideDoesNot) {
    allocate_bodies(1);
    const Vec2 p{0.55f, 0.58f}; // 0.02 below the top edge, off the centre line: push and turn
    Vec2 force_at[2];
    RigidBody body_at[2];
    const float masses[2] = {0.0002f, 0.0004f};
    for (int m = 0; m < 2; ++m) {
        sim.mass = masses[m];
        sim.bodies[0] = box_body(Vec2{0.5f, 0.5f}, 0.1f, 0.1f, 0.0f, 0.5f, 2.0f);
        set_particles({p});
        apply_fluid_body_contact();
        force_at[m] = force(0);
        body_at[m] = sim.bodies[0];
    }
    // Default particle mass: exactly geom_stiff times the push.
    EXPECT_NEAR(force_at[0].y, 0.02 * sim.geom_stiff, 0.01);
    EXPECT_NEAR(force_at[0].x, 0.0f, 1e-6);
    EXPECT_FLOAT_EQ(force_at[1].y, force_at[0].y / 2);
    EXPECT_EQ(body_at[0].linear_accel.x, body_at[1].linear_accel.x);
    EXPECT_EQ(body_at[0].linear_accel.y, body_at[1].linear_accel.y);
    EXPECT_EQ(body_at[0].angular_accel, body_at[1].angular_accel);
    EXPECT_LT(body_at[0].linear_accel.y, 0.0f);
    // Push down at a point right of the centre turns the body clockwise.
    EXPECT_LT(body_at[0].angular_accel, 0.0f);
}

TEST_F(BodyContact, ResponseSplitsThePushAlongAndAcrossTheArm) {
    const float k = sim.geom_stiff;
    const float mass = 2.0f, inertia = 4.0f;
    const Vec2 c{0.5f, 0.5f};
    struct Case {
        Vec2 point, push;
        double linear_x, linear_y, angular;
        const char* what;
    };
    // Along the arm: a = |p| k |r| / m in the direction of p. Across it: (r x p) k / I,
    // counter-clockwise positive.
    const Case cases[] = {
        {{0.6f, 0.5f}, {0.01f, 0.0f}, 0.01 * k * 0.1 / mass, 0.0, 0.0, "along the arm"},
        {{0.7f, 0.5f}, {0.01f, 0.0f}, 0.01 * k * 0.2 / mass, 0.0, 0.0, "twice the arm"},
        {{0.5f, 0.3f}, {0.0f, -0.01f}, 0.0, -0.01 * k * 0.2 / mass, 0.0, "along a downward arm"},
        {{0.6f, 0.5f}, {0.0f, 0.01f}, 0.0, 0.0, 0.1 * 0.01 * k / inertia, "across, turning left"},
        {{0.5f, 0.6f}, {0.01f, 0.0f}, 0.0, 0.0, -0.1 * 0.01 * k / inertia, "across, turning right"},
        {{0.5f, 0.5f}, {0.01f, 0.01f}, 0.0, 0.0, 0.0, "at the centre: no arm, nothing"},
    };
    for (const Case& t : cases) {
        RigidBody b = box_body(c, 0.25f, 0.25f, 0.0f, mass, inertia);
        contact_response(b, t.point, t.push, k);
        // Exact zeros: a push along the arm must not turn, one across must not move.
        const double tol_x = std::fabs(t.linear_x) * 1e-5, tol_y = std::fabs(t.linear_y) * 1e-5;
        const double tol_a = std::fabs(t.angular) * 1e-5;
        EXPECT_NEAR(b.linear_accel.x, t.linear_x, tol_x) << t.what;
        EXPECT_NEAR(b.linear_accel.y, t.linear_y, tol_y) << t.what;
        EXPECT_NEAR(b.angular_accel, t.angular, tol_a) << t.what;
    }
    RigidBody twice = box_body(c, 0.25f, 0.25f, 0.0f, mass, inertia);
    RigidBody once = twice;
    contact_response(once, Vec2{0.55f, 0.55f}, Vec2{0.01f, 0.01f}, k);
    contact_response(twice, Vec2{0.6f, 0.6f}, Vec2{0.01f, 0.01f}, k);
    EXPECT_NEAR(twice.linear_accel.x / once.linear_accel.x, 2.0, 1e-5);
    EXPECT_NEAR(twice.linear_accel.y / once.linear_accel.y, 2.0, 1e-5);
}

TEST_F(BodyContact, BodiesPushOnlyWithCornersInside) {
    // A diamond whose left corner pokes 0.01 into a square's right edge, level with both
    // centres: the diamond is pushed right, the square left, both along their arms.
    allocate_bodies(2);
    sim.bodies[0] = box_body(Vec2{0.3f, 0.5f}, 0.1f, 0.1f, 0.0f, 2.0f, 3.0f);
    const float half_diagonal = std::sqrt(0.02f);
    sim.bodies[1] =
        box_body(Vec2{0.39f + half_diagonal, 0.5f}, 0.1f, 0.1f, quarter_turn / 2, 4.0f, 3.0f);
    apply_body_body_contact();
    const double k = 10.0 * sim.geom_stiff;
    EXPECT_NEAR(sim.bodies[0].linear_accel.x, -0.01 * k * 0.09 / 2.0, 5.0);
    EXPECT_NEAR(sim.bodies[1].linear_accel.x, 0.01 * k * half_diagonal / 4.0, 5.0);
    EXPECT_NEAR(sim.bodies[0].linear_accel.y, 0.0, 1.0);
    EXPECT_NEAR(sim.bodies[1].linear_accel.y, 0.0, 1.0);

    struct Case {
        RigidBody a, b;
        const char* what;
    };
    const Case quiet[] = {
        {box_body({0.375f, 0.5f}, 0.125f, 0.125f), box_body({0.625f, 0.5f}, 0.125f, 0.25f),
         "edge to edge: corners on the other's edge or outside it"},
        {box_body({0.5f, 0.5f}, 0.25f, 0.0625f), box_body({0.5f, 0.5f}, 0.0625f, 0.25f),
         "crossed like a plus: edges cross, no corner inside"},
        {box_body({0.25f, 0.5f}, 0.1f, 0.1f), box_body({0.75f, 0.5f}, 0.1f, 0.1f), "apart"},
    };
    for (const Case& c : quiet) {
        sim.bodies[0] = c.a;
        sim.bodies[1] = c.b;
        apply_body_body_contact();
        EXPECT_TRUE(accumulators_zero(sim.bodies[0])) << c.what;
        EXPECT_TRUE(accumulators_zero(sim.bodies[1])) << c.what;
    }
}

TEST_F(BodyContact, ContactsWithoutArmOrMassAddNothing) {
    // A particle exactly at a body's centre is still pushed out, but gives the body nothing:
    // there is no arm to act along. A body without mass takes no contact at all.
    allocate_bodies(2);
    sim.bodies[0] = box_body(Vec2{0.25f, 0.25f}, 0.125f, 0.125f, 0.0f, 2.0f, 3.0f);
    sim.bodies[1] = box_body(Vec2{0.75f, 0.75f}, 0.125f, 0.125f, 0.0f, 0.0f, 3.0f);
    set_particles({{0.25f, 0.25f}, {0.8f, 0.8f}});
    apply_fluid_body_contact();
    EXPECT_NEAR(force(0).y, 0.125 * sim.geom_stiff, 0.1);
    EXPECT_TRUE(accumulators_zero(sim.bodies[0]));
    EXPECT_EQ(force(1).x, 0.0f);
    EXPECT_EQ(force(1).y, 0.0f);
    EXPECT_TRUE(accumulators_zero(sim.bodies[1]));

    // A massless body overlapping another neither pushes nor is pushed.
    sim.bodies[1] = box_body(Vec2{0.3f, 0.3f}, 0.125f, 0.125f, 0.0f, 0.0f, 3.0f);
    apply_body_body_contact();
    EXPECT_TRUE(accumulators_zero(sim.bodies[0]));
    EXPECT_TRUE(accumulators_zero(sim.bodies[1]));
}

namespace {

using BodyContactInCells = SimTest;

// Forces and body accelerations of one contact pass, from cleared forces.
std::vector<float> contact_results() {
    std::fill(sim.force, sim.force + sim.count, Vec2{0.0f, 0.0f});
    apply_fluid_body_contact();
    std::vector<float> out;
    for (int32_t i = 0; i < sim.count; ++i) {
        out.push_back(sim.force[i].x);
        out.push_back(sim.force[i].y);
    }
    for (int j = 0; j < sim.geom_count; ++j) {
        out.push_back(sim.bodies[j].linear_accel.x);
        out.push_back(sim.bodies[j].linear_accel.y);
        out.push_back(sim.bodies[j].angular_accel);
    }
    return out;
}

// The pass over the cells under the boxes against the pass over every particle.
void expect_cells_find_every_push(const char* what) {
    const std::vector<float> in_cells = contact_results();
    const bool held = sim.grid.holds_all_in_order;
    sim.grid.holds_all_in_order = false;
    const std::vector<float> every = contact_results();
    sim.grid.holds_all_in_order = held;
    ASSERT_EQ(in_cells.size(), every.size());
    EXPECT_EQ(std::memcmp(in_cells.data(), every.data(), every.size() * sizeof(float)), 0) << what;
    int pushed = 0;
    for (int32_t i = 0; i < 2 * sim.count; ++i)
        pushed += every[static_cast<size_t>(i)] != 0.0f;
    EXPECT_GT(pushed, 0) << what << ": the case must push something";
}

} // namespace

TEST_F(BodyContactInCells, CellsUnderTheBoxesFindEveryPushInOrder) {
    PhysConfig phys = default_phys();
    phys.count = 4000;
    phys.geom_count = 10;
    phys.threads = 1;
    ASSERT_TRUE(sim_init_seeded(0, phys, 0.0f, 21u));
    for (int step = 0; step < 300; ++step)
        physics_step(nullptr);
    ASSERT_TRUE(sim.grid.holds_all_in_order);
    expect_cells_find_every_push("bodies floating in a settled pool");

    // A box reaching past the grid on every side covers every cell; one with a NaN side or
    // crossed sides covers none, as no particle passes its test either.
    RigidBody& big = sim.bodies[0];
    big.min_x = -1.0f;
    big.min_y = -std::numeric_limits<float>::infinity();
    big.max_x = 5.0f;
    big.max_y = std::numeric_limits<float>::infinity();
    sim.bodies[1].min_x = std::numeric_limits<float>::quiet_NaN();
    std::swap(sim.bodies[2].min_y, sim.bodies[2].max_y);
    expect_cells_find_every_push("boxes beyond the grid, with a NaN side, with crossed sides");

    // Particles the buckets do not hold (a cell takes at most cell_capacity) are still pushed:
    // the step then goes over every particle.
    const Vec2 inside{(big.world_vertices[0].x + big.center.x) / 2,
                      (big.world_vertices[0].y + big.center.y) / 2};
    for (int32_t i = 0; i < cell_capacity + 5; ++i)
        sim.position[i] = inside;
    sort_and_search();
    EXPECT_FALSE(sim.grid.holds_all_in_order);
    contact_results();
    int pushed_at_inside = 0;
    for (int32_t i = 0; i < sim.count; ++i) {
        const bool at_inside = sim.position[i].x == inside.x && sim.position[i].y == inside.y;
        pushed_at_inside += at_inside && (sim.force[i].x != 0.0f || sim.force[i].y != 0.0f);
    }
    EXPECT_EQ(pushed_at_inside, cell_capacity + 5) << "every particle of the full cell is pushed";
}
