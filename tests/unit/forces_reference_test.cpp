// The density, force and integration steps against a plain transcription of their formulas.
// The optimised loops keep sums in registers and skip work, but must round every value in the
// same order, so with SSE arithmetic the arrays agree bit for bit. (On the x87 unit the excess
// precision of intermediates depends on register allocation, so there only closeness is asked.)
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "base/float_path.h"
#include "sph/sim_state.h"
#include "sph/steps.h"
#include "sph_fixture.h"

namespace {

void reference_density() {
    const float h = sim.smooth_radius;
    const float h2 = h * h;
    const float h6 = (h2 * h2) * h2;
    Vec2* dp = sim.density_pressure;
    for (int i = 0; i < sim.count; ++i) {
        dp[i].x = 0.0f;
        dp[i].y = 0.0f;
    }
    for (int i = sim.count - 1; i >= 0; --i) {
        dp[i].x += h6;
        const NeighbourEntry* list = sim.neighbours.entries + sim.neighbours.first_entry[i];
        for (int k = 1; k < sim.neighbours.neighbour_count[i]; ++k) {
            const float d = h2 - list[k].dist_sq;
            const float w = d * d * d;
            dp[i].x += w;
            dp[list[k].index].x += w;
        }
    }
    for (int i = sim.count - 1; i >= 0; --i) {
        const float s = dp[i].x;
        if (sim.point_colors == 2) {
            const float t = s / (h6 * 6.0f);
            if (!(t > 1.0f)) {
                sim.color[i] = Color3{t, t, 1.0f - t};
            } else {
                float u = (t - 1.0f) * 0.5f;
                if (u > 1.0f) {
                    u = 1.0f;
                }
                sim.color[i] = Color3{1.0f, 1.0f - u, 0.0f};
            }
        }
        const float rho = sim.poly6_coef * s;
        const float p = (rho - sim.rest_density) * sim.pressure_coef;
        dp[i].x = 1.0f / rho;
        dp[i].y = p;
    }
}

void reference_pair_forces() {
    const float h = sim.smooth_radius;
    const float rate = sim.point_diffusion / h;
    for (int i = 0; i < sim.count; ++i) {
        sim.force[i] = Vec2{0.0f, 0.0f};
    }
    for (int i = sim.count - 1; i >= 0; --i) {
        if (sim.neighbours.neighbour_count[i] <= 1) {
            continue;
        }
        const NeighbourEntry* list = sim.neighbours.entries + sim.neighbours.first_entry[i];
        for (int k = 1; k < sim.neighbours.neighbour_count[i]; ++k) {
            const int j = list[k].index;
            const float r = std::sqrt(list[k].dist_sq);
            const Vec2 di = sim.density_pressure[i];
            const Vec2 dj = sim.density_pressure[j];
            const float a = r == 0.0f ? 0.0f : ((dj.y + di.y) / r) * (h - r);
            const float w = (dj.x * di.x) * (h - r);
            const Vec2 pi = sim.position[i];
            const Vec2 pj = sim.position[j];
            const Vec2 ei = sim.velocity_eval[i];
            const Vec2 ej = sim.velocity_eval[j];
            const float fx = ((pi.x - pj.x) * a + (ej.x - ei.x) * sim.viscosity_coef) * w;
            sim.force[i].x += fx;
            sim.force[j].x -= fx;
            const float fy = ((pi.y - pj.y) * a + (ej.y - ei.y) * sim.viscosity_coef) * w;
            sim.force[i].y += fy;
            sim.force[j].y -= fy;
            if (rate != 0.0f) {
                const float kd = (h - r) * rate;
                Color3& ci = sim.color[i];
                Color3& cj = sim.color[j];
                const float dr = (ci.r - cj.r) * kd;
                const float dg = (ci.g - cj.g) * kd;
                const float db = (ci.b - cj.b) * kd;
                ci.r -= dr;
                cj.r += dr;
                ci.g -= dg;
                cj.g += dg;
                ci.b -= db;
                cj.b += db;
            }
        }
    }
}

void reference_integrate() {
    const float h = sim.smooth_radius;
    const float dt = sim.timestep;
    for (int i = sim.count - 1; i >= 0; --i) {
        float x = sim.position[i].x;
        float y = sim.position[i].y;
        float ax = sim.force[i].x;
        if (x < h) {
            ax += (h - x) * sim.ext_stiff;
        } else if (x > sim.field_size) {
            ax += (sim.field_size - x) * sim.ext_stiff;
        }
        float ay = sim.force[i].y;
        if (y < h) {
            ay += (h - y) * sim.ext_stiff;
        } else if (y > sim.field_size) {
            ay += (sim.field_size - y) * sim.ext_stiff;
        }
        const float vx = sim.velocity[i].x;
        const float vx1 = (vx + dt * ax) * sim.damp;
        sim.velocity_eval[i].x = (vx + vx1) * 0.5f;
        sim.velocity[i].x = vx1;
        x += dt * vx1;
        const float vy = sim.velocity[i].y;
        const float vy1 = (vy + dt * (sim.current_gravity + ay)) * sim.damp;
        sim.velocity_eval[i].y = (vy + vy1) * 0.5f;
        sim.velocity[i].y = vy1;
        y += dt * vy1;
        sim.position[i] = Vec2{x, y};
    }
}

// Everything the three steps write, copied out for comparison.
struct Snapshot {
    std::vector<Vec2> position, velocity, velocity_eval, force, density_pressure;
    std::vector<Color3> color;
};

Snapshot take_snapshot() {
    const size_t n = static_cast<size_t>(sim.count);
    Snapshot s;
    s.position.assign(sim.position, sim.position + n);
    s.velocity.assign(sim.velocity, sim.velocity + n);
    s.velocity_eval.assign(sim.velocity_eval, sim.velocity_eval + n);
    s.force.assign(sim.force, sim.force + n);
    s.density_pressure.assign(sim.density_pressure, sim.density_pressure + n);
    if (sim.color != nullptr) {
        s.color.assign(sim.color, sim.color + n);
    }
    return s;
}

void restore(const Snapshot& s) {
    std::copy(s.position.begin(), s.position.end(), sim.position);
    std::copy(s.velocity.begin(), s.velocity.end(), sim.velocity);
    std::copy(s.velocity_eval.begin(), s.velocity_eval.end(), sim.velocity_eval);
    std::copy(s.force.begin(), s.force.end(), sim.force);
    std::copy(s.density_pressure.begin(), s.density_pressure.end(), sim.density_pressure);
    std::copy(s.color.begin(), s.color.end(), sim.color);
}

template <typename T>
void expect_same(const std::vector<T>& a, const std::vector<T>& b, const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    constexpr size_t lanes = sizeof(T) / sizeof(float);
    const float* fa = reinterpret_cast<const float*>(a.data());
    const float* fb = reinterpret_cast<const float*>(b.data());
    for (size_t k = 0; k < a.size() * lanes; ++k) {
#if TARNWELL_EXACT_FLOAT
        ASSERT_EQ(std::memcmp(fa + k, fb + k, sizeof(float)), 0)
            << what << " element " << k / lanes << " lane " << k % lanes << ": " << fa[k] << " vs "
            << fb[k];
#else
        ASSERT_NEAR(fa[k], fb[k], 1e-3f * (std::abs(fb[k]) + 1.0f))
            << what << " element " << k / lanes << " lane " << k % lanes;
#endif
    }
}

} // namespace

