#include "ui/repaint.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <chrono>
#include <vector>

#include "ui/held_values.h"

namespace ovx::ui::detail {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kFlushInterval = std::chrono::milliseconds(20);

// Widgets written since the last flush; few and mostly the same ones, so a flat list.
std::vector<QPointer<QWidget>>& Pending() {
    static std::vector<QPointer<QWidget>> pending = [] {
        std::vector<QPointer<QWidget>> v;
        v.reserve(64);
        return v;
    }();
    return pending;
}

Clock::time_point lastFlush;
bool flushing = false;

struct Hook {
    QPointer<QObject> owner;
    void (*fn)(QObject*);
};
std::vector<Hook>& Hooks() {
    static std::vector<Hook> hooks;
    return hooks;
}

void RunHooks() {
    auto& hooks = Hooks();
    std::erase_if(hooks, [](const Hook& h) { return h.owner.isNull(); });
    for (const Hook& h : hooks) {
        h.fn(h.owner.data());
    }
}

bool IsPending(const QWidget* widget) {
    for (const auto& p : Pending()) {
        if (p.data() == widget) {
            return true;
        }
    }
    return false;
}

} // namespace

void FlushPendingRepaints() {
    if (flushing) {
        return; // a paint that writes a value must not start another flush
    }
    // Written before the flush starts: the boxes' own update requests stay paced, and the
    // repaints below show the values.
    WriteHeldValues(nullptr);
    flushing = true;
    lastFlush = Clock::now();
    auto& pending = Pending();
    for (const auto& p : pending) {
        if (!p.isNull() && p->isVisible()) {
            p->repaint();
        }
    }
    pending.clear();
    RunHooks();
    flushing = false;
}

void AddFlushHook(QObject* owner, void (*hook)(QObject* owner)) {
    Hooks().push_back({owner, hook});
}

void NoteEventsProcessed() {
    lastFlush = Clock::now();
}

bool FlushInProgress() {
    return flushing;
}

void RepaintWindowsNow() {
    const bool was = flushing;
    flushing = true;
    // The window system's expose events for what the dialog covered wait for the event loop.
    // The dialog's own loop ran every kind of event a moment ago, so running all but input and
    // the serial notifiers here adds no new reentrance.
    QCoreApplication::processEvents(
        QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers, 50);
    // A window's repaint leaves out the charts that paint themselves opaquely: each is marked.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible()) {
            continue;
        }
        for (QWidget* child : w->findChildren<QWidget*>()) {
            if (child->isVisible() && child->testAttribute(Qt::WA_OpaquePaintEvent)) {
                child->update();
            }
        }
        w->repaint();
    }
    flushing = was;
}

void NoteWritten(QWidget* widget) {
    if (widget == nullptr) {
        return;
    }
    if (!IsPending(widget)) {
        Pending().emplace_back(widget);
    }
    if (Clock::now() - lastFlush > kFlushInterval) {
        FlushPendingRepaints();
    }
}

} // namespace ovx::ui::detail
