// Serial services: the port table, per-port state and the receive notification, on top of the
// OS interface of serial_os.h.
//
// Opening a port that is already open closes it first and opens it again with the new
// settings: the time-out returns to 10 s and the notification is removed, as after CloseCom.
// Notification: only kEvNotifyCount is reported, for a notify count of 1..255. The callback is
// told again while it leaves at least the notify count queued, except when it took no byte and
// no byte arrived while it ran: those same bytes are not reported twice.
// Waiting for a count, the OS wakes the program at every piece of bytes that arrives (36
// wake-ups for a frame that comes byte by byte, each a context switch). The missing bytes cannot
// come sooner than the line carries them, so the notifier waits for the first byte, then sleeps
// for the line time of the rest, then waits for the count: three wake-ups a frame, and the frame
// is reported as soon as before. When the first piece turns out large, the line wakes the OS's
// wait only a few times a frame, and the notifier waits for the count at once: one wake-up.
#include "platform/serial.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <optional>
#include <utility>

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/events_os.h"
#include "platform/port_watch.h"
#include "platform/serial_os.h"
#include "platform/trace.h"

namespace ovx::platform {
namespace {

using detail::Clock;
using detail::OsPort;

constexpr double kDefaultTimeout = 10.0;
constexpr double kMaxTimeout = 365.0 * 24 * 3600; // keeps the deadline arithmetic in range
constexpr int kNoCount = -1000;                   // GetInQLen was not the last call
constexpr auto kInQueueWait = std::chrono::milliseconds(1);

bool readsInterruptible = false; // SetComReadsInterruptible

struct Notification {
    int mask = 0;
    int notifyCount = 0;
    ComCallback callback = nullptr;
    void* data = nullptr;
    bool Active() const { return callback != nullptr && (mask & kEvNotifyCount) != 0; }
};

struct PortSlot {
    std::unique_ptr<OsPort> os;
    double timeout = kDefaultTimeout;
    Notification notify;
    bool inCallback = false;
    bool readSinceNotify = false; // the queue was read or flushed since the callback started
    int armedAbove = 0;           // notify only when more than this many bytes are queued
    int lastInQ = kNoCount;
    double byteSeconds = 0.0;    // line time of one byte at the port's settings
    bool heldThisArming = false; // the notifier slept out the missing bytes' line time once, or
                                 // chose to wait for the count at once
    int lineWait = 0;            // timer that runs while the missing bytes are still on the line
    bool firstByteArmed = false; // the notifier waits for the first byte of an empty queue
    int countArmings = 0;  // armings left that wait for the count at once: the line brings its
                           // bytes in large pieces
    int queuedAtLeast = 0; // the input queue holds at least this many bytes (it only grows until
                           // this program reads or flushes it)
};

std::array<PortSlot, kMaxPorts + 1> portSlots; // index = port number; 0 is unused
std::array<std::string, kMaxPorts + 1> registered;
std::vector<PortInfo> discovered;
PortOpenHook openHook = nullptr;

// Traces why port could not be opened and tells the window; returns error.
int OpenFailed(int port, const std::string& reason, int error) {
    TraceText("port", reason.c_str());
    if (openHook != nullptr) {
        openHook(port, reason.c_str());
    }
    return error;
}

bool ValidNumber(int port) {
    return port >= 1 && port <= kMaxPorts;
}

// Returns the open slot of port, or nullptr with error set.
PortSlot* OpenSlot(int port, int& error) {
    if (!ValidNumber(port)) {
        error = kComInvalidPortNumber;
        return nullptr;
    }
    if (!portSlots[port].os) {
        error = kComPortNotOpen;
        return nullptr;
    }
    return &portSlots[port];
}

detail::Deadline DeadlineOf(const PortSlot& slot) {
    const std::chrono::duration<double> wait(slot.timeout);
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(wait);
}

// The queue length a caller has just seen, so that the notifier need not ask the OS again.
using SeenQueue = std::optional<int>;

void UpdateNotifier(PortSlot& slot, SeenQueue seen = std::nullopt);

// How the notifier waits for the bytes it needs.
enum class Arming {
    kCount,     // for the count itself
    kFirstByte, // for the first byte of an empty queue
    kLineTime,  // for nothing, while the missing bytes are still on the line
};

// A line that brings its bytes in pieces of at least this many (a UART's receive FIFO, a pty
// written in chunks) wakes the OS's wait for the count only a few times a frame, which costs less
// than the notifier's own wake-ups for the first byte and after the line time.
constexpr int kLargePiece = 6;
// Waiting for the count at once, the notifier looks again at the pieces every so many armings.
constexpr int kArmingsBetweenProbes = 100;

Arming ChooseArming(PortSlot& slot, int need, SeenQueue seen) {
    const bool firstPiece = std::exchange(slot.firstByteArmed, false);
    if (slot.heldThisArming || slot.byteSeconds <= 0.0 || need <= 1) {
        return Arming::kCount;
    }
    const int queued = seen ? *seen : slot.os->InQueueLength();
    if (queued < 0 || queued >= need) {
        return Arming::kCount;
    }
    if (queued == 0 && slot.countArmings > 0) {
        --slot.countArmings;
        return Arming::kCount;
    }
    if (queued == 0) {
        slot.firstByteArmed = true;
        return Arming::kFirstByte;
    }
    if (firstPiece && queued >= kLargePiece) {
        slot.countArmings = kArmingsBetweenProbes;
        slot.heldThisArming = true;
        return Arming::kCount;
    }
    // Whole milliseconds, rounded down, less the millisecond by which a timer may come late:
    // the last bytes are then awaited on the line itself, and the frame is never reported late.
    const int holdMs = static_cast<int>((need - queued) * slot.byteSeconds * 1000.0) - 1;
    if (holdMs < 1) {
        return Arming::kCount;
    }
    slot.heldThisArming = true;
    if (slot.lineWait == 0) {
        const auto port = static_cast<int>(&slot - portSlots.data());
        slot.lineWait = AddTimer([port] { UpdateNotifier(portSlots[port]); });
    }
    StartTimer(slot.lineWait, holdMs / 1000.0);
    return Arming::kLineTime;
}

bool LineWaiting(const PortSlot& slot) {
    return TimerActive(slot.lineWait);
}

// Enables the notifier exactly when a notification is due at all. While the callback runs the
// notifier is left as it is (each frame's reads and flushes would switch it off and on again):
// it is settled once the callback returns, and switched off should it fire meanwhile.
void UpdateNotifier(PortSlot& slot, SeenQueue seen) {
    if (!slot.os || slot.inCallback) {
        return;
    }
    const int wakeCount = slot.armedAbove + 1;
    const bool want =
        slot.notify.Active() && !slot.os->HungUp() && wakeCount <= detail::kMaxWaitCount;
    if (!want || LineWaiting(slot)) {
        if (!want) {
            StopTimer(slot.lineWait);
        }
        slot.os->EnableReadableHook(false);
        return;
    }
    const Arming arming = ChooseArming(slot, wakeCount, seen);
    if (arming != Arming::kLineTime) {
        slot.os->SetReadableCount(arming == Arming::kFirstByte ? 1 : wakeCount);
    }
    slot.os->EnableReadableHook(arming != Arming::kLineTime);
}

// The queue changed through this program: a full queue is worth a notification again. After a
// flush the notifier takes the queue as empty without asking: should bytes have come meanwhile,
// it is armed for the first byte, reports ready at once and looks again then.
void Rearm(PortSlot& slot, bool flushed) {
    slot.readSinceNotify = true;
    slot.heldThisArming = false;
    StopTimer(slot.lineWait); // the bytes it waited for may be gone: look again
    slot.lastInQ = kNoCount;
    slot.queuedAtLeast = 0;
    slot.armedAbove = slot.notify.notifyCount - 1;
    UpdateNotifier(slot, flushed ? SeenQueue(0) : std::nullopt);
}

void OnReadable(int port) {
    PortSlot& slot = portSlots[port];
    if (slot.os && slot.inCallback) {
        slot.os->EnableReadableHook(false); // the callback processes events: quiet until it ends
        return;
    }
    if (!slot.os || !slot.notify.Active()) {
        return;
    }
    const int before = slot.os->InQueueLength();
    if (before < slot.notify.notifyCount || before <= slot.armedAbove) {
        UpdateNotifier(slot, before); // a dead line stays silent
        return;
    }
    const Notification n = slot.notify;
    slot.inCallback = true;
    slot.readSinceNotify = false;
    slot.queuedAtLeast = before; // the callback's read of them need not ask again
    n.callback(port, kEvNotifyCount, n.data);
    slot.inCallback = false;
    if (!slot.os) {
        return; // the callback closed the port
    }
    const int after = slot.os->InQueueLength();
    const bool moved = slot.readSinceNotify || after > before;
    slot.armedAbove = moved ? slot.notify.notifyCount - 1 : std::max(after, 0);
    slot.heldThisArming = false;
    UpdateNotifier(slot, after);
}

// "/dev/ttyS10" after "/dev/ttyS9": digit runs compare by value.
bool NaturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) != 0 &&
            std::isdigit(static_cast<unsigned char>(b[j])) != 0) {
            const std::size_t ei = a.find_first_not_of("0123456789", i);
            const std::size_t ej = b.find_first_not_of("0123456789", j);
            const std::string na = a.substr(i, ei - i);
            const std::string nb = b.substr(j, ej - j);
            if (na != nb) {
                return na.size() != nb.size() ? na.size() < nb.size() : na < nb;
            }
            i = std::min(ei, a.size());
            j = std::min(ej, b.size());
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

void Discover() {
    std::vector<PortInfo> found;
    for (const detail::SerialDevice& d : detail::ListSerialDevices()) {
        found.push_back({detail::SystemPortNumber(d.device), d.device, d.description});
    }
    std::sort(found.begin(), found.end(),
              [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.device, b.device); });
    for (std::size_t i = 0; i < found.size(); ++i) {
        if (found[i].port == 0) {
            found[i].port = static_cast<int>(i) + 1; // numbered in the order found
        }
    }
    discovered = std::move(found);
}

