// The window's backend of the core's watches and timers (events.h): socket notifiers and
// single-shot timers of the Qt event loop, so that handlers run inside the window's event
// processing. InitEngine installs it.
#pragma once

namespace ovx::ui::detail {

void InstallQtWatchBackend();

} // namespace ovx::ui::detail
