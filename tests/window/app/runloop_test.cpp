// The live run loop against the virtual controller over a pty. A run returns only when it ends,
// so each test drives it like an operator: a timer that fires inside the loop's event
// processing, or a hook on each frame as it arrives, watches the frames and presses stop,
// switches the graph source or cuts the line.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "app/gui.h"
#include "app/panel_handles.h"
#include "app/runloop.h"
#include "app/strip.h"
#include "link/com232.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"
#include "ui/plot.h"

namespace ovx::app {
namespace {

using app::panelHandle;

// Words 0 to 8 of every live frame the tool decoded, in arrival order.
using LiveWords = std::array<std::uint16_t, 9>;
std::vector<LiveWords>* gFrames = nullptr;
// Called with each frame recorded, before the loop plots it.
std::function<void()> gOnFrame;

// Stands in for the installed notification: decodes as the tool does, then records the words.
void RecordingRx(int port, int eventWord, void* data) {
    link::RX_Receive_Function(port, eventWord, data);
    if ((eventWord & platform::kEvNotifyCount) != 0 && gFrames != nullptr) {
        LiveWords w{};
        std::copy_n(link::pp, w.size(), w.begin());
        gFrames->push_back(w);
        if (gOnFrame) {
            gOnFrame();
        }
    }
}

int Value(int control) {
    int v = -1;
    ui::GetCtrlVal(panelHandle, control, &v);
    return v;
}

int Attribute(int control, int attribute) {
    int v = -1;
    ui::GetCtrlAttribute(panelHandle, control, attribute, &v);
    return v;
}

void ExpectResetHistories() {
    for (int k = 0; k < kHistoryPoints; ++k) {
        ASSERT_EQ(arrayRAW[2 * k], 0.0);
        ASSERT_EQ(arrayRAW[2 * k + 1], 0.0);
        ASSERT_EQ(arrayNORM[4 * k], 2560.0);
        ASSERT_EQ(arrayNORM[4 * k + 1], 1536.0);
        ASSERT_EQ(arrayNORM[4 * k + 2], 2048.0);
        ASSERT_EQ(arrayNORM[4 * k + 3], 0.0);
    }
}

class LiveRun : public testing::ToolFixture {
  protected:
    void SetUp() override {
        ToolFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        gFrames = &frames_;
    }

    void TearDown() override {
        timer_.reset();
        gFrames = nullptr;
        gOnFrame = nullptr;
        ToolFixture::TearDown();
    }

    // Start-up on the virtual controller, then the recording notification in place.
    void StartWithRecorder() {
        StartTool();
        platform::InstallComCallback(link::com, link::eventMask, link::kFrameBytes, link::sync,
                                     RecordingRx, nullptr);
    }

    static void SelectSource(int source) {
        ui::SetCtrlVal(panelHandle, params::PANEL_RNGGRAPHSOURCE, source);
        app::CC_RNGGraphSource(panelHandle, params::PANEL_RNGGRAPHSOURCE, ui::kEventCommit, nullptr,
                               0, 0);
    }

    // Calls step on every pass of event processing until it returns true.
    void EveryPass(std::function<bool()> step) {
        timer_ = std::make_unique<QTimer>();
        timer_->setInterval(0);
        QObject::connect(timer_.get(), &QTimer::timeout, [this, step] {
            if (step()) {
                timer_->stop();
            }
        });
        timer_->start();
    }

    // Every recorded frame has been plotted once the loop cleared graphrefresh.
    int PlottedFrames() const {
        return link::graphrefresh == 0 ? static_cast<int>(frames_.size()) : -1;
    }

    static void Run() {
        CC_BTNRun(panelHandle, params::PANEL_BTNRUN, ui::kEventCommit, nullptr, 0, 0);
    }
    static void Stop() {
        CC_BTNStop(panelHandle, params::PANEL_BTNSTOP, ui::kEventCommit, nullptr, 0, 0);
    }

