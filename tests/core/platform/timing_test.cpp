// Timer, Delay and the firmware-text format.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/timing.h"
#include "support/wait_until.h"

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
    const int timer = AddTimer([&] { delivered = true; });
    StartTimer(timer, 0.0); // due at once
    Delay(0.01);
    EXPECT_FALSE(delivered);
    ovx::testing::WaitUntil([&] { return delivered; }, 1.0);
    RemoveTimer(timer);
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

// One field of a date-time pattern (a run of one letter) at a local time and millisecond.
std::string ReferenceField(char letter, std::size_t run, const std::tm& local, int ms) {
    const auto two = [](int v) {
        char b[3] = {static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10), 0};
        return std::string(b);
    };
    switch (letter) {
    case 'y':
        return std::to_string(local.tm_year + 1900);
    case 'M':
        return two(local.tm_mon + 1);
    case 'd':
        return two(local.tm_mday);
    case 'h':
        return two(local.tm_hour);
    case 'm':
        return two(local.tm_min);
    case 's':
        return two(local.tm_sec);
    default: { // z: the fraction of the second; a single z drops up to two trailing zeros
        std::string z = std::to_string(1000 + ms).substr(1);
        for (int i = 0; run < 3 && i < 2 && z.back() == '0'; ++i) {
            z.pop_back();
        }
        return z;
    }
    }
}

// The full date-time formatting, written from the pattern's rules: yyyy, MM, dd, hh, mm, ss in
// local time, zzz (three digits of milliseconds) or z (without trailing zeros), 'quoted' text.
std::string ReferenceFormat(std::int64_t ms, const std::string& pattern) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    std::string out;
    for (std::size_t i = 0; i < pattern.size();) {
        if (pattern[i] == '\'') {
            const std::size_t end = pattern.find('\'', i + 1);
            out += pattern.substr(i + 1, end - i - 1);
            i = end + 1;
        } else if (std::strchr("yMdhmsz", pattern[i]) != nullptr) {
            std::size_t run = 1;
            while (i + run < pattern.size() && pattern[i + run] == pattern[i]) {
                ++run;
            }
            out += ReferenceField(pattern[i], run, local, static_cast<int>(ms % 1000));
            i += run;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

// Moments around one second, in the order a recording asks for them, each written as the full
// date-time formatting writes it: the text kept for a second must never show a stale part.
class WallClockText : public ::testing::TestWithParam<ClockRow> {};

TEST_P(WallClockText, EqualsTheFullFormattingAtEveryMillisecond) {
    constexpr std::int64_t kBase = 1765000000000; // a whole second
    for (const std::int64_t ms : {kBase + 7, kBase + 123, kBase + 999, kBase + 1000, kBase + 1045,
                                  kBase + 60000, kBase - 1, kBase + 86400000 + 5}) {
        const std::string want = ReferenceFormat(ms, GetParam().pattern);
        char text[64] = {};
        EXPECT_EQ(FormatWallClockAt(ms, GetParam().pattern, text, sizeof text),
                  static_cast<int>(want.size()));
        EXPECT_STREQ(text, want.c_str()) << "at " << ms;
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