std::string DeviceOf(int port) {
    if (!registered[port].empty()) {
        return registered[port];
    }
    if (std::string device = detail::SystemPortDevice(port); !device.empty()) {
        return device;
    }
    Discover();
    for (const PortInfo& info : discovered) {
        if (info.port == port) {
            return info.device;
        }
    }
    return {};
}

bool ValidSettings(int parity, int dataBits, int stopBits, int inQueue, int outQueue) {
    return parity >= 0 && parity <= 2 && dataBits >= 5 && dataBits <= 8 && stopBits >= 1 &&
           stopBits <= 2 && inQueue >= 0 && outQueue >= 0;
}

// While reads are interruptible, a read first waits for its count in a wait that an interrupt
// ends; after an interrupt it takes only what is already queued.
detail::Deadline InterruptibleDeadline(PortSlot& slot, int count, detail::Deadline deadline) {
    if (!readsInterruptible) {
        return deadline;
    }
    slot.os->WaitForCount(std::min(count, detail::kMaxWaitCount), deadline);
    return detail::WaitsInterrupted() ? Clock::now() : deadline;
}

} // namespace

void RegisterPort(int port, const std::string& device) {
    if (ValidNumber(port)) {
        registered[port] = device;
    }
}

std::vector<PortInfo> ListPorts() {
    Discover();
    std::vector<PortInfo> ports;
    for (const PortInfo& info : discovered) {
        if (info.port > kMaxPorts) {
            break;
        }
        if (registered[info.port].empty()) {
            ports.push_back(info);
        }
    }
    for (int port = 1; port <= kMaxPorts; ++port) {
        if (!registered[port].empty()) {
            ports.push_back({port, registered[port], ""});
        }
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return a.port < b.port; });
    return ports;
}

