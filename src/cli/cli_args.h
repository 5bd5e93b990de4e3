// The arguments after an ovextar-cli command, checked against what that command takes, before
// anything is opened, read or sent: flags, options with a value, plain words, the limits of a
// live run and the NAME=VALUE assignments of send. Nothing here touches a file or the line.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cli/cli_params.h"

namespace ovx::cli {

class CliArgs {
  public:
    bool Flag(const std::string& name) const;
    const std::string* Value(const std::string& name) const; // nullptr when not given
    const std::vector<std::string>& Words() const { return words_; }

    long seconds = 0; // live --seconds N (0: not given)
    long frames = 0;  // live --frames N (0: not given)
    // send: the assignments given as words; empty when the one word is a FILE to read.
    std::vector<Assignment> assignments;

    // Takes every argument; false with a reason on one the command does not know.
    bool Parse(const std::vector<std::string>& args, const std::vector<std::string>& flags,
               const std::vector<std::string>& options, std::string& error);

  private:
    std::vector<std::string> flags_;
    std::vector<std::pair<std::string, std::string>> values_;
    std::vector<std::string> words_;
};

// Checks args for command (one of the commands ovextar-cli knows); true, or false with a
// one-line reason that begins with the command ("live: --frames needs ...").
bool ParseCommandArgs(const std::string& command, const std::vector<std::string>& args,
                      CliArgs& parsed, std::string& error);

} // namespace ovx::cli
