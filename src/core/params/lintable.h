// The linearisation table built from a measurement file, and the four flash page images.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ovx::params {

constexpr int kTableSize = 1024;
constexpr int kPageSize = 256;
constexpr int kMeasurementValues = 2 * kTableSize; // group 0 values, group 1 positions
constexpr const char* kMeasurementFile = "TARconfig.dat";
constexpr const char* kTableFile = "LTlinear.dat";

extern std::int32_t vcorr[4096];
extern std::int32_t flashp4[kPageSize], flashp5[kPageSize], flashp6[kPageSize], flashp7[kPageSize];

// Builds the table from the value list and the position list (value i belongs at position i):
// placement (the later pair wins, positions outside 0..1023 are skipped), hole filling from the
// left, repair of drops, last entry. Entry 0 is never filled or repaired. Needs no files.
// Returns what the repair found: the entries it raised (those that, after placement and hole
// filling, lay below their repaired predecessor) and whether the table then fell more often
// than it rose from entry to entry (a decreasing measurement file).
struct TableRepair {
    int raised = 0;
    bool decreasing = false;
};
TableRepair BuildTable(std::span<const std::int32_t, kTableSize> values,
                       std::span<const std::int32_t, kTableSize> positions,
                       std::span<std::int32_t, kTableSize> table);

// The rows of a measurement file (the integers of each line) as two groups of 1024 values, group
// 0 then group 1, when the line structure leaves no doubt how they lie: 1024 lines of two fields
// (the groups as columns, as the tool writes such files), two lines of 1024 fields (the groups as
// rows), or 2048 lines of one field (group 0, then group 1). False for anything else.
using MeasurementRows = std::vector<std::vector<std::int64_t>>;
bool ArrangeGroups(const MeasurementRows& rows,
                   std::span<std::int32_t, kMeasurementValues> measured);

// Reads the measurement file, builds the table, writes tableFile (by default kTableFile: bare
// name, working directory; replaced atomically; nullptr: none) and the page images.
// Returns 1 when the table was built; 0 when the file could not be read or holds fewer than
// 2048 integers or is not laid out as two groups of 1024, or when a finished table entry does
// not fit in a 16-bit flash word (below 0 or above 65535): then nothing is changed (vcorr, the
// pages and the table file stay) and szError names the cause, for the table the first such
// entry. When 1, szError is empty, or holds a warning that the placed values decreased (they fell
// more often than they rose, and the repair raised entries), and/or that the table file cannot be
// written (neither stops the build).
int ReadCorrData(const char* path, char* szError, int errorCapacity,
                 const char* tableFile = kTableFile);
// Writes the table of the last build (entry numbers, positions, table) as kTableFile holds it.
// 0, or a negative file error.
int WriteTableFile(const char* path);

} // namespace ovx::params
