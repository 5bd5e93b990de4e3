// Flash programming of the linearisation table into pages 4 to 7.
#pragma once

#include <atomic>
#include <cstdint>

#include "link/frame.h"

namespace ovx::link {

constexpr int MAXBLOCK = kFlashBlocksPerPage; // 16
constexpr int PAGE0 = FlashPageAddress(0), PAGE1 = FlashPageAddress(1), PAGE2 = FlashPageAddress(2),
              PAGE3 = FlashPageAddress(3), PAGE4 = FlashPageAddress(4), PAGE5 = FlashPageAddress(5),
              PAGE6 = FlashPageAddress(6), PAGE7 = FlashPageAddress(7);

// Set (from any thread or a signal handler) to end programming after the block being written:
// the page then counts as not written and the pages after it are not started.
extern std::atomic<bool> flash_stop;

void SendCorrDataToFlash();
int WritePageDataToFlash(int pageAddress, const std::int32_t* pageImage);
int SendInfoBlockToFlash(int address, int word0);
int WriteBlockDataToFlash(const std::uint16_t* words);

} // namespace ovx::link
