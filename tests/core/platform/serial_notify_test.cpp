// The receive notification over a real pty: when it runs, when it does not, and that it is
// never re-entered.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/pty_device.h"
#include "platform/serial.h"
#include "platform/serial_notify_fixture.h"
#include "platform/timing.h"
#include "support/row_name.h"

namespace ovx::platform {
namespace {

using testing::Clock;
using testing::kFrame;
using testing::kMask;
using testing::kPort;
using testing::OpenAs;
using testing::ProcessFor;
using testing::ProcessUntil;
using testing::PtyDevice;
using testing::Record;
using testing::Recorder;
using testing::SerialNotification;
using testing::WaitInQ;

TEST_F(SerialNotification, FiresOnceFor36BytesAndOnlyInsideEventProcessing) {
    ASSERT_TRUE(device_.Send(kFrame));
    ASSERT_TRUE(WaitInQ(kPort, kFrame)); // queued, but no events processed yet
    EXPECT_EQ(rec_.calls, 0);
    ASSERT_TRUE(WaitCalls(rec_, 1));
    EXPECT_EQ(rec_.port, kPort);
    EXPECT_NE(rec_.eventWord & kEvNotifyCount, 0);
    EXPECT_EQ(rec_.bytes, PtyDevice::Pattern(kFrame));
    ProcessFor(0.05);
    EXPECT_EQ(rec_.calls, 1);
}

TEST_F(SerialNotification, FiresAgainWhenTheNextFrameArrives) {
    ASSERT_TRUE(device_.Send(kFrame));
    ASSERT_TRUE(WaitCalls(rec_, 1));
    ASSERT_TRUE(device_.Send(kFrame, 100));
    ASSERT_TRUE(WaitCalls(rec_, 2));
    EXPECT_EQ(rec_.bytes, PtyDevice::Pattern(kFrame, 100));
    ProcessFor(0.05);
    EXPECT_EQ(rec_.calls, 2);
}

TEST_F(SerialNotification, FrameLeftQueuedByTheCallbackIsReportedNext) {
    ASSERT_TRUE(device_.Send(2 * kFrame + 5));
    ASSERT_TRUE(WaitCalls(rec_, 2));
    EXPECT_EQ(rec_.bytes, PtyDevice::Pattern(kFrame, kFrame));
    ProcessFor(0.05);
    EXPECT_EQ(rec_.calls, 2); // 5 bytes are less than a frame
    EXPECT_EQ(GetInQLen(kPort), 5);
}

TEST_F(SerialNotification, BytesTheCallbackLeftUntouchedAreNotReportedTwice) {
    rec_.readCount = 0;
    ASSERT_TRUE(device_.Send(kFrame));
    ASSERT_TRUE(WaitCalls(rec_, 1));
    ProcessFor(0.1);
    EXPECT_EQ(rec_.calls, 1);
    ASSERT_TRUE(device_.Send(1));
    ASSERT_TRUE(WaitCalls(rec_, 2));
    char buf[kFrame + 1];
    EXPECT_EQ(ComRd(kPort, buf, kFrame + 1), kFrame + 1);
}

TEST_F(SerialNotification, MaskZeroOrNoCallbackRemovesIt) {
    ASSERT_EQ(InstallComCallback(kPort, 0, kFrame, 85, Record, &rec_), 0);
    ASSERT_TRUE(device_.Send(kFrame));
    ASSERT_TRUE(WaitInQ(kPort, kFrame));
    ProcessFor(0.1);
    EXPECT_EQ(rec_.calls, 0);

    ASSERT_EQ(Install(rec_), 0); // a frame already queued is reported once installed
    ASSERT_TRUE(WaitCalls(rec_, 1));

    ASSERT_EQ(InstallComCallback(kPort, kMask, kFrame, 85, nullptr, nullptr), 0);
    ASSERT_TRUE(device_.Send(kFrame));
    ASSERT_TRUE(WaitInQ(kPort, kFrame));
    ProcessFor(0.1);
    EXPECT_EQ(rec_.calls, 1);
}

TEST_F(SerialNotification, InstallingReplacesTheEarlierCallback) {
    Recorder second;
    ASSERT_EQ(Install(second), 0);
    ASSERT_TRUE(device_.Send(kFrame));
    ASSERT_TRUE(WaitCalls(second, 1));
    EXPECT_EQ(rec_.calls, 0);
}

TEST_F(SerialNotification, NotifyCountOutsideOneTo255IsRejected) {
    EXPECT_EQ(InstallComCallback(kPort, kMask, 0, 85, Record, &rec_), kComInvalidParameter);
    EXPECT_EQ(InstallComCallback(kPort, kMask, 256, 85, Record, &rec_), kComInvalidParameter);
    ASSERT_TRUE(device_.Send(kFrame)); // the earlier installation still holds
    ASSERT_TRUE(WaitCalls(rec_, 1));
}

TEST_F(SerialNotification, ClosingThePortRemovesIt) {
    ASSERT_EQ(CloseCom(kPort), 0);
    ASSERT_EQ(OpenAs(kPort, device_), 0);
    ASSERT_TRUE(device_.Send(kFrame));
    ASSERT_TRUE(WaitInQ(kPort, kFrame));
    ProcessFor(0.1);
    EXPECT_EQ(rec_.calls, 0);
}

TEST_F(SerialNotification, CallbackMayCloseItsOwnPort) {
    rec_.closePort = true;
    ASSERT_TRUE(device_.Send(2 * kFrame));
    ASSERT_TRUE(WaitCalls(rec_, 1));
    ProcessFor(0.05);
    EXPECT_EQ(rec_.calls, 1);
    EXPECT_EQ(GetInQLen(kPort), kComPortNotOpen);
}

// --- a frame that comes at the line's pace ---

long ThreadWakeUps() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw; // the waits it slept in, not the times a busy machine preempted it
}

// Sends count bytes at 19200 baud's pace in pieces of piece bytes, each when its last byte would
// have crossed the line (counted from now); returns when the last one went out.
double SendAtLinePace(PtyDevice& device, int count, int piece) {
    const auto start = Clock::now();
    for (int sent = 0; sent < count;) {
        const int n = std::min(piece, count - sent);
        std::this_thread::sleep_until(start + std::chrono::microseconds(521 * (sent + n)));
        device.Send(n, sent);
        sent += n;
    }
    return Timer();
}

// Sends count bytes byte by byte at the line's pace from another thread; the time the last one
// went out is in lastSent.
std::thread SendPaced(PtyDevice& device, int count, std::atomic<double>& lastSent) {
    return std::thread(
        [&device, count, &lastSent] { lastSent = SendAtLinePace(device, count, 1); });
}

// Waiting for a count, the OS would wake the loop at each byte; the notifier sleeps out the
// line time of the missing bytes instead, and still reports the frame right after its last byte.
TEST_F(SerialNotification, FrameAtLineSpeedCostsAFewWakeUpsAndComesOnTime) {
    std::atomic<double> lastSent{0.0};
    double notifiedAt = 0.0;
    rec_.readCount = 0;
    ASSERT_EQ(InstallComCallback(
                  kPort, kMask, kFrame, 85,
                  [](int, int, void* at) { *static_cast<double*>(at) = Timer(); }, &notifiedAt),
              0);
    ProcessFor(0.01);
    const long before = ThreadWakeUps();
    std::thread sender = SendPaced(device_, kFrame, lastSent);
    const bool notified = ProcessUntil([&] { return notifiedAt > 0.0; });
    const long switches = ThreadWakeUps() - before;
    sender.join();
    ASSERT_TRUE(notified);
    EXPECT_EQ(GetInQLen(kPort), kFrame);
    // About 36 for the bytes plus 10 for the loop's own 2-ms wake-ups if it woke at each byte.
    EXPECT_LT(switches, 25) << switches;
    EXPECT_LT(notifiedAt - lastSent, 0.003);
}

// Frame after frame at the line's pace, in pieces as a line brings them (byte by byte, or in
// the chunks of a receive FIFO or a device server): each frame is reported right after its last
// piece, also when the notifier waits for the count at once and when it looks at the pieces again.
struct PiecesRow {
    const char* name;
    int piece;  // bytes a write
    int frames; // past the notifier's look at the pieces every 100 armings for large pieces
};

class PacedFrames : public SerialNotification, public ::testing::WithParamInterface<PiecesRow> {
  protected:
    struct Seen {
        std::mutex mutex;
        std::condition_variable reported;
        std::atomic<int> frames{0};
        std::vector<double> at;
        bool bytesRight = true;
    };
    static void Take(int port, int, void* data) {
        auto& seen = *static_cast<Seen*>(data);
        char buf[kFrame];
        seen.bytesRight = seen.bytesRight && ComRd(port, buf, kFrame) == kFrame &&
                          std::vector<char>(buf, buf + kFrame) == PtyDevice::Pattern(kFrame);
        seen.at.push_back(Timer());
        {
            const std::lock_guard lock(seen.mutex);
            ++seen.frames;
        }
        seen.reported.notify_all();
    }
};

TEST_P(PacedFrames, EachIsReportedRightAfterItsLastPiece) {
    const PiecesRow row = GetParam();
    Seen seen;
    std::vector<double> lastSent(static_cast<std::size_t>(row.frames), 0.0);
    ASSERT_EQ(InstallComCallback(kPort, kMask, kFrame, 85, Take, &seen), 0);
    std::thread sender([&] {
        for (int f = 0; f < row.frames; ++f) {
            lastSent[static_cast<std::size_t>(f)] = SendAtLinePace(device_, kFrame, row.piece);
            std::unique_lock lock(seen.mutex); // the next frame once this one is reported
            if (!seen.reported.wait_for(lock, std::chrono::seconds(2),
                                        [&] { return seen.frames.load() > f; })) {
                return; // not reported within 2 s: the wait below fails and says how many were
            }
        }
    });
    const bool all = ProcessUntil([&] { return seen.frames.load() >= row.frames; }, 30.0);
    sender.join();
    ASSERT_TRUE(all) << seen.frames.load() << " of " << row.frames;
    EXPECT_TRUE(seen.bytesRight);
    std::vector<double> late;
    for (std::size_t i = 0; i < lastSent.size(); ++i) {
        late.push_back(seen.at[i] - lastSent[i]);
    }
    std::sort(late.begin(), late.end());
    // A loaded machine may wake a thread late now and then; a wait that slept past the frame
    // makes most frames late, and a lost arming makes one wait for the next frame's bytes.
    EXPECT_LT(late[late.size() / 2], 0.001) << "median";
    EXPECT_LT(late.back(), 0.015) << "latest";
}

INSTANTIATE_TEST_SUITE_P(Pieces, PacedFrames,
                         ::testing::Values(PiecesRow{"ByteByByte", 1, 6},
                                           PiecesRow{"FifoChunksOf8", 8, 40},
                                           PiecesRow{"HalfFrames", 18, 40}),
                         ovx::testing::RowName{});

// Bytes that come faster than the line (a pty, a buffering adapter) are reported no later than
// the line would have brought them.
TEST_F(SerialNotification, RestOfAFrameFasterThanTheLineIsReportedWithinItsLineTime) {
    ASSERT_TRUE(device_.Send(1));
    ProcessFor(0.002);
    const double start = Timer();
    ASSERT_TRUE(device_.Send(kFrame - 1, 1));
    ASSERT_TRUE(WaitCalls(rec_, 1));
    EXPECT_LT(Timer() - start, (kFrame - 1) * 10.0 / 19200.0 + 0.005);
    EXPECT_EQ(rec_.bytes, PtyDevice::Pattern(kFrame));
}

// The callback's read of the notified bytes asks the OS nothing more; a further read, for bytes
// not yet come, waits as any read does: with reads interruptible, an interrupt ends it at once.
TEST_F(SerialNotification, ReadBeyondTheNotifiedBytesEndsAtAnInterrupt) {
    struct Reads {
        int first = 0;
        int second = -1;
        double secondTook = 0.0;
    } reads;
    ASSERT_EQ(InstallComCallback(
                  kPort, kMask, kFrame, 85,
                  [](int port, int, void* data) {
                      auto& r = *static_cast<Reads*>(data);
                      char buf[kFrame];
                      r.first = ComRd(port, buf, kFrame);
                      InterruptComWaits();
                      const double start = Timer();
                      r.second = ComRd(port, buf, kFrame);
                      r.secondTook = Timer() - start;
                  },
                  &reads),
              0);
    SetComReadsInterruptible(true);
    ASSERT_TRUE(device_.Send(kFrame));
    const bool called = ProcessUntil([&] { return reads.second >= 0; });
    ResumeComWaits();
    SetComReadsInterruptible(false);
    ASSERT_TRUE(called);
    EXPECT_EQ(reads.first, kFrame);
    EXPECT_EQ(reads.second, 0);
    EXPECT_LT(reads.secondTook, 1.0) << "the read waited out its 2 s time-out";
}

} // namespace
} // namespace ovx::platform
