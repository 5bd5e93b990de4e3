#include <QTimer>

#include <utility>

#include "platform/pollable_win32.h"
#include "ui/readable_notifier.h"

namespace ovx::ui::detail {
namespace {

// Asks the core's probe once a millisecond while enabled.
class ProbeNotifier final : public ReadableNotifier {
  public:
    ProbeNotifier(int id, std::function<void()> onReadable) : timer_(new QTimer) {
        timer_->setInterval(1);
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_, &QTimer::timeout, [id, onReadable = std::move(onReadable)] {
            if (platform::detail::PollableReady(id)) {
                onReadable();
            }
        });
    }
    ~ProbeNotifier() override { delete timer_; }
    void SetEnabled(bool on) override {
        if (on) {
            timer_->start();
        } else {
            timer_->stop();
        }
    }
    void DeleteLater() override {
        timer_->stop();
        timer_->deleteLater(); // deleting it inside its own signal is not allowed
        timer_ = nullptr;
        delete this;
    }

  private:
    QTimer* timer_;
};

} // namespace

std::unique_ptr<ReadableNotifier> MakeReadableNotifier(int fd, std::function<void()> onReadable) {
    return std::make_unique<ProbeNotifier>(fd, std::move(onReadable));
}

} // namespace ovx::ui::detail
