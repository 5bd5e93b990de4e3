#include "platform/events.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <utility>
#include <vector>

#include "platform/events_os.h"
#include "platform/timing.h"

namespace ovx::platform {

namespace {

using Clock = std::chrono::steady_clock;

EventHook eventHook = nullptr;
BlockingHook blockingHook = nullptr;
WatchBackend* backend = nullptr;
int sequenceDepth = 0; // event sequences running

struct Watch {
    int fd = -1;
    WatchHandler handler;
    bool enabled = false;
    bool running = false;
    bool backendArmed = false; // what the backend was last told (its notifiers start disarmed)
    bool Armed() const { return enabled && !running; }
};

struct OneShot {
    WatchHandler handler;
    bool active = false;
    bool running = false;
    Clock::time_point due{};
};

// Ids are never reused: a handler that removes its watch and adds another is not confused.
int nextId = 1;
std::map<int, Watch> watches;
std::map<int, OneShot> timers;

// Tells the backend when the watch's state differs from what it was told.
void Arm(int id, Watch& w) {
    if (backend != nullptr && w.backendArmed != w.Armed()) {
        w.backendArmed = w.Armed();
        backend->WatchArmed(id, w.backendArmed);
    }
}

double SecondsUntil(Clock::time_point due) {
    return std::max(std::chrono::duration<double>(due - Clock::now()).count(), 0.0);
}

Clock::time_point ClockOf(double timerSeconds) {
    const std::chrono::duration<double> left(std::clamp(timerSeconds - Timer(), 0.0, 1e9));
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(left);
}

// The earliest of deadline and the timers that may run now.
Clock::time_point NextDue(Clock::time_point deadline) {
    for (const auto& [id, t] : timers) {
        if (t.active && !t.running) {
            deadline = std::min(deadline, t.due);
        }
    }
    return deadline;
}

// One wait in the OS on the armed watches; serves those that became ready and the timers due.
// False when nothing happened before the deadline.
bool ServeOneTurn(Clock::time_point until) {
    std::vector<int> ids;
    std::vector<detail::PolledFd> fds;
    for (const auto& [id, w] : watches) {
        if (w.Armed()) {
            ids.push_back(id);
            fds.push_back({w.fd});
        }
    }
    const Clock::time_point due = NextDue(until);
    bool happened = due < until;
    if (detail::WaitForReadable(fds, due)) {
        happened = true;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].invalid) {
            EnableWatch(ids[i], false); // a closed descriptor would be reported ready for ever
        } else if (fds[i].ready) {
            ServeWatch(ids[i]);
        }
    }
    std::vector<int> dueTimers;
    for (const auto& [id, t] : timers) {
        if (t.active && !t.running && t.due <= Clock::now()) {
            dueTimers.push_back(id);
        }
    }
    for (const int id : dueTimers) {
        ServeTimer(id);
    }
    return happened;
}

} // namespace

void WaitForEvents(double until) {
    if (eventHook != nullptr) {
        eventHook(until);
        return;
    }
    const Clock::time_point end = ClockOf(until);
    EnterEventSequence();
    while (!ServeOneTurn(end) && Clock::now() < end) {
        // woken a moment before the deadline: wait out the rest
    }
    LeaveEventSequence();
}

void EnterEventSequence() {
    ++sequenceDepth;
}

void LeaveEventSequence() {
    --sequenceDepth;
}

bool InsideEventSequence() {
    return sequenceDepth > 0;
}

void SetEventHook(EventHook hook) {
    eventHook = hook;
}

bool EventHookInstalled() {
    return eventHook != nullptr;
}

void WakeEventWait() {
    detail::WakeOsWait();
}

void SetBlockingHook(BlockingHook hook) {
    blockingHook = hook;
}

void BeforeBlocking() {
    if (blockingHook != nullptr) {
        blockingHook();
    }
}

int AddWatch(int fd, WatchHandler handler) {
    const int id = nextId++;
    watches[id] = Watch{fd, std::move(handler)};
    if (backend != nullptr) {
        backend->WatchAdded(id, fd);
    }
    return id;
}

void EnableWatch(int id, bool on) {
    const auto it = watches.find(id);
    if (it == watches.end() || it->second.enabled == on) {
        return;
    }
    it->second.enabled = on;
    Arm(id, it->second);
}

void RemoveWatch(int id) {
    if (watches.erase(id) != 0 && backend != nullptr) {
        backend->WatchRemoved(id);
    }
}

int AddTimer(WatchHandler handler) {
    const int id = nextId++;
    timers[id] = OneShot{std::move(handler)};
    return id;
}

void StartTimer(int id, double seconds) {
    const auto it = timers.find(id);
    if (it == timers.end()) {
        return;
    }
    const std::chrono::duration<double> wait(std::clamp(seconds, 0.0, 1e9));
    it->second.active = true;
    it->second.due = Clock::now() + std::chrono::duration_cast<Clock::duration>(wait);
    if (backend != nullptr) {
        backend->TimerStarted(id, wait.count());
    }
}

void StopTimer(int id) {
    const auto it = timers.find(id);
    if (it == timers.end() || !it->second.active) {
        return;
    }
    it->second.active = false;
    if (backend != nullptr) {
        backend->TimerStopped(id);
    }
}

bool TimerActive(int id) {
    const auto it = timers.find(id);
    return it != timers.end() && it->second.active;
}

void RemoveTimer(int id) {
    StopTimer(id);
    timers.erase(id);
}

void SetWatchBackend(WatchBackend* newBackend) {
    if (backend != nullptr) {
        for (const auto& [id, t] : timers) {
            if (t.active) {
                backend->TimerStopped(id);
            }
        }
        for (const auto& [id, w] : watches) {
            backend->WatchRemoved(id);
        }
    }
    backend = newBackend;
    for (auto& [id, w] : watches) {
        w.backendArmed = false;
    }
    if (backend == nullptr) {
        return;
    }
    for (auto& [id, w] : watches) {
        backend->WatchAdded(id, w.fd);
        Arm(id, w);
    }
    for (const auto& [id, t] : timers) {
        if (t.active) {
            backend->TimerStarted(id, SecondsUntil(t.due));
        }
    }
}

// The handler is never re-entered, even when it processes events. The backend's notifier stays
// armed while it runs (switching it off and on again costs two updates of the event dispatcher's
// lists each frame) and is switched off only should it fire meanwhile.
void ServeWatch(int id) {
    auto it = watches.find(id);
    if (it == watches.end()) {
        return;
    }
    if (!it->second.Armed()) {
        Arm(id, it->second); // fired while its handler runs: off until the handler returns
        return;
    }
    it->second.running = true;
    const WatchHandler handler = it->second.handler; // the handler may remove its watch
    handler();
    it = watches.find(id);
    if (it != watches.end()) {
        it->second.running = false;
        Arm(id, it->second);
    }
}

void ServeTimer(int id) {
    auto it = timers.find(id);
    if (it == timers.end() || !it->second.active || it->second.running) {
        return;
    }
    it->second.active = false;
    it->second.running = true;
    const WatchHandler handler = it->second.handler;
    handler();
    it = timers.find(id);
    if (it == timers.end()) {
        return;
    }
    it->second.running = false;
    if (it->second.active && backend != nullptr) {
        // Started again by the handler, perhaps due while it ran: the backend may have skipped it.
        backend->TimerStarted(id, SecondsUntil(it->second.due));
    }
}

} // namespace ovx::platform
