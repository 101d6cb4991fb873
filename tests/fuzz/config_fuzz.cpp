// libFuzzer target: arbitrary bytes as config.ini, through the loaders, the start-up fix-ups and
// the validation; settings that pass are then run for a few physics steps with the surface
// outline, capped in size so that one input stays fast. Settings the validation accepts but
// initialisation refuses are a finding: the program would start and then fail.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/config.h"
#include "config/fixups.h"
#include "sph/physics_step.h"
#include "sph/settings_check.h"
#include "sph/sim_state.h"
#include "sph/steps.h"
#include "surface/surface.h"

namespace {

std::string config_path() {
    static std::string path = [] {
        char name[] = "/tmp/tarnwell-fuzz-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    return path;
}

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = config_path();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);

    // Warnings and refusals quote the file's texts, so they are written out too, to a sink.
    std::FILE* sink = std::fopen("/dev/null", "w");
    if (sink == nullptr) return 0;
    GraphConfig graph;
    PhysConfig phys;
    WrittenSettings written;
    load_settings(path.c_str(), false, &graph, &phys, &written, sink);
    apply_fixups(graph, phys);
    const int refused = validate_settings(graph, phys, &written, sink);
    std::fclose(sink);
    if (refused != 0) return 0;
    if (!sim_settings_buildable(phys)) finding("accepted settings no simulation can be built from");

    // Accepted settings may still ask for 65,536 particles or a 1024-cell grid; keep each input
    // to a few milliseconds so the fuzzer explores the reader rather than waiting on physics.
    const double h = phys.smooth_radius;
    if ((h * 2 + phys.field_size) / h > 200.0) return 0;
    phys.count = std::min(phys.count, 300);
    phys.geom_count = std::min(phys.geom_count, 4);

    if (!sim_init_seeded(graph.point_colors, phys, graph.point_diffusion, 12345u))
        finding("initialisation refused accepted settings");
    const bool surface = graph.render_type == 1;
    if (surface && !create_surface_grid(graph.surf_radius, graph.surf_resolution, phys.field_size,
                                        sim.position, sim.count))
        finding("the outline lattice refused accepted settings");
    StepProfile profile;
    const float extent = phys.smooth_radius + phys.field_size;
    for (int step = 0; step < 3; ++step) {
        physics_step(&profile);
        apply_mouse_force(extent * 0.5f, extent * 0.25f, step % 2 == 0 ? 1.0f : -1.0f);
        if (surface) update_surface();
    }
    release_surface_grid();
    sim_free();
    return 0;
}
