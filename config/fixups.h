#pragma once

struct GraphConfig;
struct PhysConfig;

// Settings that depend on each other, written into the records so every reader sees them:
// mode 1 has no colours, diffusion or bodies; density and speed colours do not diffuse.
void apply_fixups(GraphConfig& graph, PhysConfig& phys);
