#include "app/window_state.h"

#include <cstdio>

#include "link/com232.h"
#include "live/recorder.h"
#include "params/panels.h"
#include "platform/panel.h"
#include "platform/serial.h"
#include "platform/settings.h"

namespace ovx::app {

namespace {

constexpr const char* kGeometryKey = "window/geometry";
constexpr const char* kMonitorKey = "window/monitor";
constexpr const char* kRecordDirKey = "files/recordDir";
constexpr const char* kPortKey = "port/device";
constexpr int kDefaultPort = 1;

std::string DeviceOf(int port) {
    for (const platform::PortInfo& info : platform::ListPorts()) {
        if (info.port == port) {
            return info.device;
        }
    }
    return {};
}

} // namespace

int StartPort(const Options& options) {
    if (options.simulator || !options.ports.empty()) {
        return kDefaultPort;
    }
    const std::string device = platform::GetSetting(kPortKey);
    for (const platform::PortInfo& info : platform::ListPorts()) {
        if (!device.empty() && info.device == device) {
            return info.port;
        }
    }
    return kDefaultPort;
}

void RestoreWindowState(const Options& options) {
    const int panel = params::panelHandle;
    platform::RestorePanelGeometry(panel, kGeometryKey);
    const int monitor = platform::GetSetting(kMonitorKey, "0") == "1" ? 1 : 0;
    platform::SetCtrlVal(panel, params::PANEL_TOGBTNMONITOR, monitor);
    platform::SetCtrlAttribute(panel, params::PANEL_MONITOR, platform::kAttrVisible, monitor);
    std::snprintf(live::szRecordDir, sizeof live::szRecordDir, "%s",
                  platform::GetSetting(kRecordDirKey).c_str());
    link::com = StartPort(options);
    platform::SetCtrlVal(panel, params::PANEL_DROPDCOM, link::com);
}

void SaveWindowState() {
    const int panel = params::panelHandle;
    platform::SavePanelGeometry(panel, kGeometryKey);
    int shown = 0;
    platform::GetCtrlAttribute(panel, params::PANEL_MONITOR, platform::kAttrVisible, &shown);
    platform::SetSetting(kMonitorKey, shown != 0 ? "1" : "0");
    platform::SetSetting(kRecordDirKey, live::szRecordDir);
    if (const std::string device = DeviceOf(link::com); !device.empty()) {
        platform::SetSetting(kPortKey, device);
    }
    platform::SyncSettings();
}

} // namespace ovx::app
