// ovextar-cli: every operator command from a terminal or a script, on the core of the tool.
#include <cstdio>
#include <string>

#include "cli/cli_commands.h"
#include "cli/cli_options.h"

int main(int argc, char** argv) {
    using namespace ovx;
    cli::CliOptions options;
    std::string message;
    if (cli::ParseCliOptions(argc, argv, options, message) != 0) {
        std::fprintf(stderr, "%s\n", message.c_str());
        if (options.json) {
            const std::string prefix = "ovextar-cli: ";
            const std::string error =
                message.starts_with(prefix) ? message.substr(prefix.size()) : message;
            std::printf("%s\n", cli::CliFailureJson(options.command, error).c_str());
        }
        return cli::kExitUsage;
    }
    if (options.help) {
        std::fputs(cli::CliUsage(), stdout);
        return cli::kExitDone;
    }
    if (options.version) {
        std::fputs(cli::CliVersionText().c_str(), stdout);
        return cli::kExitDone;
    }
    return cli::RunCli(options);
}
