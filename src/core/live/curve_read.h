// The data curve without a panel: the controller's 128-point curve, read in 64-word blocks with
// order 9 (two for the NORM source, four for any other) while the receive notification is
// removed, then one live frame, then the limit and reference lines of the NORM curve. The data
// button's command runs it and draws what it yields; the command-line tool prints it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/datablock.h"
#include "link/frame.h"
#include "link/operations.h"

namespace ovx::live {

using link::OpResult;
using link::Outcome;

constexpr int kSourceRaw = 0;
constexpr int kSourceNorm = 1;

// The limit and reference lines of the last curve read, every point equal.
extern std::uint16_t upArray[link::kCurveArrayPoints], loArray[link::kCurveArrayPoints],
    refArray[link::kCurveArrayPoints];

struct CurveRead {
    OpResult result;
    int blocks = 0;     // whole blocks taken, in order; a failed block ends the read
    std::vector<int> a; // the 128 points of curve A: NORM (NORM source) or channel A
    std::vector<int> b; // the 128 points of channel B; empty for the NORM source
    bool frame = false; // the live frame after the curve came; its words are in pp
    // The lines: reference + tolerance, at most 4095; reference - tolerance, at least 1; reference.
    std::uint16_t upper = 0, lower = 0, reference = 0;
};

// What a caller shows of the curve read, before the queues are flushed at the end.
using CurveShow = std::function<void(const CurveRead&)>;

// Reads the curve of source (0 RAW, 1 NORM, any other value reads as RAW) into link::yArrayA
// and yArrayB (a failed block clears both, and no block after it is requested), requests one
// live frame with pp as it is and awaits it (processing events), fills the line arrays, hands
// the result to show and flushes both queues.
CurveRead ReadDataCurve(int source, const CurveShow& show = {});

} // namespace ovx::live
