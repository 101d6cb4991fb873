#include "bodies/world_vertices.h"

#include <cmath>

void update_world_vertices(RigidBody& body) {
    // Sine and cosine in double of the single-precision angle, then rounded: one pair per body
    // whatever the corner count, and the angle may grow without bound.
    const double a = static_cast<double>(body.angle);
    const float c = static_cast<float>(std::cos(a));
    const float s = static_cast<float>(std::sin(a));
    body.min_x = body.center.x;
    body.max_x = body.center.x;
    body.min_y = body.center.y;
    body.max_y = body.center.y;
    const int n = stored_vertex_count(body);
    for (int j = 0; j <= n && n > 0; ++j) {
        const Vec2 l = body.local_vertices[j];
        Vec2 w;
        w.x = l.x * c - l.y * s + body.center.x;
        w.y = l.x * s + l.y * c + body.center.y;
        body.world_vertices[j] = w;
        if (w.x < body.min_x) {
            body.min_x = w.x;
        } else if (w.x > body.max_x) {
            body.max_x = w.x;
        }
        if (w.y < body.min_y) {
            body.min_y = w.y;
        } else if (w.y > body.max_y) {
            body.max_y = w.y;
        }
    }
}
