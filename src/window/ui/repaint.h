// Inside the engine: paints what indicators were given while no events ran. Called by every
// service that is about to block (Delay, ComRd, GetInQLen's wait) so that values written during
// a blocking sequence reach the screen.
#pragma once

class QObject;
class QWidget;

namespace ovx::ui::detail {

void FlushPendingRepaints();
// Called by every flush: panes that show a log (the protocol monitor) catch up in blocking
// sequences too. The hook is removed when owner is destroyed.
void AddFlushHook(QObject* owner, void (*hook)(QObject* owner));

// A control's value was written: it is painted by the next flush, and at once when the last
// flush is older than about 20 ms. Cheap enough for thousands of calls per second.
void NoteWritten(QWidget* widget);

// True while FlushPendingRepaints paints: those paints are not to be held back.
bool FlushInProgress();

// A dialog has just closed: every visible window is painted at once, not held back, so that
// what lay under the dialog is shown again even when a blocking sequence (a flash run after the
// question that started it) keeps the event loop from the window system's expose events.
void RepaintWindowsNow();

// Events are being processed: what was written is painted by the event loop, so no flush is due
// for another interval. Keeps a loop that processes events after every write (the live run)
// from painting synchronously between a reply and its next request.
void NoteEventsProcessed();

} // namespace ovx::ui::detail
