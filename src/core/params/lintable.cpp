#include "params/lintable.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/errors.h"
#include "platform/files.h"

namespace ovx::params {

std::int32_t vcorr[4096];
std::int32_t flashp4[kPageSize], flashp5[kPageSize], flashp6[kPageSize], flashp7[kPageSize];

namespace {

// The file services' element type of vcorr: signed 32-bit integers.
constexpr int kInt32Elements = 1;

using Table = std::array<std::int32_t, kTableSize>;

void PlaceValues(std::span<const std::int32_t, kTableSize> values,
                 std::span<const std::int32_t, kTableSize> positions,
                 std::span<std::int32_t, kTableSize> table) {
    std::fill(table.begin(), table.end(), 0);
    for (int i = 0; i < kTableSize; ++i) {
        const std::int32_t pos = positions[i];
        if (pos >= 0 && pos < kTableSize) { // a position outside the table names no entry
            table[pos] = values[i];
        }
    }
}

// Every entry that is 0 takes its left neighbour's value; entry 0 stays as it is.
void FillHoles(std::span<std::int32_t, kTableSize> table) {
    for (int i = 1; i < kTableSize; ++i) {
        if (table[i] == 0) {
            table[i] = table[i - 1];
        }
    }
}

// A drop below the (already repaired) predecessor becomes the mean of its neighbours when the
// successor lies above the predecessor, else the predecessor's value. Returns the number of
// entries repaired: a drop always changes its entry, to a value above the one it had.
int RepairDrops(std::span<std::int32_t, kTableSize> table) {
    int repaired = 0;
    for (int i = 1; i < kTableSize - 1; ++i) {
        const std::int32_t prev = table[i - 1];
        const std::int32_t next = table[i + 1];
        if (table[i] >= prev) {
            continue;
        }
        ++repaired;
        if (next > prev) {
            // 64-bit sum: two large entries must not overflow; division truncates toward zero.
            table[i] = static_cast<std::int32_t>((std::int64_t{prev} + next) / 2);
        } else {
            table[i] = prev;
        }
    }
    if (table[kTableSize - 1] < table[kTableSize - 2]) {
        table[kTableSize - 1] = table[kTableSize - 2];
        ++repaired;
    }
    return repaired;
}

// A noisy but rising file has a few drops, which the repair is for; a file that falls more
// often than it rises is almost always the wrong one (or its groups swapped).
bool FallsMoreThanRises(std::span<const std::int32_t, kTableSize> table) {
    int falls = 0;
    int rises = 0;
    for (int i = 1; i < kTableSize; ++i) {
        falls += table[i] < table[i - 1] ? 1 : 0;
        rises += table[i] > table[i - 1] ? 1 : 0;
    }
    return falls > rises;
}

// The first entry that a flash word (16 bits, unsigned) cannot hold, or -1.
int FirstEntryBeyondWord(const Table& table) {
    const auto* beyond = std::find_if(table.begin(), table.end(), [](std::int32_t v) {
        return v < 0 || v > std::numeric_limits<std::uint16_t>::max();
    });
    return beyond == table.end() ? -1 : static_cast<int>(beyond - table.begin());
}

const char* BaseName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/' || *p == '\\') {
            name = p + 1;
        }
    }
    return name;
}

void ReadError(int code, const char* path, char* szError, int capacity) {
    const char* name = BaseName(path);
    if (code == platform::kFileTooFewValues) {
        std::snprintf(szError, capacity,
                      "error : %s holds fewer than %d values - nothing programmed!", name,
                      kMeasurementValues);
    } else if (code == platform::kFileNotRegular) {
        std::snprintf(szError, capacity, "error : %s is not a regular file - nothing programmed!",
                      name);
    } else if (code == platform::kFileTooLarge) {
        std::snprintf(szError, capacity,
                      "error : %s is far too large for %d values - nothing programmed!", name,
                      kMeasurementValues);
    } else if (code == platform::kFileBadValue) {
        std::snprintf(szError, capacity,
                      "error : %s holds a value that is not an integer - nothing programmed!",
                      name);
    } else {
        std::snprintf(szError, capacity, "error : cannot read %s - nothing programmed!", name);
    }
}

void WordError(const char* path, const Table& table, int entry, char* szError, int capacity) {
    std::snprintf(szError, capacity,
                  "error : %s table entry %d is %ld, does not fit in 16 bits - nothing programmed!",
                  BaseName(path), entry, static_cast<long>(table[entry]));
}

void RepairWarning(const char* path, int repaired, char* szError, int capacity) {
    std::snprintf(szError, capacity, "warning : %s values decrease - table repaired at %d %s!",
                  BaseName(path), repaired, repaired == 1 ? "entry" : "entries");
}

