#include "ui/event_watch_qt.h"

#include <QTimer>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "platform/events.h"
#include "ui/readable_notifier.h"

namespace ovx::ui::detail {
namespace {

struct Notifier {
    std::unique_ptr<ReadableNotifier> notifier;
    std::shared_ptr<bool> firing = std::make_shared<bool>(false);
};

class QtWatchBackend final : public platform::WatchBackend {
  public:
    void WatchAdded(int id, int fd) override {
        Notifier n;
        n.notifier = MakeReadableNotifier(fd, [id, firing = n.firing] {
            const auto keep = firing; // the handler may remove the watch
            *firing = true;
            platform::ServeWatch(id);
            *firing = false;
        });
        notifiers_[id] = std::move(n);
    }

    void WatchArmed(int id, bool on) override {
        if (const auto it = notifiers_.find(id); it != notifiers_.end()) {
            it->second.notifier->SetEnabled(on);
        }
    }

    void WatchRemoved(int id) override {
        const auto it = notifiers_.find(id);
        if (it == notifiers_.end()) {
            return;
        }
        it->second.notifier->SetEnabled(false);
        if (*it->second.firing) {
            it->second.notifier.release()->DeleteLater();
        }
        notifiers_.erase(it);
    }

    void TimerStarted(int id, double seconds) override {
        auto& timer = timers_[id];
        if (!timer) {
            timer = std::make_unique<QTimer>();
            timer->setSingleShot(true);
            timer->setTimerType(Qt::PreciseTimer);
            QObject::connect(timer.get(), &QTimer::timeout, [id] { platform::ServeTimer(id); });
        }
        // Whole milliseconds, at most about three weeks (the timer's limit).
        timer->start(static_cast<int>(std::lround(std::clamp(seconds * 1000.0, 0.0, 2e9))));
    }

    void TimerStopped(int id) override {
        if (const auto it = timers_.find(id); it != timers_.end()) {
            it->second->stop();
        }
    }

  private:
    std::map<int, Notifier> notifiers_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
};

} // namespace

void InstallQtWatchBackend() {
    static QtWatchBackend backend;
    platform::SetWatchBackend(&backend);
}

} // namespace ovx::ui::detail
