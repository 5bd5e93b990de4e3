// The run-time engine's application object and event loop.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <optional>
#include <vector>

#include "platform/errors.h"
#include "platform/events.h"
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

// Wakes a waiting ProcessSystemEvents every kWakeUpMs, so that a loop polling a flag or a
// time-out waits in the OS instead of spinning. It stops itself once no one polls. The period
// bounds how late such a loop notices its time-out (fd notifiers and events wake it at once);
// every wake-up costs a context switch, and at 1 ms they were half of the live view's CPU.
constexpr int kWakeUpMs = 2;

class WakeUpTimer {
  public:
    void Poll() {
        ++polls_;
        if (timer_ == nullptr) {
            timer_ = new QTimer(QCoreApplication::instance());
            timer_->setTimerType(Qt::PreciseTimer);
            timer_->setInterval(kWakeUpMs);
            QObject::connect(timer_, &QTimer::timeout, timer_, [this] { Tick(); });
        }
        if (!timer_->isActive()) {
            timer_->start();
        }
    }

  private:
    void Tick() {
        if (polls_ == 0) {
            timer_->stop();
        }
        polls_ = 0;
    }

    QTimer* timer_ = nullptr;
    unsigned polls_ = 0;
};

WakeUpTimer wakeUp;

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
    platform::SetEventHook(ProcessSystemEvents); // the core's waits process the window's events
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
    if (QApplication::instance() == nullptr) {
        return;
    }
    wakeUp.Poll();
    detail::NoteEventsProcessed();
    platform::EnterEventSequence();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    platform::LeaveEventSequence();
}

} // namespace ovx::ui
