// The device model of the virtual controller: parameter RAM and EEPROM, live signal, data
// curve, firmware text and flash pages 4 to 7. Pure logic: a request frame in, reply bytes out.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "link/frame.h"
#include "sim/live_signal.h"

namespace ovx::sim {

class DeviceModel {
  public:
    DeviceModel();

    // The reply to one 36-byte request: empty for orders 1 and 3 and unknown orders, 36 bytes
    // for frame replies, 64 for order 7, 128 for order 9. t is the model's clock in seconds
    // (drives the live signal).
    std::vector<std::uint8_t> HandleRequest(const link::FrameBytes& request, double t);

    link::Payload ram{}, eeprom{};
    // Flash words 4096..6143 (pages 0 to 7); only pages 4 to 7 are programmable. Erased
    // flash reads 0xFFFF.
    std::array<std::uint16_t, 8 * link::kFlashPageWords> flash{};

    bool LoadEeprom(const std::string& file);       // false if missing or malformed
    bool SaveEeprom(const std::string& file) const; // atomic replace
    bool DumpFlash(const std::string& file) const;  // pages 4 to 7, one word per line

    static constexpr const char* kFirmwareText = "OVX virtual controller 1.0";

    // Power-up content of RAM and EEPROM: a sensor set up for its 0..1000 normalised range.
    // power, reference, tolerance, hysteresis, polarity, hold, hwmode, average, evalmode,
    // maxmode, triglvl, trigmode, sdelay, dbuflen, anamode, para15.
    static constexpr link::Payload kStartValues = {500, 600, 150, 20, 1,   100, 1, 8,
                                                   0,   0,   950, 0,  500, 8,   0, 0};

    // Flash word at an absolute address (4096..6143); 0 outside.
    std::uint16_t FlashWord(int address) const;
    // >= 0: the address announcement (order 20) for this block index of a page is rejected.
    int rejectFlashAtBlock = -1;
    // Seed of the live signal's noise; takes effect from the next Reseed().
    void Reseed(std::uint32_t seed) { signal_ = LiveSignal(seed); }
    const LiveSignal& Signal() const { return signal_; }

  private:
    using Reply = std::vector<std::uint8_t>;
    Reply FrameReply(int order, const link::Payload& words) const;
    Reply Teach(double t);
    Reply FirmwareInfo() const;
    Reply LiveSampleReply(double t);
    Reply DataBlockReply(const link::FrameBytes& request) const;
    Reply FlashAddress(const link::FrameBytes& request);
    Reply FlashBlock(const link::FrameBytes& request);

    LiveSignal signal_;
    int announced_ = -1; // address accepted by order 20, consumed by order 21
};

} // namespace ovx::sim
