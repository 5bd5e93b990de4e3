#include "platform/port_watch.h"

#include <utility>
#include <vector>

#include "platform/events.h"
#include "platform/serial_os.h"

namespace ovx::platform {
namespace {

constexpr double kWatchInterval = 1.0; // seconds

detail::PortLister& Lister() {
    static detail::PortLister lister;
    return lister;
}

std::vector<detail::ListedPort> PresentPorts() {
    if (Lister()) {
        return Lister()();
    }
    std::vector<detail::ListedPort> ports;
    for (const detail::SerialDevice& d : detail::ListSerialDevices()) {
        ports.push_back({d.device, d.identity});
    }
    return ports;
}

std::string IdentityOf(const std::string& device) {
    for (const detail::ListedPort& p : PresentPorts()) {
        if (p.device == device) {
            return p.identity;
        }
    }
    return {};
}

// Where the device of identity (or, without one, the path device) is now; "" when absent.
std::string FindAgain(const std::string& identity, const std::string& device) {
    if (identity.empty()) {
        return detail::DeviceNodeExists(device) ? device : std::string();
    }
    for (const detail::ListedPort& p : PresentPorts()) {
        if (p.identity == identity) {
            return p.device;
        }
    }
    return {};
}

struct Watch {
    int port = 0;
    std::string device;
    std::string identity;
    bool gone = false;
    int timer = 0; // events.h; one look each time it runs out
};

Watch watch;
PortWatchHook goneHook;
PortWatchHook backHook;

void Tick() {
    if (watch.port == 0) {
        return;
    }
    StartTimer(watch.timer, kWatchInterval); // the next look, also while a hook runs
    if (!watch.gone) {
        if (detail::DeviceNodeExists(watch.device) && !detail::PortLineHungUp(watch.port)) {
            return;
        }
        watch.gone = true;
        if (goneHook) {
            goneHook(watch.port, watch.device);
        }
        return;
    }
    if (InsideEventSequence()) {
        return; // a command is waiting: ask when it is done
    }
    const std::string found = FindAgain(watch.identity, watch.device);
    if (found.empty()) {
        return;
    }
    const int port = watch.port;
    StopTimer(watch.timer); // told once; the hook may reopen the port and start a new watch
    if (backHook) {
        backHook(port, found);
    }
}

} // namespace

void SetPortWatchHooks(PortWatchHook gone, PortWatchHook back) {
    goneHook = std::move(gone);
    backHook = std::move(back);
}

namespace detail {

void SetPortLister(PortLister lister) {
    Lister() = std::move(lister);
}

void PortWatchTick() {
    Tick();
}

void StartPortWatch(int port, const std::string& device) {
    if (watch.timer == 0) {
        watch.timer = AddTimer([] { Tick(); });
    }
    watch.port = port;
    watch.device = device;
    watch.identity = IdentityOf(device);
    watch.gone = false;
    StartTimer(watch.timer, kWatchInterval);
}

void StopPortWatch(int port) {
    if (watch.port == port) {
        StopTimer(watch.timer);
        watch.port = 0;
    }
}

} // namespace detail
} // namespace ovx::platform
