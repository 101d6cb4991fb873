#pragma once

// The stages of a physics step, in the order the step runs them. This table is the one place
// that names them: the step's profile, tarnwell-sim's report and the benchmark's counters
// (`key` + "_ms", which tools/plot_bench.sh reads back) all follow it.
struct StepStage {
    const char* name; // for people: "sort and grid"
    const char* key;  // for machines: "sort_grid"
    void (*run)();
};
constexpr int step_stage_count = 8;
// sort and grid (cell keys .. cell grid), neighbours, density (and pressure), forces (pair
// forces with the colour exchange), bodies (contacts and motion; nothing without bodies),
// obstacles (the scene's obstacles and moving wall push the fluid), integrate, emitters (drains
// feed emitters; the scene's clock advances).
extern const StepStage step_stages[step_stage_count];

// Wall time of each stage of the last physics step and of the whole step, in milliseconds.
struct StepProfile {
    double stage_ms[step_stage_count];
    double total;
};

// One physics step: the stages above in order. Stirring is separate (apply_mouse_force), and
// so is choosing the thread count from the step's time (tune_pool_after_step), which the
// callers that let the program choose do with profile.total.
void physics_step(StepProfile* profile);
