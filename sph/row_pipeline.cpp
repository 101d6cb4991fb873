#include "sph/row_pipeline.h"

namespace {
// Only the thread that runs the steps starts passes.
uint32_t passes_started = 0;
} // namespace

uint32_t next_pipeline_pass() {
    ++passes_started;
    if (passes_started == 0) ++passes_started; // 0 is what a fresh progress record holds
    return passes_started;
}
