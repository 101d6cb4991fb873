#pragma once
#include <cstdint>

#include "base/types.h"
#include "config/settings_table.h"

// Iso-line outline of the fluid (render mode 1). The header, the (R + 1)^2 samples and the line
// vertices live in one block of 4096 * R + 4 bytes: samples right after the header (rows 0..R of
// R + 1 samples each, row j starting at sample j * (R + 1)), vertices right after the samples,
// filling the rest of the block.
//
// Writers and readers: update_surface splats position into samples, extracts line_vertices and
// clears every sample in the same pass; the frame driver draws line_vertices.
struct SurfaceGrid {
    float radius;         // r: splat radius in lattice units
    float iso_level;      // 1.0
    uint32_t resolution;  // R: R x R cells
    float field_size;     // L: far wall, scales world to lattice
    const Vec2* position; // the simulation's position array, which never moves
    uint32_t count;
    int32_t line_vertex_count;
};

extern SurfaceGrid* surface_grid;

// The block is 4096 bytes per lattice row plus 4: enough for the (R + 1)^2 samples up to
// R = 1021, the rest going to line vertices (about 57 200 of them at R = 128).
constexpr int32_t max_surface_resolution = 1021;
static_assert(max_surface_resolution == setting_limit::surf_resolution_hi,
              "the surf_resolution setting's limit");

// Creates the process-wide grid (replacing any earlier one); false, and no grid, when the
// resolution is outside 1..max_surface_resolution (the block would not hold the samples), the
// count is negative or the block cannot be allocated.
bool create_surface_grid(float radius, int32_t resolution, float field_size, const Vec2* position,
                         int32_t count);
float* surface_samples(SurfaceGrid* grid);
Vec2* surface_line_vertices(SurfaceGrid* grid);
int32_t surface_vertex_capacity(const SurfaceGrid* grid);
void update_surface();
void release_surface_grid();
