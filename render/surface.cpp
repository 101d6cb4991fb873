// Placeholder until the surface modes land; replace with that change.
#include "render/surface.h"
SurfaceGrid* surface_grid = nullptr;
bool create_surface_grid(float, int32_t, float, const Vec2*, int32_t) { return false; }
float* surface_samples(SurfaceGrid*) { return nullptr; }
Vec2* surface_line_vertices(SurfaceGrid*) { return nullptr; }
int32_t surface_vertex_capacity(const SurfaceGrid*) { return 0; }
void update_surface() {}
void release_surface_grid() {}
