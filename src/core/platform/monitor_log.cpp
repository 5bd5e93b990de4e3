// One mutex guards the rings: trace calls may come from any thread, readers from the UI thread.
#include "platform/monitor_log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/number_text.h"
#include "platform/timing.h"

namespace ovx::platform {
namespace {

struct Rings {
    std::mutex mutex;
    std::vector<MonitorEntry> entries; // kMonitorCapacity slots once the first entry came
    std::array<MonitorEntry, kStatusHistory> status{};
    std::uint64_t nextSeq = 1;
    std::uint64_t firstKept = 1; // seq of the oldest entry still readable
    std::uint64_t statusCount = 0;
    FrameDescriber describer = nullptr;
};

Rings& TheRings() {
    static Rings rings;
    return rings;
}

std::int64_t WallMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

MonitorEntry MakeEntry(MonitorKind kind, const char* data, int count) {
    MonitorEntry e;
    e.time = Timer();
    e.wallMs = WallMs();
    e.kind = kind;
    const int n = data != nullptr ? std::max(count, 0) : 0;
    e.original = static_cast<std::uint16_t>(std::min(n, 0xFFFF));
    e.length = static_cast<std::uint16_t>(std::min(n, kMonitorDataMax));
    if (e.length > 0) {
        std::memcpy(e.data.data(), data, e.length);
    }
    return e;
}

} // namespace

void SetFrameDescriber(FrameDescriber describer) {
    Rings& r = TheRings();
    const std::lock_guard lock(r.mutex);
    r.describer = describer;
}

void LogMonitorEntry(MonitorKind kind, const char* data, int count) {
    MonitorEntry e = MakeEntry(kind, data, count);
    Rings& r = TheRings();
    const std::lock_guard lock(r.mutex);
    if (r.entries.empty()) {
        r.entries.resize(kMonitorCapacity);
    }
    e.seq = r.nextSeq++;
    r.entries[e.seq % kMonitorCapacity] = e;
    r.firstKept = std::max(r.firstKept, r.nextSeq > kMonitorCapacity ? r.nextSeq - kMonitorCapacity
                                                                     : std::uint64_t{1});
    if (kind == MonitorKind::kStatus) {
        r.status[r.statusCount++ % kStatusHistory] = e;
    }
}

std::uint64_t ReadMonitorEntries(std::uint64_t from, std::vector<MonitorEntry>& out) {
    Rings& r = TheRings();
    const std::lock_guard lock(r.mutex);
    for (std::uint64_t s = std::max(from, r.firstKept); s < r.nextSeq; ++s) {
        out.push_back(r.entries[s % kMonitorCapacity]);
    }
    return r.nextSeq;
}

void ClearMonitorLog() {
    Rings& r = TheRings();
    const std::lock_guard lock(r.mutex);
    r.firstKept = r.nextSeq;
}

std::vector<MonitorEntry> StatusHistory() {
    Rings& r = TheRings();
    const std::lock_guard lock(r.mutex);
    std::vector<MonitorEntry> out;
    const std::uint64_t n = std::min<std::uint64_t>(r.statusCount, kStatusHistory);
    for (std::uint64_t i = r.statusCount - n; i < r.statusCount; ++i) {
        out.push_back(r.status[i % kStatusHistory]);
    }
    return out;
}

std::string EntryText(const MonitorEntry& entry) {
    if (entry.kind == MonitorKind::kStatus) {
        return {entry.data.data(), entry.length};
    }
    constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(entry.length * 2U + 4U);
    for (int i = 0; i < entry.length; ++i) {
        const auto b = static_cast<unsigned char>(entry.data[static_cast<std::size_t>(i)]);
        hex += kHex[b >> 4];
        hex += kHex[b & 0x0f];
    }
    if (entry.original > entry.length) {
        hex += "...";
    }
    return hex;
}

namespace {

void Describe(const MonitorEntry& entry, std::string& order, std::string& words) {
    FrameDescriber describer = nullptr;
    {
        Rings& r = TheRings();
        const std::lock_guard lock(r.mutex);
        describer = r.describer;
    }
    if (describer != nullptr && entry.kind != MonitorKind::kStatus) {
        describer(entry.kind, entry.data.data(), entry.length, order, words);
    }
}

} // namespace

std::string MonitorOrderName(const MonitorEntry& entry) {
    std::string order;
    std::string words;
    Describe(entry, order, words);
    return order;
}

std::string FormatMonitorEntry(const MonitorEntry& entry) {
    static constexpr std::array<const char*, 3> kKinds{"tx", "rx", "status"};
    std::array<char, 16> kind{};
    std::snprintf(kind.data(), kind.size(), "  %-6s  ",
                  kKinds[static_cast<std::size_t>(entry.kind)]);
    std::string line = FixedText(entry.time, 3, 8) + kind.data();
    if (entry.kind == MonitorKind::kStatus) {
        return line + EntryText(entry);
    }
    std::string order;
    std::string words;
    Describe(entry, order, words);
    if (order.empty()) {
        order = std::to_string(entry.original) + " bytes";
    }
    order.resize(std::max<std::size_t>(order.size(), 16), ' ');
    line += order;
    line += "  ";
    if (!words.empty()) {
        line += words;
        line += "  | ";
    }
    return line + EntryText(entry);
}

} // namespace ovx::platform
