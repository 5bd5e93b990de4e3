// The data-curve command against the virtual controller over a pty: which blocks are requested
// for each graph source, the live frame afterwards, the limit lines and the graph drawn.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QTimer>

#include <algorithm>
#include <array>
#include <vector>

#include "app/datacurve.h"
#include "app/panel_handles.h"
#include "app/strip.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/serial.h"
#include "sim/data_curve.h"
#include "support/tool_fixture.h"
#include "ui/graph.h"
#include "ui/panel.h"
#include "ui/ring.h"

namespace ovx::app {
namespace {

using app::panelHandle;

constexpr std::uint16_t kUntouched = 0xBEEF;
constexpr const char* kReceived = "Data[64] block received!";
constexpr const char* kTimedOut = "Timeout-RS-232 while reading 64 data-words!";

struct Request {
    int order, word0, word1;
    bool operator==(const Request&) const = default;
};

// How many strongly red, green and blue pixels the graph shows.
struct Colours {
    int red = 0, green = 0, blue = 0;
};

int Attribute(int control, int attribute) {
    int v = -1;
    ui::GetCtrlAttribute(panelHandle, control, attribute, &v);
    return v;
}

int Value(int control) {
    int v = -1;
    ui::GetCtrlVal(panelHandle, control, &v);
    return v;
}

ui::Graph& GraphData() {
    return *static_cast<ui::Graph*>(ui::CtrlWidget(panelHandle, params::PANEL_GRAPHDATA));
}

class DataCurve : public testing::ToolFixture {
  protected:
    void SetUp() override {
        ToolFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        StartTool();
        std::fill(std::begin(link::yArrayA), std::end(link::yArrayA), kUntouched);
        std::fill(std::begin(link::yArrayB), std::end(link::yArrayB), kUntouched);
        GraphData().resize(520, 300);
    }

    static void SelectSource(int source) {
        ui::SetCtrlVal(panelHandle, params::PANEL_RNGGRAPHSOURCE, source);
    }

    // Runs the command and returns the requests that reached the controller meanwhile.
    std::vector<Request> Command() {
        const std::size_t before = Sim().Requests().size();
        CC_BTNData(panelHandle, params::PANEL_BTNDATA, ui::kEventCommit, nullptr, 0, 0);
        const auto log = Sim().Requests();
        std::vector<Request> sent;
        for (std::size_t i = before; i < log.size(); ++i) {
            sent.push_back(
                {link::FrameOrder(log[i]), link::FrameWord(log[i], 0), link::FrameWord(log[i], 1)});
        }
        return sent;
    }

    static Colours GraphColours() {
        const QImage image = GraphData().grab().toImage();
        Colours c;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor p = image.pixelColor(x, y);
                c.red += p.red() > 200 && p.green() < 90 && p.blue() < 90;
                c.green += p.green() > 200 && p.red() < 90 && p.blue() < 90;
                c.blue += p.blue() > 200 && p.red() < 90 && p.green() < 90;
            }
        }
        return c;
    }

    // Is the receive notification back? An order-2 exchange must be taken by it.
    static bool NotificationTakesFrames() {
        link::rx_flag = 0;
        link::FillTxBuf(link::kOrderReadRam, link::pp);
        platform::ComWrt(link::com, reinterpret_cast<const char*>(link::szWriteBuf),
                         link::kFrameBytes);
        return link::WaitRxFull() == 1;
    }

    static void ExpectCurve(const std::uint16_t* curve, sim::CurveKind kind) {
        for (int i = 0; i < sim::kCurvePoints; ++i) {
            ASSERT_EQ(curve[i], sim::CurvePoint(kind, i)) << "point " << i;
        }
    }

    static void ExpectLine(const std::uint16_t* line, int value) {
        for (int i = 0; i < 128; ++i) {
            ASSERT_EQ(line[i], value) << "point " << i;
        }
    }
};

