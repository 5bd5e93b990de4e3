// The program's texts are UTF-8, file names included. std::filesystem takes a plain string in
// the C library's own encoding, which on Windows is not UTF-8 whatever the code page is; through
// these two a name keeps its letters on every system.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ovx::platform {

inline std::filesystem::path PathOf(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string TextOf(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace ovx::platform