TEST(ForcesReference, OptimisedStepsMatchThePlainFormulas) {
    for (int32_t mode : {1, 2, 0}) {
        SCOPED_TRACE(testing::Message() << "colour mode " << mode);
        // A dense cloud straddling the lower-left walls, with a few coincident particles.
        HandState state(900, mode);
        std::mt19937 rng(1234 + static_cast<unsigned>(mode));
        HandState::scatter(rng, 0.0f, 0.15f, 0.3f);
        sim.position[10] = sim.position[11];
        sim.position[500] = sim.position[20];
        sim.position[21] = sim.position[20];
        if (mode == 1) {
            sim.point_diffusion = 0.05f;
        }
        for (int step = 0; step < 6; ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step);
            HandState::find_pairs_brute_force();
            const Snapshot before = take_snapshot();

            reference_density();
            reference_pair_forces();
            reference_integrate();
            apply_mouse_force(0.07f, 0.07f, 1.0f);
            const Snapshot expected = take_snapshot();

            restore(before);
            compute_density_pressure();
            compute_pair_forces();
            integrate();
            apply_mouse_force(0.07f, 0.07f, 1.0f);
            const Snapshot got = take_snapshot();

            expect_same(got.density_pressure, expected.density_pressure, "density_pressure");
            expect_same(got.force, expected.force, "force");
            expect_same(got.velocity, expected.velocity, "velocity");
            expect_same(got.velocity_eval, expected.velocity_eval, "velocity_eval");
            expect_same(got.position, expected.position, "position");
            expect_same(got.color, expected.color, "color");
            for (const Vec2& p : got.position) {
                ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
            }
        }
    }
}