int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize) {
    if (!ValidNumber(port)) {
        return kComInvalidPortNumber;
    }
    if (!ValidSettings(parity, dataBits, stopBits, inputQueueSize, outputQueueSize)) {
        return kComInvalidParameter;
    }
    CloseCom(port);
    const bool named = deviceName != nullptr && deviceName[0] != '\0';
    const std::string device = named ? std::string(deviceName) : DeviceOf(port);
    if (device.empty()) {
        return OpenFailed(port, "port " + std::to_string(port) + " names no device.",
                          kComNoPortFound);
    }
    int error = 0;
    std::string reason;
    auto os = detail::OpenOsPort(device, {baudRate, parity, dataBits, stopBits}, error, reason);
    if (!os) {
        return OpenFailed(port, reason, error);
    }
    PortSlot& slot = portSlots[port];
    slot.os = std::move(os);
    slot.timeout = kDefaultTimeout;
    slot.lastInQ = kNoCount;
    slot.queuedAtLeast = 0;
    slot.firstByteArmed = false;
    slot.countArmings = 0;
    // Start bit, data bits, parity bit, stop bits.
    const int bits = 1 + dataBits + (parity != 0 ? 1 : 0) + stopBits;
    slot.byteSeconds = baudRate > 0 ? bits / static_cast<double>(baudRate) : 0.0;
    detail::StartPortWatch(port, device);
    if (openHook != nullptr) {
        openHook(port, "");
    }
    return 0;
}

