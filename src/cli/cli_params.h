// The NAME=VALUE text of ovextar-cli, by the names and limits of the parameter table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "params/parameters.h"

namespace ovx::cli {

struct Assignment {
    const params::Parameter* param;
    std::uint16_t value;
};

// Parses "NAME=VALUE"; false with a one-line reason naming what was wrong.
bool ParseAssignment(std::string_view text, Assignment& out, std::string& error);
// A file of NAME=VALUE lines (blank lines and '#' comments allowed), or a parameter file of
// 16 integers. false with a reason; unreadable reports 3 in errorCode, bad content 2. Only a
// regular file of up to kMaxAssignmentFileBytes is read.
constexpr long long kMaxAssignmentFileBytes = 1 << 20;
bool ReadAssignments(const std::string& path, std::vector<Assignment>& out, std::string& error,
                     int& errorCode);

} // namespace ovx::cli
