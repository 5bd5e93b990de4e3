// The sixteen parameters in one table, entry i being word i of the parameter block: the frame
// codec packs and unpacks the block by it, the panel binding reads and writes the controls by
// it, and ovextar-cli names the parameters and checks their values by it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace ovx::params {

struct Parameter {
    const char* name;             // the panel label in a script-friendly form: "trigger-level"
    std::uint16_t* variable;      // &triglvl
    int control;                  // panel control ID; 0 for para15, which has none
    bool popup;                   // the control sits on the settings popup
    std::span<const int> choices; // the ring's item values; empty: minimum..maximum
    int minimum, maximum;
};

constexpr std::size_t kParameterCount = 16;

std::span<const Parameter, kParameterCount> Parameters();
// The parameter of that name (exactly, case included), or nullptr.
const Parameter* FindParameter(std::string_view name);
// Whether the parameter's control takes value: one of its choices, else within its limits.
bool ValueAllowed(const Parameter& p, long value);
// What the parameter takes: "0..65535" or "1, 2, 4, 8, 16, 32".
std::string AllowedText(const Parameter& p);

} // namespace ovx::params
