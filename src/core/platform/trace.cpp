// Every traced frame and text also goes to the protocol monitor's log (monitor_log.h), with or
// without --trace. Trace lines go to stderr whole, one write each, so lines of different threads
// never mix.
#include "platform/trace.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/monitor_log.h"
#include "platform/number_text.h"
#include "platform/timing.h"

namespace ovx::platform {
namespace {

std::atomic<bool> traceOn{false};

void WriteLine(const char* kind, const std::string& text) {
    std::string line = FixedText(Timer(), 3);
    line += ' ';
    line += kind != nullptr ? kind : "";
    line += ": ";
    line += text;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace

void EnableTrace(bool on) {
    traceOn = on;
}

bool TraceEnabled() {
    return traceOn;
}

void TraceBytes(const char* kind, const char* bytes, int count) {
    const bool tx = kind != nullptr && std::string_view(kind) == "tx";
    LogMonitorEntry(tx ? MonitorKind::kTx : MonitorKind::kRx, bytes, count);
    if (!traceOn) {
        return;
    }
    constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    const int n = bytes != nullptr ? std::max(count, 0) : 0;
    text.reserve(static_cast<std::size_t>(n) * 2);
    for (int i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        text += kHex[b >> 4];
        text += kHex[b & 0x0f];
    }
    WriteLine(kind, text);
}

void TraceText(const char* kind, const char* text) {
    LogMonitorEntry(MonitorKind::kStatus, text,
                    text != nullptr ? static_cast<int>(std::strlen(text)) : 0);
    if (traceOn) {
        WriteLine(kind, text != nullptr ? text : "");
    }
}

} // namespace ovx::platform
