// Shared by the fuzz targets: splitting the input into arguments, and a check that aborts (so
// libFuzzer records the input) with the broken invariant named.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ovx::fuzz {

inline void Check(bool holds, const char* invariant) {
    if (!holds) {
        std::fprintf(stderr, "invariant broken: %s\n", invariant);
        std::abort();
    }
}

// The input as command-line arguments: split at NUL and newline, at most 64 of them.
inline std::vector<std::string> SplitArguments(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size && args.size() <= 64; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\0' || c == '\n') {
            args.emplace_back();
        } else {
            args.back().push_back(c);
        }
    }
    return args;
}

} // namespace ovx::fuzz
