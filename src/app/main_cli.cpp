// ovextar-cli: every operator command from a terminal or a script, on the window's own code.
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
