// main of every test program: the engine (a QApplication, offscreen) exists for all tests, and
// a modal dialog that no test expects fails its test at once instead of waiting for a person.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/events.h"
#include "support/event_hook_restore.h"
#include "support/modal_driver.h"
#include "support/settings_dir.h"
#include "ui/event_watch_qt.h"
#include "ui/panel.h"

namespace {

// Every test runs under a driver that expects no dialog; a test's own driver takes over.
class ModalGuard : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        // Looked for ten times a second: tests that count the wake-ups of their waits see few.
        driver_ = std::make_unique<ovx::testing::ModalDialogDriver>(
            std::vector<ovx::testing::DialogStep>{}, std::chrono::seconds(20),
            std::chrono::milliseconds(100));
    }
    void OnTestEnd(const ::testing::TestInfo&) override { driver_.reset(); }
    std::unique_ptr<ovx::testing::ModalDialogDriver> driver_;
};

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The settings of the tool under test live in a directory of this run, never the user's.
    if (!ovx::testing::UseSettingsDirOfThisRun()) {
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    if (ovx::ui::InitEngine(argc, argv) < 0) {
        return 1;
    }
    // Tests of the core's own waits remove the engine's hook and watch backend for a while.
    ovx::testing::RestoreEventHook() = [] {
        ovx::platform::SetEventHook(ovx::ui::ProcessSystemEventsUntil);
        ovx::ui::detail::InstallQtWatchBackend();
    };
    ::testing::UnitTest::GetInstance()->listeners().Append(new ModalGuard);
    return RUN_ALL_TESTS();
}
