// Flash programming of the linearisation table into pages 4 to 7.
#pragma once

#include <cstdint>

namespace ovx::link {

constexpr int MAXBLOCK = 16;
constexpr int PAGE0 = 4096, PAGE1 = 4352, PAGE2 = 4608, PAGE3 = 4864, PAGE4 = 5120, PAGE5 = 5376,
              PAGE6 = 5632, PAGE7 = 5888;

void SendCorrDataToFlash();
int WritePageDataToFlash(int pageAddress, const std::int32_t* pageImage);
int SendInfoBlockToFlash(int address, int word0);
int WriteBlockDataToFlash(const std::uint16_t* words);

} // namespace ovx::link
