// The invariants of base/assert.h: in a build that checks them, breaking one stops the program
// at once with the place and the rule; in one that does not, the check costs nothing, not even
// the evaluation of its condition. The death tests run only where the checks are compiled in
// (the debug and sanitizer builds); CI runs them there.

#include <gtest/gtest.h>

#include <atomic>

#include "base/assert.h"
#include "base/workers.h"
#include "sph/row_pipeline.h"

namespace {

// The pool's threads must not be forked: each death test runs in a fresh copy of this program.
void fresh_process_per_death_test() {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
}

TEST(Invariants, ConditionIsEvaluatedOnlyWhereChecked) {
    int evaluated = 0;
    TARNWELL_ASSERT(++evaluated == 1, "evaluated once");
    EXPECT_EQ(evaluated, TARNWELL_ASSERTIONS_ON ? 1 : 0);
}

TEST(Invariants, BrokenOneNamesThePlaceAndTheRule) {
    if (!TARNWELL_ASSERTIONS_ON) GTEST_SKIP() << "this build checks no invariants";
    fresh_process_per_death_test();
    const int cells = 3;
    EXPECT_DEATH(TARNWELL_ASSERT(cells < 2, "two cells at most"),
                 "invariants_test\\.cpp:[0-9]+: broken invariant: two cells at most "
                 "\\(cells < 2\\)");
}

// A lane that starts lanes of its own would wait on itself in a pool; without one it would
// merely run them inline, so the rule is enforced on both paths.
TEST(Invariants, RunLanesFromInsideALaneStops) {
    if (!TARNWELL_ASSERTIONS_ON) GTEST_SKIP() << "this build checks no invariants";
    fresh_process_per_death_test();
    const char* const rule = "workers\\.cpp:[0-9]+: broken invariant: run_lanes called from "
                             "inside a lane";
    EXPECT_DEATH(
        {
            stop_workers();
            run_lanes(2, [](int) { run_lanes(1, [](int) {}); });
        },
        rule);
    EXPECT_DEATH(
        {
            start_workers(2);
            run_lanes(4, [](int lane) {
                if (lane == 3) run_lanes(2, [](int) {});
            });
        },
        rule);
    // One dispatch after another is the normal case and must pass.
    start_workers(2);
    std::atomic<int> runs{0};
    for (int round = 0; round < 3; ++round)
        run_lanes(2, [&](int) { ++runs; });
    stop_workers();
    EXPECT_EQ(runs.load(), 6);
}

// Lanes of the row pipeline wait for each other, so each needs its own thread.
TEST(Invariants, PipelineWithMoreLanesThanThreadsStops) {
    if (!TARNWELL_ASSERTIONS_ON) GTEST_SKIP() << "this build checks no invariants";
    fresh_process_per_death_test();
    EXPECT_DEATH(
        {
            start_workers(2);
            visit_rows_pipelined(3, [](int32_t, int32_t) {});
        },
        "row_pipeline\\.h:[0-9]+: broken invariant: more pipeline lanes than threads");
}

} // namespace
