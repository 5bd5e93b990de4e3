#include "app/window_state.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <utility>
#include <vector>

#include "app/panel_handles.h"
#include "app/recorder.h"
#include "link/com232.h"
#include "params/panels.h"
#include "platform/net_address.h"
#include "platform/serial.h"
#include "ui/panel.h"
#include "ui/settings.h"

namespace ovx::app {

namespace {

constexpr const char* kGeometryKey = "window/geometry";
constexpr const char* kMonitorKey = "window/monitor";
constexpr const char* kRecordDirKey = "files/recordDir";
constexpr const char* kPortKey = "port/device";
constexpr const char* kAddressesKey = "port/addresses";
constexpr int kDefaultPort = 1;
constexpr std::size_t kMaxAddresses = 8;

using NumberedAddress = std::pair<int, std::string>;

std::string DeviceOf(int port) {
    for (const platform::PortInfo& info : platform::ListPorts()) {
        if (info.port == port) {
            return info.device;
        }
    }
    return {};
}

bool ValidAddress(const std::string& address) {
    platform::detail::NetAddress parsed;
    std::string error;
    return platform::detail::IsNetAddress(address) &&
           platform::detail::ParseNetAddress(address, parsed, error);
}

// "3=tcp://host:4001 5=rfc2217://10.0.0.7:4002", as saved; an entry that is no valid address or
// has no valid port number (a damaged or hand-edited settings file) is left out.
std::vector<NumberedAddress> RememberedAddresses() {
    std::vector<NumberedAddress> addresses;
    std::istringstream entries(ui::GetSetting(kAddressesKey));
    std::string entry;
    while (entries >> entry && addresses.size() < kMaxAddresses) {
        const std::size_t equals = entry.find('=');
        const std::string number = entry.substr(0, equals);
        if (equals == std::string::npos || number.empty() || number.size() > 3 ||
            !std::all_of(number.begin(), number.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        const int port = std::stoi(number);
        std::string address = entry.substr(equals + 1);
        if (port >= 1 && port <= platform::kMaxPorts && ValidAddress(address)) {
            addresses.emplace_back(port, std::move(address));
        }
    }
    return addresses;
}

bool Listed(const std::vector<platform::PortInfo>& ports, auto match) {
    return std::any_of(ports.begin(), ports.end(), match);
}

// The port number for a remembered address: its own when free, else the first free one above it
// (0 when none is).
int NumberFor(const NumberedAddress& remembered, const std::vector<platform::PortInfo>& ports) {
    for (int port = remembered.first; port <= platform::kMaxPorts; ++port) {
        if (!Listed(ports, [port](const platform::PortInfo& p) { return p.port == port; })) {
            return port;
        }
    }
    return 0;
}

// The networked ports of the table now, then the remembered ones not among them.
std::vector<NumberedAddress> AddressesToRemember() {
    std::vector<NumberedAddress> addresses;
    for (const platform::PortInfo& info : platform::ListPorts()) {
        if (ValidAddress(info.device)) {
            addresses.emplace_back(info.port, info.device);
        }
    }
    for (NumberedAddress& old : RememberedAddresses()) {
        const bool known = std::any_of(addresses.begin(), addresses.end(),
                                       [&](const auto& a) { return a.second == old.second; });
        if (!known && addresses.size() < kMaxAddresses) {
            addresses.push_back(std::move(old));
        }
    }
    return addresses;
}

} // namespace

void AddRememberedAddresses(const Options& options) {
    if (options.simulator || !options.ports.empty()) {
        return;
    }
    for (const NumberedAddress& remembered : RememberedAddresses()) {
        const std::vector<platform::PortInfo> ports = platform::ListPorts();
        if (Listed(ports,
                   [&](const platform::PortInfo& p) { return p.device == remembered.second; })) {
            continue;
        }
        if (const int port = NumberFor(remembered, ports); port != 0) {
            platform::RegisterPort(port, remembered.second);
        }
    }
}

int StartPort(const Options& options) {
    if (options.simulator || !options.ports.empty()) {
        return kDefaultPort;
    }
    const std::string device = ui::GetSetting(kPortKey);
    for (const platform::PortInfo& info : platform::ListPorts()) {
        if (!device.empty() && info.device == device) {
            return info.port;
        }
    }
    return kDefaultPort;
}

void RestoreWindowState(const Options& options) {
    const int panel = app::panelHandle;
    ui::RestorePanelGeometry(panel, kGeometryKey);
    const int monitor = ui::GetSetting(kMonitorKey, "0") == "1" ? 1 : 0;
    ui::SetCtrlVal(panel, params::PANEL_TOGBTNMONITOR, monitor);
    ui::SetCtrlAttribute(panel, params::PANEL_MONITOR, ui::kAttrVisible, monitor);
    std::snprintf(app::szRecordDir, sizeof app::szRecordDir, "%s",
                  ui::GetSetting(kRecordDirKey).c_str());
    link::com = StartPort(options);
    ui::SetCtrlVal(panel, params::PANEL_DROPDCOM, link::com);
}

void SaveWindowState() {
    const int panel = app::panelHandle;
    ui::SavePanelGeometry(panel, kGeometryKey);
    int shown = 0;
    ui::GetCtrlAttribute(panel, params::PANEL_MONITOR, ui::kAttrVisible, &shown);
    ui::SetSetting(kMonitorKey, shown != 0 ? "1" : "0");
    ui::SetSetting(kRecordDirKey, app::szRecordDir);
    if (const std::string device = DeviceOf(link::com); !device.empty()) {
        ui::SetSetting(kPortKey, device);
    }
    std::string addresses;
    for (const auto& [port, address] : AddressesToRemember()) {
        if (!addresses.empty()) {
            addresses += ' ';
        }
        addresses += std::to_string(port);
        addresses += '=';
        addresses += address;
    }
    ui::SetSetting(kAddressesKey, addresses);
    ui::SyncSettings();
}

} // namespace ovx::app
