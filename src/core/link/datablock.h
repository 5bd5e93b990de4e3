// The data-block read: order 9 answers with 128 bare bytes, one 64-word block of the curve.
#pragma once

#include <cstdint>

namespace ovx::link {

// The curve arrays hold kCurveArrayPoints; a curve fills the first kCurvePoints of them.
constexpr int kCurveArrayPoints = 256;
extern std::uint16_t yArrayA[kCurveArrayPoints]; // NORM curve or channel A
extern std::uint16_t yArrayB[kCurveArrayPoints]; // channel B

// offset 0, 64, 128 or 192; source 1 NORM, else RAW; orderCode 9. Returns 64 or 0.
int ReadData64(int offset, int source, int orderCode);

} // namespace ovx::link
