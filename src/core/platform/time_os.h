// The one clock service that differs between systems: a moment in the local time zone. One
// file per OS implements it (time_posix.cpp).
#pragma once

#include <ctime>

namespace ovx::platform::detail {

// The broken-down local time of t; tm is zeroed when the system cannot tell it.
void LocalTime(std::time_t t, std::tm& tm);

} // namespace ovx::platform::detail