    std::vector<LiveWords> frames_;
    std::unique_ptr<QTimer> timer_;
};

TEST_F(LiveRun, RawRunPlotsEveryReplyAndTheStopButtonEndsItAndResetsTheHistories) {
    StartWithRecorder();
    SelectSource(0);
    // Thresholds at 0: every positive value switches the reference output on and lies above the
    // tolerance window (polarity 1 from the controller).
    params::reference = params::tolerance = params::hysteresis = 0;
    ASSERT_EQ(params::polarity, 1);
    const int requestsBefore = Sim().RequestCount();

    constexpr int kMinFrames = 30;
    constexpr std::array kIndicators{
        params::PANEL_VALNORM,   params::PANEL_ADCCHA, params::PANEL_ADCCHB,
        params::PANEL_AMAX,      params::PANEL_UPVAL,  params::PANEL_LOVAL,
        params::PANEL_TOLERANCE, params::PANEL_LEDREF, params::PANEL_LEDTOL};
    int plotted = 0;
    std::array<double, 2 * kHistoryPoints> history{};
    std::array<int, kIndicators.size()> shown{};
    EveryPass([&] {
        plotted = PlottedFrames();
        if (plotted < kMinFrames) {
            return false;
        }
        std::copy(std::begin(arrayRAW), std::end(arrayRAW), history.begin());
        for (std::size_t i = 0; i < shown.size(); ++i) {
            shown[i] = Value(kIndicators[i]);
        }
        auto* stop = static_cast<QWidget*>(ui::CtrlWidget(panelHandle, params::PANEL_BTNSTOP));
        QTest::mouseClick(stop, Qt::LeftButton);
        return true;
    });
    Run();

    ASSERT_GE(plotted, kMinFrames);
    EXPECT_EQ(live::stop_flag, 1);
    EXPECT_EQ(StatusText(), "Line Ok!");
    // One request outstanding at a time: the first, then one per reply.
    const int requests = Sim().RequestCount() - requestsBefore;
    EXPECT_GE(requests, plotted);
    EXPECT_LE(requests, plotted + 1);

    // The newest points of the history are the frames in arrival order, the older ones the
    // reset history of start-up.
    const int n = std::min(plotted, kHistoryPoints);
    for (int k = 0; k < n; ++k) {
        const LiveWords& f = frames_[static_cast<std::size_t>(plotted - n + k)];
        const int slot = 2 * (kHistoryPoints - n + k);
        ASSERT_EQ(history[slot], f[1]) << "point " << k;
        ASSERT_EQ(history[slot + 1], f[2]) << "point " << k;
    }
    EXPECT_TRUE(
        std::all_of(history.begin(), history.end() - 2 * n, [](double v) { return v == 0.0; }));

    // The indicators show the last plotted frame; the window words come from the controller's
    // parameters (reference 600, tolerance 150).
    const LiveWords& last = frames_[static_cast<std::size_t>(plotted - 1)];
    EXPECT_EQ(shown[0], last[0]);
    EXPECT_EQ(shown[1], last[1]);
    EXPECT_EQ(shown[2], last[2]);
    EXPECT_EQ(shown[3], last[3]);
    EXPECT_EQ(shown[4], 750);
    EXPECT_EQ(shown[5], 450);
    EXPECT_EQ(shown[6], 150) << "PANEL_TOLERANCE shows the frame's tolerance in RAW mode";
    EXPECT_EQ(shown[7], 1);
    EXPECT_EQ(shown[8], 0);
    EXPECT_EQ(Value(params::PANEL_TOLERANCE), 150) << "and keeps it after the run";

    // The chart keeps its traces; the stop button resets the histories and both buttons.
    std::vector<double> trace(kHistoryPoints);
    ASSERT_GT(ui::GetStripChartPoints(panelHandle, params::PANEL_STRIPRAW, 1, trace.data(),
                                      kHistoryPoints),
              0);
    EXPECT_EQ(trace.back(), last[1]);
    ExpectResetHistories();
    EXPECT_EQ(Attribute(params::PANEL_BTNRUN, ui::kAttrDimmed), 0);
    EXPECT_EQ(Attribute(params::PANEL_BTNDATA, ui::kAttrDimmed), 0);
    EXPECT_EQ(Attribute(params::PANEL_GRAPHDATA, ui::kAttrVisible), 0);
    EXPECT_EQ(Attribute(params::PANEL_STRIPRAW, ui::kAttrVisible), 1);
    EXPECT_EQ(Attribute(params::PANEL_STRIPNORM, ui::kAttrVisible), 0);
    EXPECT_EQ(link::rx_flag, 0);
    EXPECT_EQ(link::graphrefresh, 0);
}

TEST_F(LiveRun, StopBeforeTheFirstReplyEndsTheRunAfterOnePass) {
    StartWithRecorder();
    sim::Faults slow;
    slow.slowMs = 400;
    Sim().SetFaults(slow);
    std::fill(std::begin(arrayRAW), std::end(arrayRAW), 5.0);
    const int requestsBefore = Sim().RequestCount();

    // Stop once the controller holds the request (the stop flushes the output queue, which
    // would otherwise drop a request still on its way) and before its slowed reply comes.
    EveryPass([&] {
        if (Sim().RequestCount() == requestsBefore) {
            return false;
        }
        Stop();
        return true;
    });
    const double start = platform::Timer();
    Run();

    EXPECT_LT(platform::Timer() - start, 0.4);
    EXPECT_TRUE(frames_.empty());
    EXPECT_EQ(Sim().RequestCount() - requestsBefore, 1);
    EXPECT_EQ(StatusText(), "Line Ok!");
    EXPECT_EQ(live::stop_flag, 1);
    ExpectResetHistories();
    EXPECT_EQ(Attribute(params::PANEL_BTNRUN, ui::kAttrDimmed), 0);
    EXPECT_EQ(Attribute(params::PANEL_BTNDATA, ui::kAttrDimmed), 0);
}

TEST_F(LiveRun, SwitchingTheGraphSourceFeedsTheOtherChartFromTheNextFrame) {
    StartWithRecorder();
    SelectSource(0);
    const int reference = params::reference;
    const int tolerance = params::tolerance;
    constexpr int kLeg = 8;

    int phase = 0;
    std::size_t switchedToNorm = 0, switchedToRaw = 0;
    std::array<double, 2 * kHistoryPoints> rawAtSwitch{}, rawBackAtSwitch{};
    std::array<double, 4 * kHistoryPoints> normAtSwitchBack{};
    std::array<double, 2 * kHistoryPoints> rawAtEnd{};
    std::size_t total = 0;
    // One frame is in flight: when a frame arrives, every one before it has been plotted, and
    // it is plotted next with the source selected now. A timer's pass could see many frames
    // at once on a busy machine, where the replies are there before the timers are looked at.
    gOnFrame = [&] {
        const std::size_t plotted = frames_.size() - 1;
        if (phase == 3 || plotted < static_cast<std::size_t>(kLeg) * (phase + 1)) {
            return;
        }
        switch (phase++) {
        case 0:
            std::copy(std::begin(arrayRAW), std::end(arrayRAW), rawAtSwitch.begin());
            switchedToNorm = plotted;
            SelectSource(1);
            break;
        case 1:
            std::copy(std::begin(arrayRAW), std::end(arrayRAW), rawBackAtSwitch.begin());
            std::copy(std::begin(arrayNORM), std::end(arrayNORM), normAtSwitchBack.begin());
            switchedToRaw = plotted;
            SelectSource(0);
            break;
        default:
            std::copy(std::begin(arrayRAW), std::end(arrayRAW), rawAtEnd.begin());
            total = plotted;
            Stop();
            break;
        }
    };
    // The three legs take well under a second; a line that stops bringing
    // frames ends the run here instead of leaving it waiting.
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { Stop(); });
    giveUp.start(30000);
    Run();
    ASSERT_EQ(phase, 3) << "legs of " << kLeg << " frames done within 30 s; frames "
                        << frames_.size();

