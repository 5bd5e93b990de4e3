#include "platform/timing.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/repaint.h"

namespace ovx::platform {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point EngineStart() {
    static const Clock::time_point start = Clock::now();
    return start;
}

// The one format the system uses: 32 integers, one character each, into 64 bytes.
constexpr const char* kWordsToText = "%64c<%32i";
constexpr int kTextCapacity = 64;
constexpr int kSourceWords = 32;

char Printable(int value) {
    const int c = value & 0xFF;
    return (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '?';
}

// Seen at load time, so that Timer counts from engine start rather than from its first call.
const bool kStartTaken = (EngineStart(), true);

} // namespace

double Timer() {
    static_cast<void>(kStartTaken);
    return std::chrono::duration<double>(Clock::now() - EngineStart()).count();
}

void Delay(double seconds) {
    detail::FlushPendingRepaints();
    if (!(seconds > 0.0) || !std::isfinite(seconds)) {
        return;
    }
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(seconds));
    // sleep_until may wake early on a signal; sleep again until the deadline has passed.
    while (Clock::now() < deadline) {
        std::this_thread::sleep_until(deadline);
    }
}

int Fmt(char* target, const char* format, const int* source) {
    if (target == nullptr || format == nullptr || source == nullptr ||
        std::strcmp(format, kWordsToText) != 0) {
        return kUiInvalidArgument;
    }
    int length = 0;
    for (; length < std::min(kSourceWords, kTextCapacity - 1); ++length) {
        if ((source[length] & 0xFF) == 0) {
            break;
        }
        target[length] = Printable(source[length]);
    }
    target[length] = '\0';
    return length;
}

} // namespace ovx::platform

namespace ovx::platform {

namespace {

QByteArray FormatAt(std::int64_t ms, const char* pattern) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QString::fromLatin1(pattern)).toLocal8Bit();
}

// A clock written with every recorded frame formats its pattern once a second instead of once a
// frame: the text for the start of the second is kept with the places of its "zzz" digits (where
// it differs from the text 999 ms later, 0 against 9), and only the milliseconds are written in.
// A pattern whose text changes length within a second is formatted every time.
struct SecondText {
    std::string pattern;
    std::int64_t second = std::numeric_limits<std::int64_t>::min();
    QByteArray text;
    std::vector<qsizetype> digits; // three a "zzz"
    bool patched = false;

    void Prepare(std::int64_t s, const char* p) {
        pattern = p;
        second = s;
        text = FormatAt(s * 1000, p);
        const QByteArray late = FormatAt(s * 1000 + 999, p);
        digits.clear();
        patched = late.size() == text.size();
        for (qsizetype i = 0; patched && i < text.size(); ++i) {
            if (text[i] != late[i]) {
                patched = text[i] == '0' && late[i] == '9';
                digits.push_back(i);
            }
        }
        patched = patched && digits.size() % 3 == 0;
    }
};

} // namespace

int FormatWallClockAt(std::int64_t msSinceEpoch, const char* pattern, char* text, int capacity) {
    if (pattern == nullptr || text == nullptr || capacity < 1) {
        return kUiInvalidArgument;
    }
    static thread_local SecondText cache;
    const std::int64_t second =
        msSinceEpoch / 1000 - (msSinceEpoch % 1000 < 0 ? 1 : 0); // rounded down
    if (cache.second != second || cache.pattern != pattern) {
        cache.Prepare(second, pattern);
    }
    QByteArray out = cache.patched ? cache.text : FormatAt(msSinceEpoch, pattern);
    if (cache.patched) {
        const auto ms = static_cast<int>(msSinceEpoch - second * 1000);
        for (std::size_t k = 0; k + 2 < cache.digits.size(); k += 3) {
            out[cache.digits[k]] = static_cast<char>('0' + ms / 100);
            out[cache.digits[k + 1]] = static_cast<char>('0' + ms / 10 % 10);
            out[cache.digits[k + 2]] = static_cast<char>('0' + ms % 10);
        }
    }
    if (out.size() >= capacity) {
        text[0] = '\0';
        return kUiInvalidArgument;
    }
    std::memcpy(text, out.constData(), static_cast<std::size_t>(out.size()) + 1);
    return static_cast<int>(out.size());
}

int FormatWallClock(const char* pattern, char* text, int capacity) {
    return FormatWallClockAt(QDateTime::currentMSecsSinceEpoch(), pattern, text, capacity);
}

} // namespace ovx::platform
