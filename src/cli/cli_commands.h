// ovextar-cli's commands. Each calls the operation of the core the window's button calls (start-up,
// echo check, get, send, teach, reset, flash programming) and judges it by its result, so the
// line sees what the window sends for the same command; `live` runs the window's exchange, its
// samples going straight to the output. Status texts go to standard error: by default the final
// one of a command that succeeded, or one error line; with --verbose every one.
#pragma once

#include <string>

#include "cli/cli_options.h"

namespace ovx::cli {

// Exit codes of ovextar-cli.
enum CliExit : int {
    kExitDone = 0,
    kExitController = 1, // the controller did not answer or refused
    kExitUsage = 2,
    kExitFile = 3,
    kExitInterrupted = 130, // Ctrl-C before the command was done (128 + SIGINT)
};

// Runs the command; the exit code.
int RunCli(const CliOptions& options);

// With --json, what a failed command prints on stdout:
// {"command":COMMAND,"ok":false,"error":ERROR}, ERROR being the error line without "ovextar-cli: ".
std::string CliFailureJson(const std::string& command, const std::string& error);

// Ctrl-C: a live run stops at once as the stop button stops it (the reply on its way still
// recorded); flash programming ends after the block being written. Safe in a signal handler.
void RequestCliStop();

} // namespace ovx::cli
