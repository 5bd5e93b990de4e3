#include "cli/cli_args.h"

#include <algorithm>

namespace ovx::cli {

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& s) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

bool ParseCount(const std::string& text, long& value) {
    try {
        std::size_t used = 0;
        value = std::stol(text, &used);
        return used == text.size() && value > 0;
    } catch (...) {
        return false;
    }
}

bool NoWords(const CliArgs& a, std::string& error) {
    if (!a.Words().empty()) {
        error = "unexpected argument " + a.Words()[0];
        return false;
    }
    return true;
}

bool OneWord(const CliArgs& a, const char* what, std::string& error) {
    if (a.Words().size() != 1) {
        error = a.Words().empty() ? std::string("needs ") + what
                                  : "unexpected argument " + a.Words()[1];
        return false;
    }
    return true;
}

bool CheckLimit(CliArgs& a, std::string& error) {
    const std::string* seconds = a.Value("--seconds");
    const std::string* frames = a.Value("--frames");
    if (seconds != nullptr && frames != nullptr) {
        error = "--seconds and --frames exclude each other";
        return false;
    }
    if (seconds != nullptr && !ParseCount(*seconds, a.seconds)) {
        a.seconds = 0;
        error = "--seconds needs a whole number above 0, not " + *seconds;
        return false;
    }
    if (frames != nullptr && !ParseCount(*frames, a.frames)) {
        a.frames = 0;
        error = "--frames needs a whole number above 0, not " + *frames;
        return false;
    }
    return true;
}

// A single word that is no NAME=VALUE is a file; otherwise every word is an assignment.
bool CheckAssignments(CliArgs& a, std::string& error) {
    const auto& words = a.Words();
    if (words.empty()) {
        error = "needs FILE or NAME=VALUE";
        return false;
    }
    if (words.size() == 1 && words[0].find('=') == std::string::npos) {
        return true;
    }
    for (const std::string& w : words) {
        Assignment assignment{};
        if (!ParseAssignment(w, assignment, error)) {
            a.assignments.clear();
            return false;
        }
        a.assignments.push_back(assignment);
    }
    return true;
}

bool CheckCommand(const std::string& c, const std::vector<std::string>& args, CliArgs& a,
                  std::string& error) {
    if (c == "ports" || c == "check" || c == "info" || c == "teach" || c == "reset") {
        return a.Parse(args, {}, {}, error) && NoWords(a, error);
    }
    if (c == "get") {
        return a.Parse(args, {"--eeprom"}, {"-o"}, error) && NoWords(a, error);
    }
    if (c == "send") {
        return a.Parse(args, {"--eeprom"}, {}, error) && CheckAssignments(a, error);
    }
    if (c == "live") {
        return a.Parse(args, {}, {"--seconds", "--frames", "--csv"}, error) && NoWords(a, error) &&
               CheckLimit(a, error);
    }
    if (c == "curve") {
        return a.Parse(args, {"--raw"}, {"--csv"}, error) && NoWords(a, error);
    }
    if (c == "table") {
        return a.Parse(args, {}, {"-o"}, error) && OneWord(a, "MEASUREMENT", error);
    }
    if (c == "flash") {
        return a.Parse(args, {}, {}, error) && OneWord(a, "MEASUREMENT", error);
    }
    error = "unknown command " + c;
    return false;
}

} // namespace

bool CliArgs::Flag(const std::string& name) const {
    return Contains(flags_, name);
}

const std::string* CliArgs::Value(const std::string& name) const {
    for (const auto& [n, v] : values_) {
        if (n == name) {
            return &v;
        }
    }
    return nullptr;
}

bool CliArgs::Parse(const std::vector<std::string>& args, const std::vector<std::string>& flags,
                    const std::vector<std::string>& options, std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool known = Contains(flags, a) || Contains(options, a);
        if (known && (Flag(a) || Value(a) != nullptr)) {
            error = a + " given twice";
            return false;
        }
        if (Contains(flags, a)) {
            flags_.push_back(a);
        } else if (Contains(options, a)) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            values_.emplace_back(a, args[++i]);
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else {
            words_.push_back(a);
        }
    }
    return true;
}

bool ParseCommandArgs(const std::string& command, const std::vector<std::string>& args,
                      CliArgs& parsed, std::string& error) {
    parsed = CliArgs{};
    if (CheckCommand(command, args, parsed, error)) {
        return true;
    }
    error = command + ": " + error;
    return false;
}

} // namespace ovx::cli
