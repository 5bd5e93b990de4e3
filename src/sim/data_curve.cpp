#include "sim/data_curve.h"

#include <algorithm>
#include <cmath>

namespace ovx::sim {

namespace {

constexpr int kSourceNorm = 1;

// 0 before the rise, 1 after it, a smooth step between start and end (points).
double SmoothStep(double i, double start, double end) {
    const double x = std::clamp((i - start) / (end - start), 0.0, 1.0);
    return x * x * (3.0 - 2.0 * x);
}

// A small ripple on the plateau so the curve looks measured, not drawn.
double Ripple(int i, double amplitude) {
    return amplitude * std::sin(i / 5.0);
}

std::uint16_t ToWord(double v) {
    return static_cast<std::uint16_t>(std::clamp(std::lround(v), 0L, 1000L));
}

} // namespace

std::uint16_t CurvePoint(CurveKind kind, int i) {
    switch (kind) {
    case CurveKind::kNorm:
        return ToWord(40.0 + 910.0 * SmoothStep(i, 16, 64) +
                      Ripple(i, 8.0) * SmoothStep(i, 56, 72));
    case CurveKind::kRawA:
        return ToWord(120.0 + 760.0 * SmoothStep(i, 16, 64) + Ripple(i, 6.0));
    case CurveKind::kRawB:
        return ToWord(90.0 + 520.0 * SmoothStep(i, 24, 80) + Ripple(i + 3, 5.0));
    }
    return 0;
}

std::array<std::uint16_t, kBlockWords> DataBlock(int offset, int source) {
    const int block = ((offset % 256 + 256) % 256) / kBlockWords; // 0..3
    const int first = (block % 2) * kBlockWords;
    CurveKind kind = CurveKind::kRawB;
    if (block < 2) {
        kind = source == kSourceNorm ? CurveKind::kNorm : CurveKind::kRawA;
    }
    std::array<std::uint16_t, kBlockWords> words{};
    for (int i = 0; i < kBlockWords; ++i) {
        words[static_cast<std::size_t>(i)] = CurvePoint(kind, first + i);
    }
    return words;
}

} // namespace ovx::sim
