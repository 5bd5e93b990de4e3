#include "platform/number_text.h"

#include <array>
#include <charconv>

namespace ovx::platform {
namespace {

std::string Converted(double value, std::chars_format format, int precision) {
    std::array<char, 64> text{};
    const auto [end, ec] =
        std::to_chars(text.data(), text.data() + text.size(), value, format, precision);
    // 64 characters hold any double in fixed form up to 1e40; beyond that the general form does.
    if (ec != std::errc{}) {
        return Converted(value, std::chars_format::general, 17);
    }
    return std::string(text.data(), end);
}

} // namespace

std::string FixedText(double value, int decimals, int width) {
    std::string text = Converted(value, std::chars_format::fixed, decimals);
    if (static_cast<int>(text.size()) < width) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    }
    return text;
}

std::string GeneralText(double value, int digits) {
    return Converted(value, std::chars_format::general, digits);
}

} // namespace ovx::platform
