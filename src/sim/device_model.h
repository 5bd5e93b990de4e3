// The device model of the virtual controller: parameter RAM and EEPROM, live signal, data
// curve, firmware text and flash pages 4 to 7. Pure logic: a request frame in, reply bytes out.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "link/frame.h"

namespace ovx::sim {

class DeviceModel {
  public:
    DeviceModel();

    // The reply to one 36-byte request: empty for orders 1 and 3 and unknown orders, 36 bytes
    // for frame replies, 64 for order 7, 128 for order 9. t is the model's clock in seconds
    // (drives the live signal).
    std::vector<std::uint8_t> HandleRequest(const link::FrameBytes& request, double t);

    link::Payload ram{}, eeprom{};
    // Flash words 4096..6143 (pages 0 to 7); only pages 4 to 7 are programmable.
    std::array<std::uint16_t, 8 * link::kFlashPageWords> flash{};

    bool LoadEeprom(const std::string& file);       // false if missing or malformed
    bool SaveEeprom(const std::string& file) const; // atomic replace
    bool DumpFlash(const std::string& file) const;  // pages 4 to 7, one word per line

    static constexpr const char* kFirmwareText = "OVX virtual controller 1.0";
};

} // namespace ovx::sim