void LayoutError(const char* path, char* szError, int capacity) {
    std::snprintf(szError, capacity,
                  "error : %s is not laid out as two groups of %d values - nothing programmed!",
                  BaseName(path), kTableSize);
}

std::size_t ValueCount(const MeasurementRows& rows) {
    std::size_t n = 0;
    for (const auto& row : rows) {
        n += row.size();
    }
    return n;
}

bool AllRowsHold(const MeasurementRows& rows, std::size_t fields) {
    return std::all_of(rows.begin(), rows.end(),
                       [fields](const auto& row) { return row.size() == fields; });
}

void FillPages(const Table& table) {
    std::copy_n(table.begin(), kPageSize, flashp4);
    std::copy_n(table.begin() + kPageSize, kPageSize, flashp5);
    std::copy_n(table.begin() + 2 * kPageSize, kPageSize, flashp6);
    std::copy_n(table.begin() + 3 * kPageSize, kPageSize, flashp7);
}

} // namespace

TableRepair BuildTable(std::span<const std::int32_t, kTableSize> values,
                       std::span<const std::int32_t, kTableSize> positions,
                       std::span<std::int32_t, kTableSize> table) {
    PlaceValues(values, positions, table);
    FillHoles(table);
    const bool decreasing = FallsMoreThanRises(table);
    return {RepairDrops(table), decreasing};
}

int WriteTableFile(const char* path) {
    const int rc =
        platform::ArrayToFile(path, vcorr, kInt32Elements, 3 * kTableSize, 3, 0, 0, 0, 6, 1, 0);
    return rc < 0 ? rc : 0;
}

bool ArrangeGroups(const MeasurementRows& rows,
                   std::span<std::int32_t, kMeasurementValues> measured) {
    constexpr auto kPerGroup = static_cast<std::size_t>(kTableSize);
    const auto store = [&measured](std::size_t group, std::size_t index, std::int64_t v) {
        measured[group * kPerGroup + index] = static_cast<std::int32_t>(v);
    };
    if (rows.size() == kPerGroup && AllRowsHold(rows, 2)) {
        for (std::size_t i = 0; i < kPerGroup; ++i) {
            store(0, i, rows[i][0]);
            store(1, i, rows[i][1]);
        }
        return true;
    }
    if (rows.size() == 2 && AllRowsHold(rows, kPerGroup)) {
        for (std::size_t i = 0; i < kPerGroup; ++i) {
            store(0, i, rows[0][i]);
            store(1, i, rows[1][i]);
        }
        return true;
    }
    if (rows.size() == 2 * kPerGroup && AllRowsHold(rows, 1)) {
        for (std::size_t i = 0; i < 2 * kPerGroup; ++i) {
            store(i / kPerGroup, i % kPerGroup, rows[i][0]);
        }
        return true;
    }
    return false;
}

int ReadCorrData(const char* path, char* szError, int errorCapacity, const char* tableFile) {
    // Read into a scratch area first: a file that fails leaves vcorr and the pages as they were.
    MeasurementRows rows;
    const int rc = platform::FileToRows(path, kInt32Elements, kMeasurementValues, rows);
    if (rc < 0) {
        ReadError(rc, path, szError, errorCapacity);
        return 0;
    }
    std::array<std::int32_t, kMeasurementValues> measured{};
    if (ValueCount(rows) < static_cast<std::size_t>(kMeasurementValues)) {
        ReadError(platform::kFileTooFewValues, path, szError, errorCapacity);
        return 0;
    }
    if (!ArrangeGroups(rows, measured)) {
        LayoutError(path, szError, errorCapacity);
        return 0;
    }
    Table values{}, positions{}, table{};
    for (int i = 0; i < kTableSize; ++i) {
        values[i] = measured[i];
        positions[i] = measured[kMeasurementValues - 1 - i]; // group 1, last value first
    }
    const TableRepair repair = BuildTable(values, positions, table);
    if (const int entry = FirstEntryBeyondWord(table); entry >= 0) {
        // Its low 16 bits would be programmed: a table that wraps round. Nothing is changed.
        WordError(path, table, entry, szError, errorCapacity);
        return 0;
    }

    for (int i = 0; i < kTableSize; ++i) {
        vcorr[i] = i;
        vcorr[kTableSize + i] = positions[i];
        vcorr[2 * kTableSize + i] = table[i];
    }
    FillPages(table);

    szError[0] = '\0';
    if (repair.decreasing) {
        RepairWarning(path, repair.raised, szError, errorCapacity);
    }
    if (tableFile != nullptr && WriteTableFile(tableFile) < 0) {
        const std::string warning = szError;
        std::snprintf(szError, errorCapacity, "%s%serror : cannot write %s!", warning.c_str(),
                      warning.empty() ? "" : " - ", BaseName(tableFile));
    }
    return 1;
}

} // namespace ovx::params
