// The port ring PANEL_DROPDCOM.
#include "app/portring.h"

#include "app/panel_handles.h"
#include "link/com232.h"
#include "params/panels.h"
#include "platform/net_address.h"
#include "platform/port_watch.h"
#include "ui/help.h"
#include "ui/panel.h"
#include "ui/ring.h"

namespace ovx::app {

namespace {

constexpr int kStartPort = 1;
constexpr const char* kSimulatorDescription = "virtual controller";
constexpr const char* kStatusToolTip =
    "Status line: the outcome of the last action (History shows the earlier texts)";

} // namespace

int simulatorPortNumber = 0;

std::string PortLabel(const platform::PortInfo& info) {
    std::string label = "COM" + std::to_string(info.port);
    if (!info.device.empty()) {
        label += "  " + info.device;
    }
    if (!info.description.empty()) {
        label += " (" + info.description + ")";
    }
    return label;
}

void FillPortRing(int panel, int control, int simulatorPort) {
    ui::ClearRing(panel, control);
    bool startPortListed = false;
    for (platform::PortInfo info : platform::ListPorts()) {
        if (info.port == simulatorPort && info.description.empty()) {
            info.description = kSimulatorDescription;
        }
        startPortListed = startPortListed || info.port == kStartPort;
        ui::InsertRingItem(panel, control, -1, PortLabel(info).c_str(), info.port);
    }
    // Port 1 is opened at start-up even when nothing is behind it.
    if (!startPortListed) {
        ui::InsertRingItem(panel, control, 0, PortLabel({kStartPort, "", ""}).c_str(), kStartPort);
    }
    ui::SetCtrlVal(panel, control, kStartPort);
}

int CC_BTNRefreshPorts(int panel, int /*control*/, int event, void* /*cbData*/, int /*d1*/,
                       int /*d2*/) {
    if (event == ui::kEventCommit) {
        FillPortRing(panel, params::PANEL_DROPDCOM, simulatorPortNumber);
        ui::SetCtrlVal(panel, params::PANEL_DROPDCOM, link::com);
    }
    return 0;
}

void ShowPortOpenResult(int /*port*/, const char* reason) {
    const int panel = app::panelHandle;
    const bool failed = reason != nullptr && reason[0] != '\0';
    ui::SetCtrlVal(panel, params::PANEL_PORTHINT, failed ? reason : "");
    ui::SetCtrlAttribute(panel, params::PANEL_PORTHINT, ui::kAttrVisible, failed ? 1 : 0);
    ui::SetCtrlAttribute(panel, params::PANEL_STATUS, ui::kAttrToolTip,
                         failed ? reason : kStatusToolTip);
}

namespace {

std::string DeviceOfPort(int port) {
    for (const platform::PortInfo& info : platform::ListPorts()) {
        if (info.port == port) {
            return info.device;
        }
    }
    return {};
}

std::string PortName(int port, const std::string& device) {
    return "Serial port " + std::to_string(port) + " (" + device + ")";
}

} // namespace

void TellPortGone(int port, const std::string& device) {
    link::ShowStatus((PortName(port, device) + " disappeared").c_str());
}

void OfferPortReopen(int port, const std::string& device) {
    if (port != link::com) {
        return;
    }
    // A connection cannot be seen coming back before it is made: it is offered once it is lost.
    const std::string name = PortName(port, device);
    const std::string question =
        platform::detail::IsNetAddress(device)
            ? std::string("The connection of ").append(name).append(" was lost. Reopen it?")
            : name + " is back. Reopen it?";
    if (ui::QuestionPopup("Serial port", question.c_str(), "Reopen", "Not now") != 1) {
        return;
    }
    if (DeviceOfPort(port) != device) {
        platform::RegisterPort(port, device); // the adapter came back under another name
    }
    link::ShowStatus("Init COM-Port ...");
    link::InitRS232(port);
}

void InstallPortHooks() {
    platform::SetPortOpenHook(ShowPortOpenResult);
    platform::SetPortWatchHooks(TellPortGone, OfferPortReopen);
}

} // namespace ovx::app
