// main of the core's test programs: no window and no engine. The settings of the tool under test
// live in a directory of this run, never the user's.
#include <gtest/gtest.h>

#include "support/settings_dir.h"

int main(int argc, char** argv) {
    if (!ovx::testing::UseSettingsDirOfThisRun()) {
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
