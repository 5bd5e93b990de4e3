// ovextar-cli's own options, before the command: each may be given once; a second time is a
// usage error naming it, as it is for the options after a command.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "support/row_name.h"

namespace ovx::cli {
namespace {

struct TwiceRow {
    const char* name;
    std::vector<std::string> args; // after the program name
    const char* error;             // "" = accepted
};

void PrintTo(const TwiceRow& row, std::ostream* os) {
    *os << row.name;
}

class CliOptionGiven : public ::testing::TestWithParam<TwiceRow> {
  protected:
    int Parse(CliOptions& options, std::string& message) const {
        std::vector<std::string> args{"ovextar-cli"};
        args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        return ParseCliOptions(static_cast<int>(args.size()), argv.data(), options, message);
    }
};

TEST_P(CliOptionGiven, TwiceIsAUsageErrorNamingIt) {
    const TwiceRow& row = GetParam();
    CliOptions options;
    std::string message;
    const int rc = Parse(options, message);
    if (row.error[0] == '\0') {
        EXPECT_EQ(rc, 0) << message;
        return;
    }
    EXPECT_EQ(rc, 2);
    EXPECT_EQ(message, std::string("ovextar-cli: ") + row.error + " (see ovextar-cli --help)");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliOptionGiven,
    ::testing::Values(
        TwiceRow{"PortTwice", {"--port", "A", "--port", "B", "check"}, "--port given twice"},
        TwiceRow{"PortSameTwice", {"--port", "A", "--port", "A", "check"}, "--port given twice"},
        TwiceRow{"JsonTwice", {"--json", "--port", "A", "--json", "check"}, "--json given twice"},
        TwiceRow{
            "TraceTwice", {"--trace", "--trace", "--port", "A", "check"}, "--trace given twice"},
        TwiceRow{
            "SimulatorTwice", {"--simulator", "--simulator", "check"}, "--simulator given twice"},
        TwiceRow{"NoLineTwice",
                 {"--simulator", "--no-line", "--no-line", "check"},
                 "--no-line given twice"},
        TwiceRow{"FaultTwice",
                 {"--simulator", "--garbage=5", "--garbage=3", "check"},
                 "--garbage given twice"},
        TwiceRow{"FaultFlagTwice",
                 {"--simulator", "--silent", "--silent", "check"},
                 "--silent given twice"},
        TwiceRow{"VersionTwice", {"--version", "--version"}, "--version given twice"},
        TwiceRow{"VerboseTwice",
                 {"--verbose", "--port", "A", "--verbose", "check"},
                 "--verbose given twice"},
        TwiceRow{"EachOnce",
                 {"--simulator", "--garbage=5", "--silent", "--no-line", "--verbose", "--trace",
                  "--json", "check"},
                 ""}),
    testing::RowName());

// A device server's address is checked with the options: a wrong one is a usage error that says
// what is wrong, before any connection is tried.
class CliPortAddress : public CliOptionGiven {};

TEST_P(CliPortAddress, IsCheckedWithTheOptions) {
    const TwiceRow& row = GetParam();
    CliOptions options;
    std::string message;
    const int rc = Parse(options, message);
    if (row.error[0] == '\0') {
        EXPECT_EQ(rc, 0) << message;
        EXPECT_EQ(options.device, row.args[1]);
        return;
    }
    EXPECT_EQ(rc, 2);
    EXPECT_EQ(message, std::string("ovextar-cli: ") + row.error + " (see ovextar-cli --help)");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CliPortAddress,
    ::testing::Values(TwiceRow{"RawTcp", {"--port", "tcp://127.0.0.1:7001", "check"}, ""},
                      TwiceRow{"Rfc2217", {"--port", "rfc2217://devsrv:2001", "check"}, ""},
                      TwiceRow{"DevicePath", {"--port", "/dev/ttyUSB0", "check"}, ""},
                      TwiceRow{"NoPort",
                               {"--port", "tcp://127.0.0.1", "check"},
                               "--port: no port number in tcp://127.0.0.1 (tcp://HOST:PORT)"},
                      TwiceRow{"NoHost",
                               {"--port", "rfc2217://:2001", "get"},
                               "--port: no host in rfc2217://:2001 (rfc2217://HOST:PORT)"},
                      TwiceRow{"PortOutOfRange",
                               {"--port", "tcp://h:70000", "check"},
                               "--port: the port must be a number 1 to 65535 in tcp://h:70000 "
                               "(tcp://HOST:PORT)"}),
    testing::RowName());

} // namespace
} // namespace ovx::cli
