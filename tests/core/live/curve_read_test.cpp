// The data-curve read of the core, with no panel loaded, against the virtual controller over a
// pty: the blocks requested for each source, the curve values, the outcome of a good line, a
// short answer, no answer and an answer too long, the live frame after the curve and the lines.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "link/com232.h"
#include "link/datablock.h"
#include "live/curve_read.h"
#include "params/variables.h"
#include "sim/data_curve.h"
#include "sim/faults.h"
#include "support/line_fixture.h"
#include "support/row_name.h"

namespace ovx::live {
namespace {

using link::Outcome;

constexpr const char* kReceived = "Data[64] block received!";
constexpr const char* kTimedOut = "Timeout-RS-232 while reading 64 data-words!";

struct Request {
    int order, word0, word1;
    bool operator==(const Request&) const = default;
};

void PrintTo(const Request& r, std::ostream* os) {
    *os << "{" << r.order << "," << r.word0 << "," << r.word1 << "}";
}

struct CurveRow {
    std::string name;
    int source;
    sim::Faults faults;
    int reference, tolerance;
    Outcome outcome;
    std::string status;
    std::vector<Request> blockRequests; // the order-9 requests, then one order 8 follows
    std::optional<sim::CurveKind> a, b; // the curves read; none: all 128 points are 0
    bool bRead;                         // curve B is part of the result
    std::optional<bool> frame;          // the live frame came (none: not judged)
    int upper, lower;
};

void PrintTo(const CurveRow& row, std::ostream* os) {
    *os << row.name;
}

sim::Faults Cut(int bytes) {
    sim::Faults f;
    f.cutReplyTo = bytes;
    return f;
}
sim::Faults Silent() {
    sim::Faults f;
    f.silent = true;
    return f;
}
sim::Faults Noise(int bytes) {
    sim::Faults f;
    f.garbageBytes = bytes;
    return f;
}

class CurveReadRow : public testing::OpenLineFixture,
                     public ::testing::WithParamInterface<CurveRow> {
  protected:
    std::vector<Request> Sent(std::size_t from) {
        const auto log = Sim().Requests();
        std::vector<Request> sent;
        for (std::size_t i = from; i < log.size(); ++i) {
            sent.push_back(
                {link::FrameOrder(log[i]), link::FrameWord(log[i], 0), link::FrameWord(log[i], 1)});
        }
        return sent;
    }

    static void ExpectCurve(const std::vector<int>& curve, std::optional<sim::CurveKind> kind) {
        ASSERT_EQ(curve.size(), static_cast<std::size_t>(link::kCurvePoints));
        for (int i = 0; i < link::kCurvePoints; ++i) {
            ASSERT_EQ(curve[i], kind ? sim::CurvePoint(*kind, i) : 0) << "point " << i;
        }
    }
};

TEST_P(CurveReadRow, YieldsTheCurveItsOutcomeAndTheLines) {
    const CurveRow& row = GetParam();
    params::reference = static_cast<std::uint16_t>(row.reference);
    params::tolerance = static_cast<std::uint16_t>(row.tolerance);
    Sim().SetFaults(row.faults);
    const std::size_t before = Sim().Requests().size();
    int shown = 0;
    const CurveRead read = ReadDataCurve(row.source, [&](const CurveRead& r) {
        ++shown;
        EXPECT_EQ(r.result.outcome, row.outcome) << "the same result is shown";
    });

    EXPECT_EQ(shown, 1);
    EXPECT_EQ(read.result.outcome, row.outcome);
    EXPECT_EQ(read.result.ok(), row.outcome == Outcome::kDone);
    EXPECT_EQ(read.result.status, row.status);
    EXPECT_EQ(read.result.failure,
              read.result.ok() ? "" : "no whole data block (" + row.status + ")");
    const int whole =
        row.outcome == Outcome::kDone ? static_cast<int>(row.blockRequests.size()) : 0;
    EXPECT_EQ(read.blocks, whole);

    std::vector<Request> expected = row.blockRequests;
    const std::vector<Request> sent = Sent(before);
    ASSERT_EQ(sent.size(), expected.size() + 1);
    EXPECT_EQ(sent.back().order, link::kOrderLiveSample);
    expected.push_back(sent.back());
    EXPECT_EQ(sent, expected);

    ExpectCurve(read.a, row.a);
    if (row.bRead) {
        ExpectCurve(read.b, row.b);
    } else {
        EXPECT_TRUE(read.b.empty());
    }
    if (row.frame) {
        EXPECT_EQ(read.frame, *row.frame);
    }
    EXPECT_EQ(read.upper, row.upper);
    EXPECT_EQ(read.lower, row.lower);
    EXPECT_EQ(read.reference, row.reference);
    EXPECT_EQ(upArray[0], row.upper);
    EXPECT_EQ(loArray[127], row.lower);
    EXPECT_EQ(refArray[64], row.reference);
}

using K = sim::CurveKind;
const std::vector<Request> kNormBlocks{{9, 0, 1}, {9, 64, 1}};
const std::vector<Request> kRawBlocks{{9, 0, 0}, {9, 64, 0}, {9, 128, 0}, {9, 192, 0}};

INSTANTIATE_TEST_SUITE_P(
    Rows, CurveReadRow,
    ::testing::Values(
        CurveRow{"NormGoodLine",
                 1,
                 {},
                 600,
                 150,
                 Outcome::kDone,
                 kReceived,
                 kNormBlocks,
                 K::kNorm,
                 std::nullopt,
                 false,
                 true,
                 750,
                 450},
        CurveRow{"RawGoodLine",
                 0,
                 {},
                 600,
                 150,
                 Outcome::kDone,
                 kReceived,
                 kRawBlocks,
                 K::kRawA,
                 K::kRawB,
                 true,
                 true,
                 750,
                 450},
        CurveRow{"OtherSourceReadsAsRaw",
                 2,
                 {},
                 600,
                 150,
                 Outcome::kDone,
                 kReceived,
                 {{9, 0, 2}, {9, 64, 2}, {9, 128, 2}, {9, 192, 2}},
                 K::kRawA,
                 K::kRawB,
                 true,
                 true,
                 750,
                 450},
        CurveRow{"LinesClampedTo4095",
                 1,
                 {},
                 4000,
                 500,
                 Outcome::kDone,
                 kReceived,
                 kNormBlocks,
                 K::kNorm,
                 std::nullopt,
                 false,
                 true,
                 4095,
                 3500},
        CurveRow{"LinesClampedTo1",
                 1,
                 {},
                 100,
                 500,
                 Outcome::kDone,
                 kReceived,
                 kNormBlocks,
                 K::kNorm,
                 std::nullopt,
                 false,
                 true,
                 600,
                 1},
        // Block answers fall short, 36-byte frames pass whole: no block after the failed one.
        CurveRow{"NormShortAnswer",
                 1,
                 Cut(100),
                 600,
                 150,
                 Outcome::kNoAnswer,
                 kTimedOut,
                 {{9, 0, 1}},
                 std::nullopt,
                 std::nullopt,
                 false,
                 true,
                 750,
                 450},
        CurveRow{"RawShortAnswer",
                 0,
                 Cut(100),
                 600,
                 150,
                 Outcome::kNoAnswer,
                 kTimedOut,
                 {{9, 0, 0}},
                 std::nullopt,
                 std::nullopt,
                 true,
                 true,
                 750,
                 450},
        CurveRow{"RawNoAnswer",
                 0,
                 Silent(),
                 600,
                 150,
                 Outcome::kNoAnswer,
                 kTimedOut,
                 {{9, 0, 0}},
                 std::nullopt,
                 std::nullopt,
                 true,
                 false,
                 750,
                 450},
        CurveRow{"NormAnswerTooLong",
                 1,
                 Noise(5),
                 600,
                 150,
                 Outcome::kRefused,
                 "Data[64] block refused - 133 bytes instead of 128!",
                 {{9, 0, 1}},
                 std::nullopt,
                 std::nullopt,
                 false,
                 std::nullopt,
                 750,
                 450}),
    testing::RowName());

} // namespace
} // namespace ovx::live