bool detail::PortLineHungUp(int port) {
    return ValidNumber(port) && portSlots[port].os && portSlots[port].os->HungUp();
}

void SetPortOpenHook(PortOpenHook hook) {
    openHook = hook;
}

int CloseCom(int port) {
    if (!ValidNumber(port)) {
        return kComInvalidPortNumber;
    }
    detail::StopPortWatch(port);
    PortSlot& slot = portSlots[port];
    slot.notify = {};
    slot.os.reset();
    slot.lastInQ = kNoCount;
    slot.heldThisArming = false;
    StopTimer(slot.lineWait);
    return 0;
}

int SetComTime(int port, double timeoutSeconds) {
    int error = 0;
    PortSlot* slot = OpenSlot(port, error);
    if (slot == nullptr) {
        return error;
    }
    if (!std::isfinite(timeoutSeconds) || timeoutSeconds < 0.0) {
        return kComInvalidParameter;
    }
    slot->timeout = std::min(timeoutSeconds, kMaxTimeout);
    return 0;
}

int SetCTSMode(int port, int mode) {
    int error = 0;
    PortSlot* slot = OpenSlot(port, error);
    if (slot == nullptr) {
        return error;
    }
    if (mode != 0 && mode != 1) {
        return kComInvalidParameter;
    }
    return slot->os->SetHandshake(mode == 1);
}

int FlushInQ(int port) {
    int error = 0;
    PortSlot* slot = OpenSlot(port, error);
    if (slot == nullptr) {
        return error;
    }
    const int result = slot->os->FlushIn();
    Rearm(*slot, result == 0);
    return result;
}

int FlushOutQ(int port) {
    int error = 0;
    PortSlot* slot = OpenSlot(port, error);
    if (slot == nullptr) {
        return error;
    }
    slot->lastInQ = kNoCount;
    return slot->os->FlushOut();
}

int ComWrt(int port, const char* buffer, int count) {
    int error = 0;
    PortSlot* slot = OpenSlot(port, error);
    if (slot == nullptr) {
        return error;
    }
    if (count < 0 || (buffer == nullptr && count > 0)) {
        return kComInvalidParameter;
    }
    slot->lastInQ = kNoCount;
    const int written =
        slot->os->Write({buffer, static_cast<std::size_t>(count)}, DeadlineOf(*slot));
    if (written > 0) {
        TraceBytes("tx", buffer, written);
    }
    return written;
}

void SetComReadsInterruptible(bool on) {
    readsInterruptible = on;
}

