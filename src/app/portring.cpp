// The port ring PANEL_DROPDCOM.
#include "app/portring.h"

#include "link/com232.h"
#include "params/panels.h"
#include "platform/panel.h"
#include "platform/ring.h"

namespace ovx::app {

namespace {

constexpr int kStartPort = 1;
constexpr const char* kSimulatorDescription = "virtual controller";

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
    platform::ClearRing(panel, control);
    bool startPortListed = false;
    for (platform::PortInfo info : platform::ListPorts()) {
        if (info.port == simulatorPort && info.description.empty()) {
            info.description = kSimulatorDescription;
        }
        startPortListed = startPortListed || info.port == kStartPort;
        platform::InsertRingItem(panel, control, -1, PortLabel(info).c_str(), info.port);
    }
    // Port 1 is opened at start-up even when nothing is behind it.
    if (!startPortListed) {
        platform::InsertRingItem(panel, control, 0, PortLabel({kStartPort, "", ""}).c_str(),
                                 kStartPort);
    }
    platform::SetCtrlVal(panel, control, kStartPort);
}

int CC_BTNRefreshPorts(int panel, int /*control*/, int event, void* /*cbData*/, int /*d1*/,
                       int /*d2*/) {
    if (event == platform::kEventCommit) {
        FillPortRing(panel, params::PANEL_DROPDCOM, simulatorPortNumber);
        platform::SetCtrlVal(panel, params::PANEL_DROPDCOM, link::com);
    }
    return 0;
}

} // namespace ovx::app
