// The 128-point data curve the virtual controller holds: a recorded rise of the sensor signal
// that settles on a plateau, as normalised values and as the raw curves of channels A and B.
#pragma once

#include <array>
#include <cstdint>

#include "link/frame.h"

namespace ovx::sim {

using link::kBlockWords;  // 64
using link::kCurvePoints; // 128

enum class CurveKind { kNorm, kRawA, kRawB };

// Point i (0..127) of a curve.
std::uint16_t CurvePoint(CurveKind kind, int i);

// Order 9: the 64 words of the block at offset (0, 64: points 0..63, 64..127 of the NORM curve
// when source is 1, else of raw channel A; 128, 192: points 0..63, 64..127 of raw channel B).
// Any other offset is taken modulo 256 and rounded down to a multiple of 64.
std::array<std::uint16_t, kBlockWords> DataBlock(int offset, int source);

} // namespace ovx::sim