TEST_F(DataCurve, RawSourceReadsFourBlocksThenOneLiveFrameFromTheCurrentPp) {
    SelectSource(0);
    ui::SetCtrlAttribute(panelHandle, params::PANEL_BTNDATA, ui::kAttrDimmed, 1);
    for (int i = 0; i < link::kPayloadWords; ++i) {
        link::pp[i] = static_cast<std::uint16_t>(0x0100 + i);
    }
    const std::vector<Request> sent = Command();

    const std::vector<Request> expected{
        {9, 0, 0}, {9, 64, 0}, {9, 128, 0}, {9, 192, 0}, {8, 0x0100, 0x0101}};
    EXPECT_EQ(sent, expected);
    const auto log = Sim().Requests();
    EXPECT_EQ(link::FrameWord(log.back(), 15), 0x010F) << "the live request carries pp as it was";

    ExpectCurve(link::yArrayA, sim::CurveKind::kRawA);
    ExpectCurve(link::yArrayB, sim::CurveKind::kRawB);
    EXPECT_EQ(StatusText(), kReceived);

    // The live frame reached the indicators and the (hidden) RAW history.
    EXPECT_EQ(Value(params::PANEL_UPVAL), 750);
    EXPECT_EQ(Value(params::PANEL_TOLERANCE), 150);
    EXPECT_EQ(arrayRAW[2 * kHistoryPoints - 2], Value(params::PANEL_ADCCHA));
    EXPECT_GT(Value(params::PANEL_ADCCHA), 0);

    EXPECT_EQ(Attribute(params::PANEL_STRIPRAW, ui::kAttrVisible), 0);
    EXPECT_EQ(Attribute(params::PANEL_STRIPNORM, ui::kAttrVisible), 0);
    EXPECT_EQ(Attribute(params::PANEL_GRAPHDATA, ui::kAttrVisible), 1);
    EXPECT_EQ(Attribute(params::PANEL_BTNDATA, ui::kAttrDimmed), 0);

    ui::Graph& graph = GraphData();
    EXPECT_EQ(graph.plotCount(), 2);
    EXPECT_EQ(graph.yName().toStdString(), "RAW-values / [ADC-units]");
    EXPECT_EQ(graph.axisRange(0).min, 1.0);
    EXPECT_EQ(graph.axisRange(0).max, 128.0);
    EXPECT_EQ(graph.axisRange(1).min, 0.0);
    EXPECT_EQ(graph.axisRange(1).max, 1000.0);
    const Colours c = GraphColours();
    EXPECT_GT(c.green, 50) << "channel A in green";
    EXPECT_GT(c.blue, 50) << "channel B in blue";
    EXPECT_EQ(c.red, 0);

    EXPECT_TRUE(NotificationTakesFrames());
}

TEST_F(DataCurve, NormSourceReadsTwoBlocksAndDrawsTheCurveBetweenItsLines) {
    SelectSource(1);
    params::reference = 600;
    params::tolerance = 150;
    const std::vector<Request> sent = Command();

    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], (Request{9, 0, 1}));
    EXPECT_EQ(sent[1], (Request{9, 64, 1}));
    EXPECT_EQ(sent[2].order, 8);
    ExpectCurve(link::yArrayA, sim::CurveKind::kNorm);
    EXPECT_TRUE(std::all_of(std::begin(link::yArrayB), std::end(link::yArrayB),
                            [](std::uint16_t v) { return v == kUntouched; }));
    ExpectLine(live::upArray, 750);
    ExpectLine(live::loArray, 450);
    ExpectLine(live::refArray, 600);

    ui::Graph& graph = GraphData();
    EXPECT_EQ(graph.plotCount(), 4);
    EXPECT_EQ(graph.yName().toStdString(), "NORM=1000*(A/Amax)");
    EXPECT_EQ(graph.axisRange(1).max, 1000.0);
    const Colours c = GraphColours();
    EXPECT_GT(c.red, 50) << "the curve in red";
    EXPECT_EQ(c.green, 0);
    EXPECT_EQ(c.blue, 0);
    EXPECT_TRUE(NotificationTakesFrames());
}

TEST_F(DataCurve, LimitLinesAreClampedTo4095And1) {
    SelectSource(1);
    params::reference = 4000;
    params::tolerance = 500;
    Command();
    ExpectLine(live::upArray, 4095);
    ExpectLine(live::loArray, 3500);
    ExpectLine(live::refArray, 4000);
    EXPECT_EQ(upTHR, 4095);

    params::reference = 100;
    Command();
    ExpectLine(live::upArray, 600);
    ExpectLine(live::loArray, 1);
    EXPECT_EQ(loTHR, 1);
}

