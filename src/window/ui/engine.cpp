// The run-time engine's application object and event loop.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/timing.h"
#include "ui/event_watch_qt.h"
#include "ui/panel.h"
#include "ui/repaint.h"

namespace ovx::ui {

namespace {

// QApplication keeps references to argc and argv for its whole life.
int appArgc = 1;
std::vector<char*> appArgv;
char defaultName[] = "ovextar";

std::vector<QEventLoop*> runLoops;
std::optional<int> quitBeforeRun;

// How long ProcessSystemEvents waits at most when nothing is pending.
constexpr double kBriefWait = 0.002;

// Ends a wait of ProcessSystemEventsUntil at its deadline: one single-shot timer, armed for the
// deadline of the wait that blocks now. The descriptor notifiers and the window's own events
// wake the loop for everything else, so a waiting loop sleeps until a frame, a click or its
// time-out comes (a periodic wake-up every 2 ms was two thirds of the live view's wake-ups).
// A deadline armed already is left alone when it comes no later than the new one: the live run
// moves its deadline (the line's time-out) with every frame, and restarting the timer each time
// costs more than the turn that the old deadline ends early every two seconds.
class DeadlineTimer {
  public:
    void Arm(double until) {
        if (timer_ == nullptr) {
            timer_ = new QTimer(QCoreApplication::instance());
            timer_->setSingleShot(true);
            timer_->setTimerType(Qt::PreciseTimer);
        }
        if (timer_->isActive() && armedFor_ <= until) {
            return;
        }
        armedFor_ = until;
        // Whole milliseconds, rounded up: the timer never ends a wait before its deadline.
        const double ms = std::ceil((until - platform::Timer()) * 1000.0);
        timer_->start(static_cast<int>(std::clamp(ms, 0.0, 2e9)));
    }

  private:
    QTimer* timer_ = nullptr;
    double armedFor_ = 0.0;
};

DeadlineTimer deadline;

} // namespace

int InitEngine(int argc, char** argv) {
    if (QApplication::instance() != nullptr) {
        return 0;
    }
    if (argc > 0 && argv != nullptr) {
        appArgc = argc;
        appArgv.assign(argv, argv + argc);
    } else {
        appArgc = 1;
        appArgv.assign(1, defaultName);
    }
    appArgv.push_back(nullptr);
    // The plain poll() dispatcher costs a third less per wake-up than the glib one, and the
    // loop wakes about a thousand times a second while a sequence polls.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB")) {
        qputenv("QT_NO_GLIB", "1");
    }
    auto* app = new QApplication(appArgc, appArgv.data()); // lives as long as the program
    app->setQuitOnLastWindowClosed(false);
    platform::SetEventHook(
        ProcessSystemEventsUntil); // the core's waits process the window's events
    platform::SetBlockingHook(detail::FlushPendingRepaints);
    detail::InstallQtWatchBackend(); // watches and timers run inside the window's events
    return 0;
}

int InitEngineHeadless(int argc, char** argv) {
    if (QApplication::instance() == nullptr) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    return InitEngine(argc, argv);
}

int RunUserInterface() {
    if (QApplication::instance() == nullptr) {
        return platform::kUiNotInitialised;
    }
    if (quitBeforeRun) {
        const int code = *quitBeforeRun;
        quitBeforeRun.reset();
        return code;
    }
    QEventLoop loop;
    runLoops.push_back(&loop);
    const int code = loop.exec();
    runLoops.pop_back();
    return code;
}

int QuitUserInterface(int code) {
    if (QApplication::instance() == nullptr) {
        return platform::kUiNotInitialised;
    }
    if (runLoops.empty()) {
        quitBeforeRun = code; // the next RunUserInterface returns at once
    } else {
        runLoops.back()->exit(code);
    }
    return 0;
}

void ProcessSystemEvents() {
    ProcessSystemEventsUntil(platform::Timer() + kBriefWait);
}

void ProcessSystemEventsUntil(double until) {
    if (QApplication::instance() == nullptr) {
        return;
    }
    deadline.Arm(until);
    detail::NoteEventsProcessed();
    platform::EnterEventSequence();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // Also after the wait, which may have slept long: the window's paints were just due to the
    // event loop, so the writes that follow (a live frame's) are painted by it, not flushed.
    detail::NoteEventsProcessed();
    platform::LeaveEventSequence();
}

} // namespace ovx::ui
