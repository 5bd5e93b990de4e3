// ovextar-cli's commands. Each drives the window's own code (start-up, the command buttons, the
// data curve, the flash programming) on panels kept offscreen, so the line sees what the window
// sends for the same command; `live` runs the window's exchange without any panel, its samples
// going straight to the output. Status texts go to standard error.
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

// Ctrl-C: a live run stops at once as the stop button stops it (the reply on its way still
// recorded); flash programming ends after the block being written. Safe in a signal handler.
void RequestCliStop();

} // namespace ovx::app