TEST_F(DataCurve, BlockTimeOutClearsBothCurvesAndTheGraphIsStillDrawn) {
    SelectSource(1);
    sim::Faults faults;
    faults.cutReplyTo = 100; // block answers fall short; 36-byte frames pass whole
    Sim().SetFaults(faults);
    const std::vector<Request> sent = Command();

    // The late answer of a failed block could pass for the next block's: none is requested.
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], (Request{9, 0, 1}));
    EXPECT_EQ(sent[1].order, 8);
    EXPECT_EQ(StatusText(), kTimedOut);
    for (int i = 0; i < 128; ++i) {
        ASSERT_EQ(link::yArrayA[i], 0);
        ASSERT_EQ(link::yArrayB[i], 0);
    }
    EXPECT_EQ(GraphData().plotCount(), 4);
    EXPECT_EQ(Value(params::PANEL_UPVAL), 750) << "the live frame still came";
    EXPECT_EQ(Attribute(params::PANEL_BTNDATA, ui::kAttrDimmed), 0);
    EXPECT_TRUE(NotificationTakesFrames());
}

TEST_F(DataCurve, MissingLiveFrameStillDrawsTheCurveAsReadAndLeavesTheIndicators) {
    SelectSource(0);
    sim::Faults faults;
    faults.dropEveryKthLive = 1;
    Sim().SetFaults(faults);
    link::pp[5] = 4321;
    ui::SetCtrlVal(panelHandle, params::PANEL_UPVAL, 17);
    Command();

    EXPECT_EQ(link::ret, 0);
    EXPECT_EQ(StatusText(), kReceived) << "no text of its own for the missing frame";
    ExpectCurve(link::yArrayA, sim::CurveKind::kRawA);
    EXPECT_EQ(GraphData().plotCount(), 2);
    EXPECT_EQ(Value(params::PANEL_UPVAL), 17) << "no value the controller did not send is shown";
}

TEST_F(DataCurve, GraphSourceOtherThanRawOrNormReadsFourBlocksAndLeavesTheGraphEmpty) {
    ASSERT_EQ(ui::InsertRingItem(panelHandle, params::PANEL_RNGGRAPHSOURCE, -1, "other", 2), 0);
    SelectSource(2);
    ASSERT_EQ(Value(params::PANEL_RNGGRAPHSOURCE), 2);
    const std::vector<Request> sent = Command();

    const std::vector<Request> expected{
        {9, 0, 2}, {9, 64, 2}, {9, 128, 2}, {9, 192, 2}, {8, sent.back().word0, sent.back().word1}};
    EXPECT_EQ(sent, expected);
    ExpectCurve(link::yArrayA, sim::CurveKind::kRawA);
    ExpectCurve(link::yArrayB, sim::CurveKind::kRawB);
    EXPECT_EQ(GraphData().plotCount(), 0);
    EXPECT_EQ(Attribute(params::PANEL_GRAPHDATA, ui::kAttrVisible), 1);
}

TEST_F(DataCurve, DrawingFollowsASourceChangeMadeWhileWaitingForTheLiveFrame) {
    SelectSource(0);
    // The block reads process no events: the first chance for this timer is the live wait.
    QTimer::singleShot(0, [] { SelectSource(1); });
    const std::vector<Request> sent = Command();

    EXPECT_EQ(sent.size(), 5u) << "four RAW blocks were read";
    EXPECT_EQ(GraphData().plotCount(), 4) << "and drawn as NORM";
    EXPECT_EQ(GraphData().yName().toStdString(), "NORM=1000*(A/Amax)");
}

TEST_F(DataCurve, OnlyTheCommitActs) {
    ui::SetCtrlAttribute(panelHandle, params::PANEL_GRAPHDATA, ui::kAttrVisible, 0);
    const std::size_t before = Sim().Requests().size();
    CC_BTNData(panelHandle, params::PANEL_BTNDATA, ui::kEventLeftClick, nullptr, 0, 0);
    EXPECT_EQ(Sim().Requests().size(), before);
    EXPECT_EQ(Attribute(params::PANEL_GRAPHDATA, ui::kAttrVisible), 0);
}

} // namespace
} // namespace ovx::app
