#include "config/fixups.h"

#include "config/config.h"

void apply_fixups(GraphConfig& graph, PhysConfig& phys) {
    if (graph.render_type == 1) {
        // The iso-line outline is drawn in one colour over the fluid alone.
        graph.point_colors = 0;
        phys.geom_count = 0;
        graph.point_diffusion = 0.0f;
    } else if (colours_show_quantity(graph.point_colors)) {
        graph.point_diffusion = 0.0f;
    }
}
