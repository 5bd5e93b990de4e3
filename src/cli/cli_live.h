// ovextar-cli's live and curve commands, on the live exchange and the data-curve read of the
// core: no panel, no click. Samples and the curve go to stdout as CSV lines or JSON objects, or
// with --csv to a file that replaces its old version only when it was written whole.
#pragma once

#include <csignal>
#include <memory>
#include <string>

#include "cli/cli_args.h"
#include "live/sample.h"

namespace ovx::cli {

// How a command ended: its exit code and, unless it is 0, the error line without the program's
// name (the caller prints it, and with --json its failure object).
struct CliOutcome {
    int exit = 0;
    std::string error;
};

class CliLive {
  public:
    // json: --json was given; args: the command's checked arguments; stop: set by Ctrl-C. args
    // and stop must outlive this object.
    CliLive(bool json, const CliArgs& args, const volatile std::sig_atomic_t& stop);
    ~CliLive();
    CliLive(const CliLive&) = delete;
    CliLive& operator=(const CliLive&) = delete;

    // Before anything is sent: live opens its --csv file; curve checks that its --csv names a
    // file it may replace.
    CliOutcome Prepare(const std::string& command);
    // A run until --frames or --seconds, Ctrl-C or the line's time-out.
    CliOutcome Live();
    // The curve of the NORM source, with --raw of the RAW source.
    CliOutcome Curve();

  private:
    class OutputFile;
    bool OnSample(const live::LiveSample& s);

    bool json_;
    const CliArgs& args_;
    const volatile std::sig_atomic_t& stop_;
    std::unique_ptr<OutputFile> csv_; // live --csv, open from Prepare on
    long frames_ = 0;
};

} // namespace ovx::cli