int ComRd(int port, char* buffer, int count) {
    int error = 0;
    PortSlot* slot = OpenSlot(port, error);
    if (slot == nullptr) {
        return error;
    }
    if (count < 0 || (buffer == nullptr && count > 0)) {
        return kComInvalidParameter;
    }
    auto deadline = DeadlineOf(*slot);
    if (slot->queuedAtLeast < count && slot->os->InQueueLength() < count) {
        BeforeBlocking();
        deadline = InterruptibleDeadline(*slot, count, deadline);
    }
    const int got = slot->os->Read({buffer, static_cast<std::size_t>(count)}, deadline);
    if (got > 0) {
        TraceBytes("rx", buffer, got);
    }
    Rearm(*slot, false);
    return got;
}

int GetInQLen(int port) {
    int error = 0;
    PortSlot* slot = OpenSlot(port, error);
    if (slot == nullptr) {
        return error;
    }
    int n = slot->os->InQueueLength();
    if (n == slot->lastInQ) {
        // A polling loop: wait in the OS for the queue to grow instead of spinning.
        BeforeBlocking();
        slot->os->WaitForMoreThan(n, Clock::now() + kInQueueWait);
        n = slot->os->InQueueLength();
    }
    slot->lastInQ = n;
    return n;
}

// The OS wakes a waiting program at every byte that arrives. The missing bytes cannot come
// sooner than the line carries them, so the wait is for the first byte, then a sleep for the
// line time of the rest (less the millisecond a wake-up may come late), then for the count:
// three wake-ups a frame instead of one a byte, and the count is seen as soon as it is there.
int WaitInQLen(int port, int count, double timeoutSeconds) {
    int error = 0;
    PortSlot* slot = OpenSlot(port, error);
    if (slot == nullptr) {
        return error;
    }
    if (count < 1 || count > detail::kMaxWaitCount || !std::isfinite(timeoutSeconds)) {
        return kComInvalidParameter;
    }
    const std::chrono::duration<double> wait(std::clamp(timeoutSeconds, 0.0, kMaxTimeout));
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(wait);
    BeforeBlocking();
    slot->lastInQ = kNoCount;
    detail::OsPort& os = *slot->os;
    int n = os.InQueueLength();
    if (n == 0 && count > 1 && slot->byteSeconds > 0.0) {
        n = os.WaitForCount(1, deadline);
    }
    if (n > 0 && n < count && slot->byteSeconds > 0.0) {
        const std::chrono::duration<double> rest((count - n) * slot->byteSeconds - 0.001);
        if (rest.count() > 0.0) {
            detail::SleepUnlessInterrupted(std::min(
                deadline, Clock::now() + std::chrono::duration_cast<Clock::duration>(rest)));
        }
    }
    return n >= count ? n : os.WaitForCount(count, deadline);
}

void InterruptComWaits() {
    detail::InterruptWaits();
}

bool ComWaitsInterrupted() {
    return detail::WaitsInterrupted();
}

void ResumeComWaits() {
    detail::ResumeWaits();
    detail::ClearOsWake(); // the interrupt is handled: it ends no later wait of the core either
}

// Only the notify-count event is reported, so the event character plays no part.
int InstallComCallback(int port, int eventMask, int notifyCount, int /*eventCharacter*/,
                       ComCallback callback, void* callbackData) {
    int error = 0;
    PortSlot* slot = OpenSlot(port, error);
    if (slot == nullptr) {
        return error;
    }
    if (eventMask == 0 || callback == nullptr) {
        slot->notify = {};
        slot->os->SetReadableHook({});
        return 0;
    }
    const bool counted = (eventMask & kEvNotifyCount) != 0;
    if (counted && (notifyCount < 1 || notifyCount > detail::kMaxWaitCount)) {
        return kComInvalidParameter;
    }
    slot->notify = {eventMask, notifyCount, callback, callbackData};
    slot->armedAbove = notifyCount - 1;
    slot->heldThisArming = false;
    if (counted) {
        slot->os->SetReadableHook([port] { OnReadable(port); });
    } else {
        slot->os->SetReadableHook({});
    }
    UpdateNotifier(*slot);
    return 0;
}

} // namespace ovx::platform
