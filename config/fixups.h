#pragma once

struct GraphConfig;
struct PhysConfig;

// Settings that depend on each other, written into the records so every reader sees them:
// mode 1 has no colours, diffusion or bodies; density, speed and compression colours do not
// diffuse.
void apply_fixups(GraphConfig& graph, PhysConfig& phys);

// Whether colour scheme `point_colors` shows a quantity recomputed every step (density, speed,
// compression), which diffusing would only blur.
inline bool colours_show_quantity(int point_colors) {
    return point_colors >= 2 && point_colors <= 4;
}
