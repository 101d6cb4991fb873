#include <gtest/gtest.h>

#include <string>

#include "app/state_dump.h"

// The numbered dumps must land beside the final one and sort by step; a wrong split of the name
// would scatter them into other folders or glue the number onto the extension.
TEST(StateDump, NumberedPathsGoBeforeTheExtensionOfTheNameOnly) {
    struct Case {
        const char* path;
        long long step;
        const char* want;
    };
    const Case cases[] = {
        {"out.txt", 300, "out-000300.txt"},
        {"out", 300, "out-000300"},
        {"runs.d/out.txt", 5, "runs.d/out-000005.txt"},
        {"../out", 5, "../out-000005"},
        {"/tmp/a.b/c.dump.txt", 1, "/tmp/a.b/c.dump-000001.txt"},
        {"dir/.hidden", 10, "dir/.hidden-000010"},
        {"out.", 10, "out-000010."},
        {"out.txt", 1234567, "out-1234567.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(numbered_dump_path(c.path, c.step), c.want) << c.path << " at step " << c.step;
}
