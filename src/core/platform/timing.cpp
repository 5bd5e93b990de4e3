#include "platform/timing.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/time_os.h"

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
    BeforeBlocking();
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

// The broken-down local time of a moment, with its milliseconds.
struct Moment {
    std::tm tm{};
    int ms = 0;
};

Moment LocalMoment(std::int64_t msSinceEpoch) {
    const std::int64_t second = msSinceEpoch / 1000 - (msSinceEpoch % 1000 < 0 ? 1 : 0);
    Moment m;
    m.ms = static_cast<int>(msSinceEpoch - second * 1000);
    const auto t = static_cast<std::time_t>(second);
    detail::LocalTime(t, m.tm);
    return m;
}

std::string Padded(int value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) {
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    }
    return digits;
}

// Milliseconds as the decimal part of the seconds: "zzz" always three digits, "z" without
// trailing zeros (2 ms is "002", 200 ms is "2").
std::string Milliseconds(int ms, bool full) {
    std::string text = Padded(ms, 3);
    for (int i = 0; !full && i < 2 && text.back() == '0'; ++i) {
        text.pop_back();
    }
    return text;
}

std::string Named(const std::tm& tm, const char* conversion) {
    std::array<char, 64> text{};
    const std::size_t n = std::strftime(text.data(), text.size(), conversion, &tm);
    return std::string(text.data(), n);
}

// One field of the pattern: letter c repeated; appends its text and returns how many letters it
// took (a run longer than the field is several fields).
int AppendField(const Moment& m, char c, int run, bool twelveHours, std::string& out) {
    const std::tm& tm = m.tm;
    const int two = std::min(run, 2);
    const int hour12 = tm.tm_hour % 12 == 0 ? 12 : tm.tm_hour % 12;
    switch (c) {
    case 'y':
        if (run >= 4) {
            out += Padded(tm.tm_year + 1900, 4);
            return 4;
        }
        out += run >= 2 ? Padded((tm.tm_year + 1900) % 100, 2) : "y";
        return two;
    case 'M':
        if (run >= 3) {
            out += Named(tm, run >= 4 ? "%B" : "%b");
            return std::min(run, 4);
        }
        out += Padded(tm.tm_mon + 1, two);
        return two;
    case 'd':
        if (run >= 3) {
            out += Named(tm, run >= 4 ? "%A" : "%a");
            return std::min(run, 4);
        }
        out += Padded(tm.tm_mday, two);
        return two;
    case 'h':
        out += Padded(twelveHours ? hour12 : tm.tm_hour, two);
        return two;
    case 'H':
        out += Padded(tm.tm_hour, two);
        return two;
    case 'm':
        out += Padded(tm.tm_min, two);
        return two;
    case 's':
        out += Padded(tm.tm_sec, two);
        return two;
    case 'z':
        out += Milliseconds(m.ms, run >= 3);
        return run >= 3 ? 3 : two;
    default:
        out += c;
        return 1;
    }
}

bool IsAmPm(std::string_view p, std::size_t i) {
    return i + 1 < p.size() && (p[i] == 'A' || p[i] == 'a') && (p[i + 1] == 'P' || p[i + 1] == 'p');
}

// The date-time pattern language: the fields above, "AP"/"ap" for the half of the day (the hours
// then count to 12), text in single quotes taken as it is ("''" is one quote).
std::string FormatAt(std::int64_t ms, const char* pattern) {
    const std::string_view p(pattern);
    const Moment m = LocalMoment(ms);
    bool twelveHours = false;
    for (std::size_t i = 0; i < p.size(); ++i) {
        twelveHours = twelveHours || IsAmPm(p, i);
    }
    std::string out;
    std::size_t i = 0;
    while (i < p.size()) {
        if (p[i] == '\'') {
            const std::size_t close = p.find('\'', i + 1);
            const std::size_t end = close == std::string_view::npos ? p.size() : close;
            out += end == i + 1 ? std::string_view("'") : p.substr(i + 1, end - i - 1);
            i = std::min(end + 1, p.size());
        } else if (IsAmPm(p, i)) {
            const bool pm = m.tm.tm_hour >= 12;
            out += p[i] == 'A' ? (pm ? "PM" : "AM") : (pm ? "pm" : "am");
            i += 2;
        } else {
            std::size_t run = 1;
            while (i + run < p.size() && p[i + run] == p[i]) {
                ++run;
            }
            i += static_cast<std::size_t>(
                AppendField(m, p[i], static_cast<int>(run), twelveHours, out));
        }
    }
    return out;
}

// A clock written with every recorded frame formats its pattern once a second instead of once a
// frame: the text for the start of the second is kept with the places of its "zzz" digits (where
// it differs from the text 999 ms later, 0 against 9), and only the milliseconds are written in.
// A pattern whose text changes length within a second is formatted every time.
struct SecondText {
    std::string pattern;
    std::int64_t second = std::numeric_limits<std::int64_t>::min();
    std::string text;
    std::vector<std::size_t> digits; // three a "zzz"
    bool patched = false;

    void Prepare(std::int64_t s, const char* p) {
        pattern = p;
        second = s;
        text = FormatAt(s * 1000, p);
        const std::string late = FormatAt(s * 1000 + 999, p);
        digits.clear();
        patched = late.size() == text.size();
        for (std::size_t i = 0; patched && i < text.size(); ++i) {
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
    std::string out = cache.patched ? cache.text : FormatAt(msSinceEpoch, pattern);
    if (cache.patched) {
        const auto ms = static_cast<int>(msSinceEpoch - second * 1000);
        for (std::size_t k = 0; k + 2 < cache.digits.size(); k += 3) {
            out[cache.digits[k]] = static_cast<char>('0' + ms / 100);
            out[cache.digits[k + 1]] = static_cast<char>('0' + ms / 10 % 10);
            out[cache.digits[k + 2]] = static_cast<char>('0' + ms % 10);
        }
    }
    if (out.size() >= static_cast<std::size_t>(capacity)) {
        text[0] = '\0';
        return kUiInvalidArgument;
    }
    std::memcpy(text, out.c_str(), out.size() + 1);
    return static_cast<int>(out.size());
}

int FormatWallClock(const char* pattern, char* text, int capacity) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return FormatWallClockAt(std::chrono::duration_cast<std::chrono::milliseconds>(now).count(),
                             pattern, text, capacity);
}

} // namespace ovx::platform
