// A live run against a scripted controller on an emulated 19200-baud line that misbehaves once:
// stray bytes, garbage, a pause inside a reply, a late byte, a reply of another order. Every
// frame the tool takes must be one the controller sent for that run, whole, and the run goes on.
// Then stop followed by run or get after gaps of 0 to 60 ms: the next exchange starts clean.
#include <gtest/gtest.h>

#include <QTimer>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/panel_handles.h"
#include "app/runloop.h"
#include "link/com232.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/serial.h"
#include "platform/timing.h"
#include "platform/trace.h"
#include "support/row_name.h"
#include "support/scripted_peer.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"

namespace ovx::app {
namespace {

using app::panelHandle;
using testing::Garbage;
using testing::ScriptedPeer;
using Bytes = ScriptedPeer::Reply;

// Live frame n of run r: words that hold the sync word and order codes, so that a reply read
// shifted by whole words starts with a plausible header.
link::Payload LiveWords(int n, int run) {
    const auto w = static_cast<std::uint16_t>(n);
    return {w, 0x0055, 0x0008, 0x0055, 0x0002, w, w, w,
            w, 0x0055, 0x0008, 0,      0,      0, 0, static_cast<std::uint16_t>(run)};
}
const link::Payload kParams{0x0055, 0x0002, 0x0055, 0x0008, 500, 2048, 100, 20,
                            1,      0,      3,      4,      5,   6,    7,   8};

Bytes Encode(int orderCode, const link::Payload& words) {
    const auto f = link::EncodeFrame(link::kSyncWord, orderCode, words);
    return Bytes(f.begin(), f.end());
}

// How the controller answers the live request it gets as its fault request.
using Fault = std::function<ScriptedPeer::Script(const Bytes& reply)>;
// How the controller answers live request n (counted from 1) whose right reply is reply.
using LiveAnswer = std::function<ScriptedPeer::Script(int n, const Bytes& reply)>;

std::vector<link::Payload>* gTaken = nullptr;

// The installed notification, recording every frame it took.
void RecordingRx(int port, int eventWord, void* data) {
    const int before = link::order;
    link::order = -1;
    link::RX_Receive_Function(port, eventWord, data);
    if (link::order == -1) {
        link::order = before;
        return;
    }
    link::Payload p{};
    std::copy(std::begin(link::pp), std::end(link::pp), p.begin());
    gTaken->push_back(p);
}

class LiveIntegrity : public testing::PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        gTaken = &taken_;
    }
    void TearDown() override {
        timer_.reset();
        PanelFixture::TearDown();
        peer_.reset();
        gTaken = nullptr;
    }

    // Live request number faultAt (counted from 1 over the whole test) gets fault; live replies
    // are delayed by slowUs.
    void StartPeer(int faultAt, Fault fault, int slowUs = 0) {
        StartPeer([=](int n, const Bytes& reply) {
            return n == faultAt ? fault(reply) : ScriptedPeer::Script{{slowUs, reply}};
        });
    }

    void StartPeer(LiveAnswer answer) {
        peer_ = std::make_unique<ScriptedPeer>([=, this](const link::FrameBytes& request) {
            ScriptedPeer::Script s;
            if (link::FrameOrder(request) == link::kOrderReadRam) {
                s.push_back({0, Encode(link::kOrderReadRam, kParams)});
                return s;
            }
            const int n = ++liveRequests_;
            return answer(
                n, Encode(link::kOrderLiveSample, LiveWords(n, link::FrameWord(request, 15))));
        });
        std::string error;
        ASSERT_TRUE(peer_->Start(error)) << error;
        platform::RegisterPort(1, peer_->DevicePath());
        ASSERT_EQ(platform::OpenComConfig(1, "", 19200, 0, 8, 1, 4096, 4096), 0);
        platform::SetComTime(1, 2.0);
        platform::InstallComCallback(1, link::eventMask, link::kFrameBytes, link::sync, RecordingRx,
                                     nullptr);
        link::rx_flag = 1;
    }

    // One run, numbered run in the requests' word 15, until frames more frames were taken.
    void RunFor(int run, std::size_t frames) {
        params::para15 = static_cast<std::uint16_t>(run);
        const std::size_t until = taken_.size() + frames;
        const double start = platform::Timer();
        timer_ = std::make_unique<QTimer>();
        timer_->setInterval(0);
        QObject::connect(timer_.get(), &QTimer::timeout, [this, until, start] {
            // Stop once the next request is out: its reply is then still to come.
            const bool asked = taken_.size() >= until && link::rx_flag == 0;
            if (asked || platform::Timer() - start > 8.0) {
                timer_->stop();
                CC_BTNStop(panelHandle, params::PANEL_BTNSTOP, ui::kEventCommit, nullptr, 0, 0);
            }
        });
        timer_->start();
        CC_BTNRun(panelHandle, params::PANEL_BTNRUN, ui::kEventCommit, nullptr, 0, 0);
        ASSERT_GE(taken_.size(), until) << "the run ended early";
        EXPECT_EQ(StatusText(), "Line Ok!");
    }

