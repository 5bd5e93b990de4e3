#include "platform/port_watch.h"

#include <QSerialPortInfo>
#include <QTimer>

#include <memory>
#include <utility>
#include <vector>

namespace ovx::platform {
namespace {

constexpr int kWatchIntervalMs = 1000;

// "067b:2303#A1B2" for a USB adapter; "" for a device without ids, known by its path alone.
std::string Identity(const QSerialPortInfo& info) {
    if (!info.hasVendorIdentifier() || !info.hasProductIdentifier()) {
        return {};
    }
    return QStringLiteral("%1:%2#%3")
        .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
        .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'))
        .arg(info.serialNumber())
        .toStdString();
}

detail::PortLister& Lister() {
    static detail::PortLister lister;
    return lister;
}

std::vector<detail::ListedPort> PresentPorts() {
    if (Lister()) {
        return Lister()();
    }
    std::vector<detail::ListedPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        ports.push_back({info.systemLocation().toStdString(), Identity(info)});
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
    std::unique_ptr<QTimer> timer;
};

Watch watch;
PortWatchHook goneHook;
PortWatchHook backHook;

void Tick() {
    if (watch.port == 0) {
        return;
    }
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
    if (detail::InsideEventSequence()) {
        return; // a command is waiting: ask when it is done
    }
    const std::string found = FindAgain(watch.identity, watch.device);
    if (found.empty()) {
        return;
    }
    const int port = watch.port;
    watch.timer->stop(); // told once; the hook may reopen the port and start a new watch
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
    if (!watch.timer) {
        watch.timer = std::make_unique<QTimer>();
        watch.timer->setInterval(kWatchIntervalMs);
        QObject::connect(watch.timer.get(), &QTimer::timeout, [] { Tick(); });
    }
    watch.port = port;
    watch.device = device;
    watch.identity = IdentityOf(device);
    watch.gone = false;
    watch.timer->start();
}

void StopPortWatch(int port) {
    if (watch.port == port && watch.timer) {
        watch.timer->stop();
        watch.port = 0;
    }
}

} // namespace detail
} // namespace ovx::platform
