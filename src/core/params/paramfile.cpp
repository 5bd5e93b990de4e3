#include "params/paramfile.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "params/parameters.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace ovx::params {

namespace {

using Transfer = std::array<std::uint32_t, kParamFileWords>;

// The file services' element type of the transfer: unsigned 32-bit integers.
constexpr int kUInt32Elements = 7;
// One group of 16, one per line, field width 4 (wider values in full), text, replaced.
constexpr int kGroups = 1, kOrder = 0, kLayout = 0, kColSep = 0, kWidth = 4, kText = 1,
              kReplace = 0;

// A file is counted whole, up to this many values: a file of another kind (a measurement file
// of 2048) is then named by its count. A longer file is far too large for a parameter file.
constexpr int kCountedValues = 4096;

const char* ReadErrorText(int code) {
    switch (code) {
    case platform::kFileBadValue:
        return "error : parameter file holds a value that is not an integer!";
    case platform::kFileNotRegular:
        return "error : parameter file is not a regular file!";
    case platform::kFileTooLarge:
        return "error : parameter file is far too large to hold 16 values!";
    default:
        return "error : cannot read parameter file!";
    }
}

// Every integer of path, one group however the lines lie. 0 or a FileError.
int ReadValues(const char* path, std::vector<std::int64_t>& values) {
    std::vector<std::vector<std::int64_t>> rows;
    const int rc = platform::FileToRows(path, kUInt32Elements, kCountedValues, rows);
    if (rc < 0) {
        return rc;
    }
    for (const auto& row : rows) {
        values.insert(values.end(), row.begin(), row.end());
    }
    return 0;
}

int Failed(const char* text, char* error, int capacity) {
    std::snprintf(error, static_cast<std::size_t>(capacity), "%s", text);
    return -1;
}

} // namespace

int WriteParamFile(const char* path, char* error, int capacity) {
    Transfer words{};
    for (int i = 0; i < kParamFileWords; ++i) {
        words[i] = *Parameters()[i].variable; // zero-extended
    }
    const int written =
        platform::ArrayToFile(path, words.data(), kUInt32Elements, kParamFileWords, kGroups, kOrder,
                              kLayout, kColSep, kWidth, kText, kReplace);
    if (written == platform::kFileNotRegular) {
        return Failed("error : parameter file is not a regular file - nothing written!", error,
                      capacity);
    }
    if (written < 0) {
        return Failed("error : cannot write parameter file!", error, capacity);
    }
    return 1;
}

int ReadParamFile(const char* path, char* error, int capacity) {
    std::vector<std::int64_t> values;
    if (const int rc = ReadValues(path, values); rc < 0) {
        return Failed(ReadErrorText(rc), error, capacity);
    }
    // A file of another count is no parameter file, however its first values look.
    if (values.size() != static_cast<std::size_t>(kParamFileWords)) {
        std::snprintf(error, static_cast<std::size_t>(capacity),
                      "error : parameter file holds %zu values, not %d!", values.size(),
                      kParamFileWords);
        return -1;
    }
    for (int i = 0; i < kParamFileWords; ++i) {
        *Parameters()[i].variable = static_cast<std::uint16_t>(values[i] & 0xFFFF); // low 16 bits
    }
    return 1;
}

} // namespace ovx::params
