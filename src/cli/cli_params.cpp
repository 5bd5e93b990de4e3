#include "cli/cli_params.h"

#include <array>
#include <cctype>
#include <charconv>
#include <sstream>

#include "params/parameters.h"
#include "platform/errors.h"
#include "platform/files.h"

namespace ovx::cli {

namespace {

using namespace params;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())) != 0) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())) != 0) {
        s.remove_suffix(1);
    }
    return s;
}

bool ParseLong(std::string_view text, long& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc{} && ptr == end;
}

// Lines of NAME=VALUE; line numbers in the reasons.
bool ParseNamedLines(const std::string& path, std::istream& in, std::vector<Assignment>& out,
                     std::string& error) {
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string_view text = Trim(std::string_view(line).substr(0, line.find('#')));
        if (text.empty()) {
            continue;
        }
        Assignment a{};
        if (!ParseAssignment(text, a, error)) {
            error = path + ":" + std::to_string(number) + ": " + error;
            return false;
        }
        out.push_back(a);
    }
    return true;
}

// A parameter file: the 16 words in block order, whitespace separated. A file of another count
// is no parameter file, however its first values look: nothing of it is taken.
bool ParseWordFile(const std::string& path, std::istream& in, std::vector<Assignment>& out,
                   std::string& error) {
    std::vector<std::string> tokens;
    std::vector<long> values;
    for (std::string token; in >> token;) {
        long value = 0;
        if (!ParseLong(token, value)) {
            error = path + ": '" + token + "' is not an integer";
            return false;
        }
        tokens.push_back(token);
        values.push_back(value);
    }
    if (tokens.size() != kParameterCount) {
        error = path + ": parameter file holds " + std::to_string(tokens.size()) + " values, not " +
                std::to_string(kParameterCount);
        return false;
    }
    for (std::size_t i = 0; i < kParameterCount; ++i) {
        const Parameter& p = Parameters()[i];
        if (!ValueAllowed(p, values[i])) {
            error = path + ": " + p.name + " " + tokens[i] + " out of range " + AllowedText(p);
            return false;
        }
        out.push_back({&p, static_cast<std::uint16_t>(values[i])});
    }
    return true;
}

} // namespace

bool ParseAssignment(std::string_view text, Assignment& out, std::string& error) {
    const auto eq = text.find('=');
    if (eq == std::string_view::npos) {
        // Built by inserting and appending: g++ 12 at -O3 reports a false -Wrestrict for
        // "'" + std::string.
        error = std::string(text);
        error.insert(0, 1, '\'').append("' is not NAME=VALUE");
        return false;
    }
    const std::string_view name = Trim(text.substr(0, eq));
    const std::string_view valueText = Trim(text.substr(eq + 1));
    const Parameter* p = FindParameter(name);
    if (p == nullptr) {
        error = "unknown parameter name '" + std::string(name) + "'";
        return false;
    }
    long value = 0;
    if (!ParseLong(valueText, value)) {
        error = std::string(name) + ": '" + std::string(valueText) + "' is not an integer";
        return false;
    }
    if (!ValueAllowed(*p, value)) {
        error =
            std::string(name) + " " + std::string(valueText) + " out of range " + AllowedText(*p);
        return false;
    }
    out = {p, static_cast<std::uint16_t>(value)};
    return true;
}

bool ReadAssignments(const std::string& path, std::vector<Assignment>& out, std::string& error,
                     int& errorCode) {
    // Read whole and bounded: a FIFO would block the read for ever, a huge file fill the memory.
    std::string whole;
    const int rc = platform::ReadWholeFile(path.c_str(), kMaxAssignmentFileBytes, whole);
    if (rc != 0) {
        error = "cannot read " + path;
        if (rc == platform::kFileNotRegular) {
            error += ": not a regular file";
        } else if (rc == platform::kFileTooLarge) {
            error += ": larger than 1 MiB, no parameter file";
        }
        errorCode = 3;
        return false;
    }
    std::stringstream text(whole);
    errorCode = 2;
    const bool named = whole.find('=') != std::string::npos;
    return named ? ParseNamedLines(path, text, out, error) : ParseWordFile(path, text, out, error);
}

} // namespace ovx::cli
