#include <QSocketNotifier>

#include <utility>

#include "ui/readable_notifier.h"

namespace ovx::ui::detail {
namespace {

class SocketNotifier final : public ReadableNotifier {
  public:
    SocketNotifier(int fd, std::function<void()> onReadable)
        : notifier_(new QSocketNotifier(fd, QSocketNotifier::Read)) {
        notifier_->setEnabled(false);
        QObject::connect(notifier_, &QSocketNotifier::activated, std::move(onReadable));
    }
    ~SocketNotifier() override { delete notifier_; }
    void SetEnabled(bool on) override { notifier_->setEnabled(on); }
    void DeleteLater() override {
        notifier_->setEnabled(false);
        notifier_->deleteLater(); // deleting it inside its own signal is not allowed
        notifier_ = nullptr;
        delete this;
    }

  private:
    QSocketNotifier* notifier_;
};

} // namespace

std::unique_ptr<ReadableNotifier> MakeReadableNotifier(int fd, std::function<void()> onReadable) {
    return std::make_unique<SocketNotifier>(fd, std::move(onReadable));
}

} // namespace ovx::ui::detail
