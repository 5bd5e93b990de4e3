// The data-block read: order 9 answers with 128 bare bytes, one 64-word block of the curve.
#pragma once

#include <cstdint>

namespace ovx::link {

extern std::uint16_t yArrayA[256]; // NORM curve or channel A
extern std::uint16_t yArrayB[256]; // channel B

// offset 0, 64, 128 or 192; source 1 NORM, else RAW; orderCode 9. Returns 64 or 0.
int ReadData64(int offset, int source, int orderCode);

} // namespace ovx::link
