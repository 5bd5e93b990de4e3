// main of every test program: the engine (a QApplication, offscreen) exists for all tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/panel.h"

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The settings of the tool under test live in a directory of this run, never the user's.
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
    if (ovx::platform::InitEngine(argc, argv) < 0) {
        return 1;
    }
    return RUN_ALL_TESTS();
}
