#include "live/curve_read.h"

#include <algorithm>
#include <array>

#include "link/com232.h"
#include "params/variables.h"

namespace ovx::live {

std::uint16_t upArray[link::kCurveArrayPoints], loArray[link::kCurveArrayPoints],
    refArray[link::kCurveArrayPoints];

namespace {

using link::kCurvePoints;
constexpr int kLineMax = 4095;
constexpr int kLineMin = 1;
constexpr std::array kRawOffsets{0, 64, 128, 192};
constexpr std::array kNormOffsets{0, 64};

// What the failed block left: its outcome by the bytes it brought, its status text.
OpResult BlockFailure() {
    OpResult r;
    // Nothing or too little of a block came in time: no answer; more than a block: refused.
    r.outcome = link::nBytesR < link::kBlockBytes ? Outcome::kNoAnswer : Outcome::kRefused;
    r.status = link::szStatus;
    r.failure = "no whole data block (" + r.status + ")";
    return r;
}

// A block that failed has cleared the whole curve; the blocks after it are not requested: the
// late answer of the failed one could pass for theirs.
template <std::size_t N>
void ReadBlocks(const std::array<int, N>& offsets, int source, CurveRead& read) {
    for (const int offset : offsets) {
        if (link::ReadData64(offset, source, link::kOrderDataBlock) == 0) {
            read.result = BlockFailure();
            return;
        }
        ++read.blocks;
    }
    read.result.status = link::szStatus;
}

// One live frame from the current pp. Without a reply pp still holds the request.
bool RequestOneLiveFrame() {
    link::AwaitQuietLine();
    link::rx_flag = 0;
    link::SendRequest(link::kOrderLiveSample, link::pp);
    return link::WaitRxFull() == 1;
}

// The limit lines (upper at most 4095, lower at least 1) and the reference line.
void FillLineArrays(CurveRead& read) {
    const int upper = std::min(params::reference + params::tolerance, kLineMax);
    const int lower = std::max(params::reference - params::tolerance, kLineMin);
    read.upper = static_cast<std::uint16_t>(upper);
    read.lower = static_cast<std::uint16_t>(lower);
    read.reference = params::reference;
    std::fill_n(upArray, kCurvePoints, read.upper);
    std::fill_n(loArray, kCurvePoints, read.lower);
    std::fill_n(refArray, kCurvePoints, read.reference);
}

void TakeCurves(int source, CurveRead& read) {
    read.a.assign(link::yArrayA, link::yArrayA + kCurvePoints);
    if (source != kSourceNorm) {
        read.b.assign(link::yArrayB, link::yArrayB + kCurvePoints);
    }
}

} // namespace

CurveRead ReadDataCurve(int source, const CurveShow& show) {
    CurveRead read;
    // A live reply still on its way after a stop must not end up in a data block.
    link::AwaitQuietLine();
    // The block answers are polled for: the notification must not take them.
    link::InstallRxNotification(false);
    link::FlushQueues();
    if (source == kSourceNorm) {
        ReadBlocks(kNormOffsets, source, read);
    } else {
        ReadBlocks(kRawOffsets, source, read);
    }
    link::InstallRxNotification(true);
    link::FlushQueues();

    read.frame = RequestOneLiveFrame();
    FillLineArrays(read);
    TakeCurves(source, read);
    if (show) {
        show(read);
    }
    link::FlushQueues();
    return read;
}

} // namespace ovx::live
