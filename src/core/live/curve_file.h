// The data curve as a CSV file: index, value A (or NORM), value B, upper, lower, reference.
#pragma once

#include <string>

namespace ovx::live {

constexpr int kCurveFilePoints = 128;
constexpr const char* kCurveHeader = "index,a_or_norm,b,upper,lower,reference";

// The file's text for the curve arrays as they are now.
std::string CurveCsv();
// Writes it to path (replaced whole); 1, or 0. The status line says which.
int SaveCurveFile(const char* path);

} // namespace ovx::live
