#include "app/monitor.h"

#include <array>
#include <cstdint>
#include <span>
#include <utility>

#include "link/frame.h"
#include "params/panels.h"
#include "platform/trace.h"
#include "ui/panel.h"

namespace ovx::app {

namespace {

constexpr std::array<std::pair<int, const char*>, 12> kOrderNames{{
    {link::kOrderWriteRam, "send RAM"},
    {link::kOrderReadRam, "get RAM"},
    {link::kOrderWriteEeprom, "send EEPROM"},
    {link::kOrderReadEeprom, "get EEPROM"},
    {link::kOrderEcho, "echo check"},
    {link::kOrderTeach, "teach"},
    {link::kOrderFirmwareInfo, "firmware info"},
    {link::kOrderLiveSample, "live sample"},
    {link::kOrderDataBlock, "data block"},
    {link::kOrderReset, "reset"},
    {link::kOrderFlashAddress, "flash address"},
    {link::kOrderFlashBlock, "flash block"},
}};

std::string Words(std::span<const std::uint8_t> bytes, std::size_t first) {
    std::string out;
    for (std::size_t i = first; 2 * i + 1 < bytes.size(); ++i) {
        if (!out.empty()) {
            out += ' ';
        }
        out += std::to_string(link::WordAt(bytes, i));
    }
    return out;
}

} // namespace

const char* OrderName(int order) {
    for (const auto& [code, name] : kOrderNames) {
        if (code == order) {
            return name;
        }
    }
    return "";
}

void DescribeFrame(platform::MonitorKind kind, const char* bytes, int count, std::string& order,
                   std::string& words) {
    if (bytes == nullptr || count <= 0) {
        return;
    }
    const std::span<const std::uint8_t> raw(reinterpret_cast<const std::uint8_t*>(bytes),
                                            static_cast<std::size_t>(count));
    if (count == link::kFrameBytes) {
        const int code = link::FrameOrder(raw);
        order = OrderName(code);
        if (link::WordAt(raw, 0) != link::kSyncWord) {
            order = "no sync";
        } else if (order.empty()) {
            order = "order " + std::to_string(code);
        }
        words = Words(raw, 2);
    } else if (kind == platform::MonitorKind::kRx &&
               (count == link::kInfoBytes || count == link::kBlockBytes)) {
        order =
            OrderName(count == link::kInfoBytes ? link::kOrderFirmwareInfo : link::kOrderDataBlock);
        words = Words(raw, 0);
    }
}

void InstallMonitor() {
    platform::SetFrameDescriber(DescribeFrame);
}

int CC_TOGBTNMonitor(int panel, int control, int event, void* /*cbData*/, int /*d1*/, int /*d2*/) {
    if (event == ui::kEventCommit) {
        int shown = 0;
        ui::GetCtrlVal(panel, control, &shown);
        ui::SetCtrlAttribute(panel, params::PANEL_MONITOR, ui::kAttrVisible, shown != 0 ? 1 : 0);
    }
    return 0;
}

} // namespace ovx::app
