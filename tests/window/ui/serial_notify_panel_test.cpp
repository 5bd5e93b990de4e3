// The window's event loop and the receive notification: the OS wakes the loop only for what
// the notification waits for.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include "platform/errors.h"
#include "platform/pty_device.h"
#include "platform/serial.h"
#include "platform/serial_notify_fixture.h"

namespace ovx::platform {
namespace {

using testing::kFrame;
using testing::kMask;
using testing::kPort;
using testing::ProcessFor;
using testing::PtyDevice;
using testing::Record;
using testing::Recorder;
using testing::SerialNotification;
using testing::WaitInQ;

// Counts the notifier wake-ups that reach the application.
class SocketActivity : public QObject {
  public:
    SocketActivity() { QCoreApplication::instance()->installEventFilter(this); }
    ~SocketActivity() override { QCoreApplication::instance()->removeEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::SockAct) {
            ++count;
        }
        return QObject::eventFilter(watched, event);
    }
};

TEST_F(SerialNotification, WaitsForTheWholeNotifyCount) {
    ASSERT_TRUE(device_.Send(kFrame - 1));
    ASSERT_TRUE(WaitInQ(kPort, kFrame - 1));
    SocketActivity activity;
    ProcessFor(0.1);
    EXPECT_EQ(rec_.calls, 0);
    EXPECT_LT(activity.count, 10); // the OS does not wake the loop for a partial frame
    ASSERT_TRUE(device_.Send(1, kFrame - 1));
    ASSERT_TRUE(WaitCalls(rec_, 1));
    EXPECT_EQ(rec_.bytes, PtyDevice::Pattern(kFrame));
}

TEST_F(SerialNotification, IsNotReenteredWhenTheCallbackProcessesEvents) {
    rec_.processEvents = true; // its frame stays queued while it processes events
    SocketActivity activity;
    ASSERT_TRUE(device_.Send(2 * kFrame));
    ASSERT_TRUE(WaitCalls(rec_, 2));
    ProcessFor(0.05);
    EXPECT_EQ(rec_.calls, 2);
    EXPECT_EQ(rec_.maxDepth, 1);
    EXPECT_LT(activity.count, 10); // the notifier was off, not firing unanswered
    EXPECT_EQ(GetInQLen(kPort), 0);
}

TEST_F(SerialNotification, DirectReadsAndPollingDoNotLowerTheNotifyCount) {
    // As the echo check does: read a reply directly with the notification installed, here a
    // short one that ends by the time-out.
    ASSERT_EQ(SetComTime(kPort, 0.05), 0);
    ASSERT_TRUE(device_.Send(4));
    char buf[10];
    ASSERT_EQ(ComRd(kPort, buf, 10), 4);
    for (int i = 0; i < 5; ++i) {
        GetInQLen(kPort); // a polling wait on an empty queue
    }
    ASSERT_TRUE(device_.Send(kFrame - 1));
    SocketActivity activity;
    ProcessFor(0.1);
    EXPECT_EQ(rec_.calls, 0);
    EXPECT_LT(activity.count, 10);
    EXPECT_EQ(GetInQLen(kPort), kFrame - 1);
    ASSERT_TRUE(device_.Send(1));
    ASSERT_TRUE(WaitCalls(rec_, 1));
}

TEST_F(SerialNotification, HangUpLeavesTheNotifierQuiet) {
    SocketActivity activity;
    device_.HangUp();
    ProcessFor(0.2);
    EXPECT_EQ(rec_.calls, 0);
    EXPECT_LE(activity.count, 2);
    char c = 0;
    EXPECT_EQ(ComRd(kPort, &c, 1), kComUnknownIoError);
}

} // namespace
} // namespace ovx::platform
