// ovextar-cli's commands. Each drives the window's own code (start-up, the command buttons, the
// run loop, the data curve, the flash programming) on panels kept offscreen, so the line sees
// what the window sends for the same command. Status texts go to standard error.
#pragma once

#include "app/cli_options.h"

namespace ovx::app {

// Exit codes of ovextar-cli.
enum CliExit : int {
    kExitDone = 0,
    kExitController = 1, // the controller did not answer or refused
    kExitUsage = 2,
    kExitFile = 3,
};

// Runs the command; the exit code.
int RunCli(const CliOptions& options);

// Ctrl-C: a live run stops as the stop button stops it; flash programming ends after the block
// being written. Safe in a signal handler.
void RequestCliStop();

} // namespace ovx::app
