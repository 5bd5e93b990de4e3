// ovextar-cli: every operator command from a terminal or a script, on the core of the tool.
#include <cstdio>
#include <string>

#include "app/cli_commands.h"
#include "app/cli_options.h"

int main(int argc, char** argv) {
    using namespace ovx;
    app::CliOptions options;
    std::string message;
    if (app::ParseCliOptions(argc, argv, options, message) != 0) {
        std::fprintf(stderr, "%s\n", message.c_str());
        if (options.json) {
            const std::string prefix = "ovextar-cli: ";
            const std::string error =
                message.starts_with(prefix) ? message.substr(prefix.size()) : message;
            std::printf("%s\n", app::CliFailureJson(options.command, error).c_str());
        }
        return app::kExitUsage;
    }
    if (options.help) {
        std::fputs(app::CliUsage(), stdout);
        return app::kExitDone;
    }
    if (options.version) {
        std::fputs(app::CliVersionText().c_str(), stdout);
        return app::kExitDone;
    }
    return app::RunCli(options);
}
