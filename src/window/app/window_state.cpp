#include "app/window_state.h"

#include <cstdio>

#include "app/panel_handles.h"
#include "app/recorder.h"
#include "link/com232.h"
#include "params/panels.h"
#include "platform/serial.h"
#include "ui/panel.h"
#include "ui/settings.h"

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
    ui::SyncSettings();
}

} // namespace ovx::app
