// Timing and text formatting services.
#pragma once

#include <cstdint>

namespace ovx::platform {

// Seconds since the engine started, monotonic, sub-microsecond resolution.
double Timer();
// Blocking pause; processes no events (pending repaints of indicators are flushed first).
void Delay(double seconds);

// Formats source into target by format. Supported: "%64c<%32i": 32 ints, the low byte of each
// is one character; stops at the first zero byte; bytes outside 0x20..0x7E become '?'; target
// (64 bytes) always ends with a zero, so the text has at most 63 characters. Returns the text
// length, or kUiInvalidArgument for another format.
int Fmt(char* target, const char* format, const int* source);

} // namespace ovx::platform

namespace ovx::platform {

// The local wall-clock time in a date-time pattern ("yyyy-MM-dd hh:mm:ss.zzz"; yyyy MM dd hh mm
// ss zzz are replaced). Returns the text length, or kUiInvalidArgument when it does not fit.
int FormatWallClock(const char* pattern, char* text, int capacity);
// The same for a given moment (milliseconds since 1970, shown in local time).
int FormatWallClockAt(std::int64_t msSinceEpoch, const char* pattern, char* text, int capacity);

} // namespace ovx::platform
