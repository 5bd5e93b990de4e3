// Fault options as given on the command line.
#include <gtest/gtest.h>

#include "sim/faults.h"

namespace ovx::sim {
namespace {

TEST(FaultOptions, EachOptionSetsItsFault) {
    Faults f;
    std::string error;
    for (const char* arg :
         {"--silent", "--echo-ack=0x01AA", "--no-echo", "--cut=10", "--garbage=3", "--slow=250",
          "--reject-flash-at=2", "--drop-live=5", "--unplug-after=7"}) {
        EXPECT_TRUE(ParseFaultOption(arg, f, error)) << arg << ": " << error;
        EXPECT_TRUE(error.empty());
    }
    EXPECT_TRUE(f.silent);
    EXPECT_EQ(f.echoAck, 0x01AA);
    EXPECT_TRUE(f.noEcho);
    EXPECT_EQ(f.cutReplyTo, 10);
    EXPECT_EQ(f.garbageBytes, 3);
    EXPECT_EQ(f.slowMs, 250);
    EXPECT_EQ(f.rejectFlashAtBlock, 2);
    EXPECT_EQ(f.dropEveryKthLive, 5);
    EXPECT_EQ(f.unplugAfterFrames, 7);
}

TEST(FaultOptions, UnknownOptionIsLeftToTheCallerWithoutError) {
    Faults f;
    std::string error = "stale";
    EXPECT_FALSE(ParseFaultOption("--trace", f, error));
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(ParseFaultOption("--silently", f, error));
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(f.silent);
}

TEST(FaultOptions, MalformedValuesAreRefusedWithAMessage) {
    for (const char* arg :
         {"--cut", "--cut=", "--cut=abc", "--cut=-1", "--cut=5x", "--echo-ack=70000",
          "--reject-flash-at=16", "--drop-live=0", "--silent=1", "--slow=0x"}) {
        Faults f;
        std::string error;
        EXPECT_FALSE(ParseFaultOption(arg, f, error)) << arg;
        EXPECT_FALSE(error.empty()) << arg;
        EXPECT_EQ(f.cutReplyTo, -1) << arg << " changed nothing";
        EXPECT_EQ(f.echoAck, -1) << arg;
    }
}

TEST(FaultOptions, HelpNamesEveryOption) {
    const std::string help = FaultOptionsHelp();
    for (const char* name : {"--silent", "--echo-ack=", "--no-echo", "--cut=", "--garbage=",
                             "--slow=", "--reject-flash-at=", "--drop-live=", "--unplug-after="}) {
        EXPECT_NE(help.find(name), std::string::npos) << name;
    }
}

} // namespace
} // namespace ovx::sim
