// Timer, Delay and the firmware-text format.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QMetaObject>
#include <QObject>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/errors.h"
#include "platform/timing.h"

namespace ovx::platform {
namespace {

using Words = std::array<int, 32>;

Words WordsOf(const char* text) {
    Words w{};
    for (std::size_t i = 0; i < w.size() && text[i] != '\0'; ++i) {
        w[i] = static_cast<unsigned char>(text[i]);
    }
    return w;
}

class FirmwareText : public ::testing::Test {
  protected:
    FirmwareText() { std::memset(text_, 'X', sizeof text_); }
    int Format(const Words& w) { return Fmt(text_, "%64c<%32i", w.data()); }
    char text_[64];
};

TEST_F(FirmwareText, LowByteOfEachWordIsOneCharacter) {
    Words w = WordsOf("OVX V1.2");
    w[0] |= 0x1200; // the high byte does not show
    EXPECT_EQ(Format(w), 8);
    EXPECT_STREQ(text_, "OVX V1.2");
}

TEST_F(FirmwareText, StopsAtTheFirstZeroLowByte) {
    Words w = WordsOf("ABCDEF");
    w[3] = 0x4400; // low byte zero ends the text even though the word is not
    EXPECT_EQ(Format(w), 3);
    EXPECT_STREQ(text_, "ABC");
}

TEST_F(FirmwareText, NonPrintableBytesBecomeQuestionMarks) {
    Words w{};
    w[0] = 'a';
    w[1] = 0x07;
    w[2] = 0x7F;
    w[3] = 0xFF;
    w[4] = 0x1F;
    w[5] = '~';
    w[6] = ' ';
    EXPECT_EQ(Format(w), 7);
    EXPECT_STREQ(text_, "a????~ ");
}

TEST_F(FirmwareText, ThirtyTwoCharactersAreAlwaysTerminated) {
    Words w{};
    w.fill(0xFF41);
    EXPECT_EQ(Format(w), 32);
    EXPECT_EQ(std::strlen(text_), 32u);
    EXPECT_EQ(text_[31], 'A');
}

TEST_F(FirmwareText, OtherFormatsAreRefused) {
    const Words w = WordsOf("abc");
    EXPECT_EQ(Fmt(text_, "%s", w.data()), kUiInvalidArgument);
    EXPECT_EQ(text_[0], 'X');
}

TEST(Timing, TimerNeverGoesBackAndAdvancesOverADelay) {
    double last = Timer();
    for (int i = 0; i < 1000; ++i) {
        const double now = Timer();
        ASSERT_GE(now, last);
        last = now;
    }
    const double before = Timer();
    Delay(0.02);
    EXPECT_GE(Timer() - before, 0.02);
}

TEST(Timing, DelayProcessesNoEvents) {
    bool delivered = false;
    QObject receiver;
    QMetaObject::invokeMethod(
        &receiver, [&] { delivered = true; }, Qt::QueuedConnection);
    Delay(0.01);
    EXPECT_FALSE(delivered);
    QCoreApplication::processEvents();
    EXPECT_TRUE(delivered) << "the posted event was pending all along";
}

} // namespace
} // namespace ovx::platform

namespace ovx::platform {
namespace {

struct ClockRow {
    const char* name;
    const char* pattern;
};

// Moments around one second, in the order a recording asks for them, each written as the full
// date-time formatting writes it: the text kept for a second must never show a stale part.
class WallClockText : public ::testing::TestWithParam<ClockRow> {};

TEST_P(WallClockText, EqualsTheFullFormattingAtEveryMillisecond) {
    constexpr std::int64_t kBase = 1765000000000; // a whole second
    for (const std::int64_t ms : {kBase + 7, kBase + 123, kBase + 999, kBase + 1000, kBase + 1045,
                                  kBase + 60000, kBase - 1, kBase + 86400000 + 5}) {
        const QByteArray want = QDateTime::fromMSecsSinceEpoch(ms)
                                    .toString(QString::fromLatin1(GetParam().pattern))
                                    .toLocal8Bit();
        char text[64] = {};
        EXPECT_EQ(FormatWallClockAt(ms, GetParam().pattern, text, sizeof text), want.size());
        EXPECT_STREQ(text, want.constData()) << "at " << ms;
    }
}

INSTANTIATE_TEST_SUITE_P(Patterns, WallClockText,
                         ::testing::Values(ClockRow{"recording", "yyyy-MM-dd hh:mm:ss.zzz"},
                                           ClockRow{"milliseconds_twice", "zzz|ss|zzz"},
                                           ClockRow{"no_milliseconds",
                                                    "'chart_'yyyyMMdd_hhmmss'.png'"},
                                           ClockRow{"milliseconds_of_varying_length", "ss.z"}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(WallClock, TooSmallABufferIsRefusedEmpty) {
    char text[8] = {'x'};
    EXPECT_EQ(FormatWallClockAt(1765000000000, "yyyy-MM-dd", text, sizeof text),
              kUiInvalidArgument);
    EXPECT_STREQ(text, "");
}

} // namespace
} // namespace ovx::platform
