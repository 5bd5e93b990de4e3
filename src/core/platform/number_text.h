// Numbers written for machines (CSV, JSON, traces, saved logs): always a decimal point and no
// digit grouping, whatever locale the process runs in. printf's %f follows LC_NUMERIC, which
// the window's toolkit sets from the environment; std::to_chars never does.
#pragma once

#include <string>

namespace ovx::platform {

// value with exactly `decimals` digits after the point: FixedText(0.0465, 3) == "0.047"; padded
// on the left with spaces to `width` characters when it is shorter.
std::string FixedText(double value, int decimals, int width = 0);

// value in at most `digits` significant digits, as "%.<digits>g" writes it in the C locale.
std::string GeneralText(double value, int digits);

} // namespace ovx::platform
