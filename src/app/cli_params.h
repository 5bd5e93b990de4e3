// Parameter names of ovextar-cli: the panel labels in a script-friendly form, in the word order
// of the parameter block, with the values each control takes; and the NAME=VALUE text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ovx::app {

struct ParamName {
    const char* name;             // "trigger-level"
    std::uint16_t* variable;      // &params::triglvl
    int control;                  // panel control ID, 0 for para15 (no control)
    bool popup;                   // the control sits on the settings popup
    std::span<const int> choices; // the ring's item values; empty: minimum..maximum
    int minimum, maximum;
};

std::span<const ParamName> ParamNames();
const ParamName* FindParam(std::string_view name);
bool ValueAllowed(const ParamName& p, long value);
std::string AllowedText(const ParamName& p); // "0..65535" or "1, 2, 4, 8, 16, 32"

struct Assignment {
    const ParamName* param;
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

} // namespace ovx::app
