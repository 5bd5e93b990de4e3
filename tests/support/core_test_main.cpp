// main of the core's test programs: no window and no engine. The settings of the tool under test
// live in a directory of this run, never the user's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    char configDir[] = "/tmp/ovx-test-config-XXXXXX";
    if (mkdtemp(configDir) == nullptr) {
        return 1;
    }
    setenv("XDG_CONFIG_HOME", configDir, 1);
    static std::string made = configDir;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
