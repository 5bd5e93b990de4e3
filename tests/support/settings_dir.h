// Every test program keeps the settings of the tool under test in a folder of its own run, never
// the user's: XDG_CONFIG_HOME points there until the program ends, then the folder goes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace ovx::testing {

// false when the folder cannot be made.
inline bool UseSettingsDirOfThisRun() {
    char configDir[] = "/tmp/ovx-test-config-XXXXXX";
    if (mkdtemp(configDir) == nullptr) {
        return false;
    }
    setenv("XDG_CONFIG_HOME", configDir, 1);
    static std::string made = configDir;
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    });
    return true;
}

} // namespace ovx::testing
