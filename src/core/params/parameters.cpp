#include "params/parameters.h"

#include <algorithm>
#include <array>

#include "params/panels.h"
#include "params/variables.h"

namespace ovx::params {
namespace {

constexpr int kWordMax = 65535;
constexpr std::array kModes{0, 1, 2, 3};
constexpr std::array kBufferLengths{1, 2, 4, 8, 16, 32};

constexpr std::array<Parameter, kParameterCount> kParameters{{
    {"power", &power, PANEL_POWER, false, {}, 0, kWordMax},
    {"reference", &reference, PANEL_REFERENCE, false, {}, 0, kWordMax},
    {"tolerance", &tolerance, PANEL_TOLERANCE, false, {}, 0, kWordMax},
    {"hysteresis", &hysteresis, PANEL_HYSTERESIS, false, {}, 0, kWordMax},
    {"polarity", &polarity, PANEL_POLARITY, false, {}, 0, kWordMax},
    {"hold", &hold, PANEL_HOLD, false, {}, 0, kWordMax},
    {"hw-mode", &hwmode, PANEL_HWMODE, false, {}, 0, kWordMax},
    {"average", &average, PANEL_AVERAGE, false, {}, 0, kWordMax},
    {"evaluation-mode", &evalmode, PANEL_DROP_EVALMODE, false, kModes, 0, 3},
    {"max-mode", &maxmode, PANEL_MAXMODE, false, {}, 0, kWordMax},
    {"trigger-level", &triglvl, PANEL_TRIGLVL, false, {}, 0, kWordMax},
    {"trigger-mode", &trigmode, POPUP_DROPTRIGMODE, true, kModes, 0, 3},
    {"sample-delay", &sdelay, POPUP_SDELAY, true, {}, 0, kWordMax},
    {"difference-buffer", &dbuflen, POPUP_DROP_DIFFBUFF, true, kBufferLengths, 1, 32},
    {"analysis-mode", &anamode, POPUP_ANAMODE, true, {}, 0, kWordMax},
    {"para15", &para15, 0, false, {}, 0, kWordMax},
}};

} // namespace

std::span<const Parameter, kParameterCount> Parameters() {
    return kParameters;
}

const Parameter* FindParameter(std::string_view name) {
    const auto* p = std::find_if(kParameters.begin(), kParameters.end(),
                                 [name](const Parameter& q) { return name == q.name; });
    return p == kParameters.end() ? nullptr : p;
}

bool ValueAllowed(const Parameter& p, long value) {
    if (p.choices.empty()) {
        return value >= p.minimum && value <= p.maximum;
    }
    return std::find(p.choices.begin(), p.choices.end(), value) != p.choices.end();
}

std::string AllowedText(const Parameter& p) {
    if (p.choices.empty()) {
        return std::to_string(p.minimum) + ".." + std::to_string(p.maximum);
    }
    std::string text;
    for (const int c : p.choices) {
        text.append(text.empty() ? "" : ", ").append(std::to_string(c));
    }
    return text;
}

} // namespace ovx::params
