// The window's notice that a watched descriptor of the core (events.h) is readable, inside the
// Qt event loop. One file per OS: on POSIX a socket notifier on the descriptor; on Windows, where
// a watch's number names a probe of the core (pollable_win32.h), a 1 ms timer that asks it.
#pragma once

#include <functional>
#include <memory>

namespace ovx::ui::detail {

class ReadableNotifier {
  public:
    virtual ~ReadableNotifier() = default;
    // Starts disabled.
    virtual void SetEnabled(bool on) = 0;
    // Ends the notifier from inside its own callback: disabled now, deleted by the event loop.
    virtual void DeleteLater() = 0;
};

std::unique_ptr<ReadableNotifier> MakeReadableNotifier(int fd, std::function<void()> onReadable);

} // namespace ovx::ui::detail