    EXPECT_EQ(rawBackAtSwitch, rawAtSwitch) << "the RAW history rests while NORM is shown";

    // The NORM chart starts from the history filled at the start of the run (unclamped lines),
    // then takes the frames plotted while NORM was selected.
    const int normFrames = static_cast<int>(switchedToRaw - switchedToNorm);
    ASSERT_EQ(normFrames, kLeg);
    for (int k = 0; k < kHistoryPoints - normFrames; ++k) {
        ASSERT_EQ(normAtSwitchBack[4 * k], reference + tolerance);
        ASSERT_EQ(normAtSwitchBack[4 * k + 1], reference - tolerance);
        ASSERT_EQ(normAtSwitchBack[4 * k + 2], reference);
        ASSERT_EQ(normAtSwitchBack[4 * k + 3], 0.0);
    }
    for (int k = 0; k < normFrames; ++k) {
        const int slot = 4 * (kHistoryPoints - normFrames + k);
        ASSERT_EQ(normAtSwitchBack[slot + 3], frames_[switchedToNorm + k][0]) << "point " << k;
    }

    // Back on RAW the history continues where it stopped: frames after the switch back follow
    // the points that were there before.
    const int rawFrames = static_cast<int>(total - switchedToRaw);
    ASSERT_EQ(rawFrames, kLeg);
    for (int k = 0; k < kHistoryPoints - rawFrames; ++k) {
        ASSERT_EQ(rawAtEnd[2 * k], rawAtSwitch[2 * (k + rawFrames)]) << "point " << k;
    }
    for (int k = 0; k < rawFrames; ++k) {
        const int slot = 2 * (kHistoryPoints - rawFrames + k);
        ASSERT_EQ(rawAtEnd[slot], frames_[switchedToRaw + k][1]) << "point " << k;
    }
}

// The stop in this test comes from the host's side: the line falls silent mid-run.
TEST_F(LiveRun, SilentLineEndsTheRunByTimeOutAndLeavesTheDataButtonDimmed) {
    StartWithRecorder();
    SelectSource(0);
    constexpr int kFrames = 10;
    double silentSince = 0.0;
    EveryPass([&] {
        if (PlottedFrames() < kFrames) {
            return false;
        }
        sim::Faults silent;
        silent.silent = true;
        Sim().SetFaults(silent);
        silentSince = platform::Timer();
        return true;
    });
    Run();
    const double ended = platform::Timer();

    ASSERT_GE(frames_.size(), static_cast<std::size_t>(kFrames));
    // The last request may have left just before the line fell silent.
    EXPECT_GT(ended - silentSince, 1.95);
    EXPECT_LT(ended - silentSince, 2.6);
    EXPECT_GT(link::tdiff, 2.0);
    EXPECT_EQ(StatusText(), "Timeout RS232-Line!");
    EXPECT_EQ(live::stop_flag, 1);
    EXPECT_EQ(Attribute(params::PANEL_BTNRUN, ui::kAttrDimmed), 0);
    EXPECT_EQ(Attribute(params::PANEL_BTNDATA, ui::kAttrDimmed), 1);

    // A time-out does not reset the RAW history: a new run continues it, while the NORM history
    // is refilled from the parameters at the start of that run.
    EXPECT_EQ(arrayRAW[2 * kHistoryPoints - 2], frames_.back()[1]);
    const std::vector<double> rawBefore(std::begin(arrayRAW), std::end(arrayRAW));
    params::reference = 300;
    params::tolerance = 512;
    std::vector<double> rawInRun, normInRun;
    EveryPass([&] {
        rawInRun.assign(std::begin(arrayRAW), std::end(arrayRAW));
        normInRun.assign(std::begin(arrayNORM), std::begin(arrayNORM) + 4);
        Stop();
        return true;
    });
    Run(); // the line is still silent: the stop ends this run before any frame
    EXPECT_EQ(rawInRun, rawBefore);
    EXPECT_EQ(normInRun, (std::vector<double>{812.0, -212.0, 300.0, 0.0}));
}

TEST_F(LiveRun, RunOnAClosedPortShowsNoLineOkAndEndsByTimeOut) {
    // No start-up: the port is not open and every write fails.
    std::fill(std::begin(arrayRAW), std::end(arrayRAW), 7.0);
    params::reference = 300;
    params::tolerance = 512;
    const std::string before = StatusText();
    ASSERT_NE(before, "Line Ok!");
    bool lineOkSeen = false;
    EveryPass([&] {
        lineOkSeen = lineOkSeen || StatusText() == "Line Ok!";
        return false;
    });
    const double start = platform::Timer();
    Run();
    const double elapsed = platform::Timer() - start;

    EXPECT_FALSE(lineOkSeen);
    EXPECT_NE(link::nBytesW, link::kFrameBytes);
    EXPECT_GT(elapsed, 2.0);
    EXPECT_LT(elapsed, 2.6);
    EXPECT_EQ(StatusText(), "Timeout RS232-Line!");
    EXPECT_TRUE(std::all_of(std::begin(arrayRAW), std::end(arrayRAW), [](double v) {
        return v == 7.0;
    })) << "a time-out keeps the RAW history";
    for (int k = 0; k < kHistoryPoints; ++k) {
        ASSERT_EQ(arrayNORM[4 * k], 812.0);
        ASSERT_EQ(arrayNORM[4 * k + 1], -212.0);
        ASSERT_EQ(arrayNORM[4 * k + 2], 300.0);
        ASSERT_EQ(arrayNORM[4 * k + 3], 0.0);
    }
}

TEST_F(LiveRun, StopWithoutARunResetsBothHistoriesAndEnablesBothButtons) {
    std::fill(std::begin(arrayRAW), std::end(arrayRAW), 3.0);
    std::fill(std::begin(arrayNORM), std::end(arrayNORM), 3.0);
    ui::SetCtrlAttribute(panelHandle, params::PANEL_BTNRUN, ui::kAttrDimmed, 1);
    ui::SetCtrlAttribute(panelHandle, params::PANEL_BTNDATA, ui::kAttrDimmed, 1);

    // Only the commit acts, for both buttons.
    CC_BTNStop(panelHandle, params::PANEL_BTNSTOP, ui::kEventLeftClick, nullptr, 0, 0);
    CC_BTNRun(panelHandle, params::PANEL_BTNRUN, ui::kEventLeftClick, nullptr, 0, 0);
    EXPECT_EQ(arrayRAW[0], 3.0);
    EXPECT_EQ(Attribute(params::PANEL_BTNRUN, ui::kAttrDimmed), 1);

    Stop();
    ExpectResetHistories();
    EXPECT_EQ(live::stop_flag, 1);
    EXPECT_EQ(Attribute(params::PANEL_BTNRUN, ui::kAttrDimmed), 0);
    EXPECT_EQ(Attribute(params::PANEL_BTNDATA, ui::kAttrDimmed), 0);
}

} // namespace
} // namespace ovx::app