    static void Gap(int ms) {
        const double start = platform::Timer();
        testing::WaitUntil([&] { return platform::Timer() - start >= ms / 1000.0; });
    }

    // Every frame taken from index first on is a live frame the controller sent in run run, in
    // the order sent; returns how many live requests were not answered by a taken frame.
    int ExpectGenuine(std::size_t first, int run) {
        int previous = 0;
        for (std::size_t i = first; i < taken_.size(); ++i) {
            const link::Payload& p = taken_[i];
            EXPECT_EQ(p, LiveWords(p[0], run)) << "frame " << i;
            EXPECT_GT(p[0], previous) << "frame " << i;
            previous = p[0];
        }
        return liveRequests_ - static_cast<int>(taken_.size() - first);
    }

    std::vector<link::Payload> taken_;
    std::atomic<int> liveRequests_{0};
    std::unique_ptr<ScriptedPeer> peer_;
    std::unique_ptr<QTimer> timer_;
};

struct FaultRow {
    const char* name;
    Fault fault;
};

void PrintTo(const FaultRow& row, std::ostream* os) {
    *os << row.name;
}

class LiveRunWithAFault : public LiveIntegrity, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(LiveRunWithAFault, TakesOnlyWholeFramesOfTheRunAndGoesOn) {
    StartPeer(4, GetParam().fault);
    RunFor(1, 10);
    const int unanswered = ExpectGenuine(0, 1);
    EXPECT_LE(unanswered, 2) << "the stop leaves one request, the fault costs one frame at most";
}

ScriptedPeer::Script Before(Bytes junk, const Bytes& reply) {
    return {{0, std::move(junk)}, {0, reply}};
}

INSTANTIATE_TEST_SUITE_P(
    Line, LiveRunWithAFault,
    ::testing::Values(
        FaultRow{"StrayZeroByte", [](const Bytes& r) { return Before({0x00}, r); }},
        FaultRow{"StrayByte", [](const Bytes& r) { return Before({0xC3}, r); }},
        FaultRow{"SplitByAPause",
                 [](const Bytes& r) {
                     return ScriptedPeer::Script{{0, Bytes(r.begin(), r.begin() + 13)},
                                                 {8000, Bytes(r.begin() + 13, r.end())}};
                 }},
        FaultRow{"LateExtraByte",
                 [](const Bytes& r) {
                     return ScriptedPeer::Script{{0, r}, {3000, {0x00}}};
                 }},
        FaultRow{"OversizedReply",
                 [](const Bytes& r) {
                     Bytes big = r;
                     big.insert(big.end(), {0x00, 0x00, 0x13, 0x00});
                     return ScriptedPeer::Script{{0, big}};
                 }},
        FaultRow{"Garbage1", [](const Bytes& r) { return Before(Garbage(1, 777), r); }},
        FaultRow{"Garbage9", [](const Bytes& r) { return Before(Garbage(9, 777), r); }},
        FaultRow{"Garbage35", [](const Bytes& r) { return Before(Garbage(35, 777), r); }},
        FaultRow{"Garbage40", [](const Bytes& r) { return Before(Garbage(40, 777), r); }},
        FaultRow{"LateReplyOfAFetch",
                 [](const Bytes& r) { return Before(Encode(link::kOrderReadRam, kParams), r); }},
        FaultRow{"OnlyAReplyOfAFetch",
                 [](const Bytes&) {
                     return ScriptedPeer::Script{{0, Encode(link::kOrderReadRam, kParams)}};
                 }}),
    testing::RowName());

// Replies the run discards (whole frames of another order) are no answer: the line's time-out
// runs from the first request or the last reply taken, and a run that gets nothing else ends by
// it after 2.0 s; one reply taken every 1.5 s keeps it running.
struct DiscardRow {
    const char* name;
    int goodEveryMs; // a reply of the right order once this long after the last (0: never)
    bool timesOut;
};

void PrintTo(const DiscardRow& row, std::ostream* os) {
    *os << row.name;
}

