// The linearisation table built from a measurement file, and the four flash page images.
#pragma once

#include <cstdint>

namespace ovx::params {

constexpr int kTableSize = 1024;
constexpr int kPageSize = 256;
constexpr const char* kMeasurementFile = "TARconfig.dat";
constexpr const char* kTableFile = "LTlinear.dat";

extern std::int32_t vcorr[4096];
extern std::int32_t flashp4[kPageSize], flashp5[kPageSize], flashp6[kPageSize],
    flashp7[kPageSize];

// Reads the measurement file, builds the table, writes kTableFile and the page images.
// Returns 1 when the table was built; 0 when the file could not be read or holds fewer than
// 2048 integers (then nothing is changed and szError names the cause).
int ReadCorrData(const char* path, char* szError, int errorCapacity);

} // namespace ovx::params
