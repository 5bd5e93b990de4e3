// Command line of ovextar-sim.
#include <gtest/gtest.h>

#include "sim/sim_options.h"

namespace ovx::sim {
namespace {

TEST(SimOptions, DefaultsEmulateTheLine) {
    SimSettings s;
    std::string message;
    EXPECT_EQ(ParseSimOptions({}, s, message), 0);
    EXPECT_TRUE(s.host.lineEmulation);
    EXPECT_DOUBLE_EQ(s.host.replyLatencyMs, 2.0);
    EXPECT_FALSE(s.help);
}

TEST(SimOptions, HostOptionsAndFaultsAreTakenTogether) {
    SimSettings s;
    std::string message;
    ASSERT_EQ(ParseSimOptions({"--no-line", "--latency", "5.5", "--eeprom", "e.txt", "--link",
                               "/tmp/ovx0", "--flash-dump", "f.txt", "--log", "--cut=3",
                               "--unplug-after=9"},
                              s, message),
              0)
        << message;
    EXPECT_FALSE(s.host.lineEmulation);
    EXPECT_DOUBLE_EQ(s.host.replyLatencyMs, 5.5);
    EXPECT_EQ(s.host.eepromFile, "e.txt");
    EXPECT_EQ(s.host.symlink, "/tmp/ovx0");
    EXPECT_EQ(s.flashDump, "f.txt");
    EXPECT_TRUE(s.host.logOrders);
    EXPECT_EQ(s.host.faults.cutReplyTo, 3);
    EXPECT_EQ(s.host.faults.unplugAfterFrames, 9);
}

TEST(SimOptions, BadCommandLinesAreRefusedWithTheReason) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--bogus"}, "unknown option --bogus"},  {{"--latency"}, "--latency needs a value"},
        {{"--latency", "-1"}, "--latency"},       {{"--latency", "fast"}, "--latency"},
        {{"--eeprom"}, "--eeprom needs a value"}, {{"--cut=x"}, "--cut"},
    };
    for (const auto& [args, reason] : cases) {
        SimSettings s;
        std::string message;
        EXPECT_EQ(ParseSimOptions(args, s, message), 2) << args[0];
        EXPECT_NE(message.find(reason), std::string::npos) << message;
    }
}

} // namespace
} // namespace ovx::sim