class LiveRunWithDiscardedReplies : public LiveIntegrity,
                                    public ::testing::WithParamInterface<DiscardRow> {
  protected:
    using Clock = std::chrono::steady_clock;
    static double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

    // Every live request is answered by a whole frame, of order 9 unless a good one is due.
    void StartAnswering(int goodEveryMs) {
        auto last = std::make_shared<Clock::time_point>();
        StartPeer([goodEveryMs, last](int n, const Bytes& reply) {
            const auto now = Clock::now();
            if (n == 1) {
                *last = now;
            }
            if (goodEveryMs > 0 && now - *last >= std::chrono::milliseconds(goodEveryMs)) {
                *last = now;
                return ScriptedPeer::Script{{0, reply}};
            }
            Bytes other = reply;
            other[3] = 0x09; // the order code word: 0x0009
            return ScriptedPeer::Script{{0, other}};
        });
    }

    // The stop button once seconds have passed since the run started. One timer event: nothing
    // else wakes the run loop, which must look after a discarded reply on its own.
    void StopAfter(double seconds) {
        timer_ = std::make_unique<QTimer>();
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(static_cast<int>(std::ceil(seconds * 1000.0)) + 1);
        QObject::connect(timer_.get(), &QTimer::timeout, [] {
            CC_BTNStop(panelHandle, params::PANEL_BTNSTOP, ui::kEventCommit, nullptr, 0, 0);
        });
        timer_->start();
    }
};

TEST_P(LiveRunWithDiscardedReplies, TheLineTimeOutRunsFromTheLastReplyTaken) {
    const DiscardRow& row = GetParam();
    StartAnswering(row.goodEveryMs);
    params::para15 = 1;
    StopAfter(row.timesOut ? 6.0 : 4.5);
    const auto started = Clock::now();
    CC_BTNRun(panelHandle, params::PANEL_BTNRUN, ui::kEventCommit, nullptr, 0, 0);
    const auto ended = Clock::now();
    const auto asked = peer_->RequestTimes();
    ASSERT_GT(asked.size(), 10u) << "every discarded reply is answered by a new request";
    if (!row.timesOut) {
        EXPECT_EQ(StatusText(), "Line Ok!");
        EXPECT_GT(Seconds(ended - started), 4.5);
        EXPECT_GE(taken_.size(), 2u);
        ExpectGenuine(0, 1);
        return;
    }
    EXPECT_EQ(StatusText(), "Timeout RS232-Line!");
    EXPECT_TRUE(taken_.empty());
    // The tool's clock, and the test's around it: the run started before the first request
    // went out, and the controller got that request (its thread may see it late) no more than
    // 2.1 s before the end.
    EXPECT_GT(link::tdiff, 2.0);
    EXPECT_LE(link::tdiff, 2.1);
    EXPECT_GT(Seconds(ended - started), 2.0);
    EXPECT_LE(Seconds(ended - asked.front()), 2.1);
    EXPECT_LE(Seconds(asked.back() - asked.front()), 2.1);
}

INSTANTIATE_TEST_SUITE_P(Line, LiveRunWithDiscardedReplies,
                         ::testing::Values(DiscardRow{"OtherOrderOnly", 0, true},
                                           DiscardRow{"AGoodReplyEvery1500ms", 1500, false}),
                         testing::RowName());

// Stop, a gap, then run or get: the reply still on its way is no answer to the new request.
struct StopRow {
    const char* name;
    int gapMs;
    bool get;
    int slowUs; // the live replies' extra delay
};

void PrintTo(const StopRow& row, std::ostream* os) {
    *os << row.name;
}

class StopThenNext : public LiveIntegrity, public ::testing::WithParamInterface<StopRow> {};

TEST_P(StopThenNext, StartsClean) {
    const StopRow& row = GetParam();
    StartPeer(0, nullptr, row.slowUs);
    RunFor(1, 3);
    Gap(row.gapMs);
    const std::size_t first = taken_.size();
    if (!row.get) {
        RunFor(2, 3);
        ExpectGenuine(first, 2);
        return;
    }
    params::target = params::RAM;
    app::CC_BTNGet(panelHandle, params::PANEL_BTNGET, ui::kEventCommit, nullptr, 0, 0);
    EXPECT_EQ(StatusText(), "Data Transfer Ok!");
    const link::Payload vars{
        params::power,    params::reference, params::tolerance, params::hysteresis,
        params::polarity, params::hold,      params::hwmode,    params::average,
        params::evalmode, params::maxmode,   params::triglvl,   params::trigmode,
        params::sdelay,   params::dbuflen,   params::anamode,   params::para15};
    EXPECT_EQ(vars, kParams);
}

INSTANTIATE_TEST_SUITE_P(
    Gaps, StopThenNext,
    ::testing::Values(StopRow{"Run0", 0, false, 0}, StopRow{"Run10", 10, false, 0},
                      StopRow{"Run20", 20, false, 0}, StopRow{"Run30", 30, false, 0},
                      StopRow{"Run45", 45, false, 0}, StopRow{"Run60", 60, false, 0},
                      StopRow{"Get0", 0, true, 0}, StopRow{"Get10", 10, true, 0},
                      StopRow{"Get20", 20, true, 0}, StopRow{"Get30", 30, true, 0},
                      StopRow{"Get45", 45, true, 0}, StopRow{"Get60", 60, true, 0},
                      StopRow{"GetWhileASlowLiveReplyIsDue", 40, true, 120000}),
    testing::RowName());

} // namespace
} // namespace ovx::app
