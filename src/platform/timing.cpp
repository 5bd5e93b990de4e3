#include "platform/timing.h"

#include <QDateTime>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

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

int FormatWallClock(const char* pattern, char* text, int capacity) {
    if (pattern == nullptr || text == nullptr || capacity < 1) {
        return kUiInvalidArgument;
    }
    const QByteArray out =
        QDateTime::currentDateTime().toString(QString::fromLatin1(pattern)).toLocal8Bit();
    if (out.size() >= capacity) {
        text[0] = '\0';
        return kUiInvalidArgument;
    }
    std::memcpy(text, out.constData(), static_cast<std::size_t>(out.size()) + 1);
    return static_cast<int>(out.size());
}

} // namespace ovx::platform
