// The protocol monitor's log: every frame written and read on a serial port and every status
// text, in one timeline, as the --trace lines show them. The last kMonitorCapacity entries are
// kept in a ring allocated once; the last kStatusHistory status texts are kept apart, so frames
// never push a status text out of the history.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ovx::platform {

enum class MonitorKind : std::uint8_t { kTx, kRx, kStatus };

constexpr int kMonitorCapacity = 10000;
constexpr int kStatusHistory = 50;
constexpr int kMonitorDataMax = 160; // longer frames and texts are cut

struct MonitorEntry {
    std::uint64_t seq = 0;   // 1, 2, ... in order of logging
    double time = 0.0;       // Timer() seconds, as in the trace lines
    std::int64_t wallMs = 0; // wall-clock milliseconds since 1970
    MonitorKind kind = MonitorKind::kStatus;
    std::uint16_t length = 0;   // bytes (frames) or characters (status) kept in data
    std::uint16_t original = 0; // bytes or characters before cutting
    std::array<char, kMonitorDataMax> data{};
};

// Names the order of a frame and decodes its words into text ("live sample", "512 1023 ...").
// Set by the program, which knows the frame layout; without it frames show only as hex.
using FrameDescriber = void (*)(MonitorKind kind, const char* bytes, int count, std::string& order,
                                std::string& words);
void SetFrameDescriber(FrameDescriber describer);

void LogMonitorEntry(MonitorKind kind, const char* data, int count);
// Entries with seq >= from, oldest first, appended to out; returns the seq after the newest.
std::uint64_t ReadMonitorEntries(std::uint64_t from, std::vector<MonitorEntry>& out);
void ClearMonitorLog(); // frames and status texts of the monitor; the status history stays
// The last status texts, oldest first (at most kStatusHistory).
std::vector<MonitorEntry> StatusHistory();

// "12.345  tx      live sample      words | hex" or "12.345  status  text".
std::string FormatMonitorEntry(const MonitorEntry& entry);
// The order name a filter matches (empty for status texts).
std::string MonitorOrderName(const MonitorEntry& entry);
std::string EntryText(const MonitorEntry& entry); // the status text or the hex of the bytes

} // namespace ovx::platform
