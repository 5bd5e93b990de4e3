// Command line of ovextar.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/options.h"

namespace ovx::app {
namespace {

struct Parsed {
    int rc;
    Options options;
    std::string message;
};

Parsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "ovextar");
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    Parsed p{};
    p.rc = ParseOptions(static_cast<int>(argv.size()), argv.data(), p.options, p.message);
    return p;
}

TEST(Options, NoArgumentsMeanPort1FromThePortTableWithoutTrace) {
    const Parsed p = Parse({});
    EXPECT_EQ(p.rc, 0);
    EXPECT_TRUE(p.options.ports.empty());
    EXPECT_FALSE(p.options.simulator);
    EXPECT_FALSE(p.options.trace);
    EXPECT_FALSE(p.options.help);
}

TEST(Options, PortMappingsAreCollectedInBothSpellings) {
    const Parsed p = Parse({"--port", "1=/dev/ttyUSB0", "--port=12=/dev/pts/9", "--trace"});
    ASSERT_EQ(p.rc, 0) << p.message;
    ASSERT_EQ(p.options.ports.size(), 2u);
    EXPECT_EQ(p.options.ports[0], (std::pair<int, std::string>{1, "/dev/ttyUSB0"}));
    EXPECT_EQ(p.options.ports[1], (std::pair<int, std::string>{12, "/dev/pts/9"}));
    EXPECT_TRUE(p.options.trace);
}

TEST(Options, MalformedPortMappingsAreRejectedWithTheUsage) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--port"},
                                                 {"--port", "x=/dev/a"},
                                                 {"--port", "0=/dev/a"},
                                                 {"--port", "256=/dev/a"},
                                                 {"--port", "1="},
                                                 {"--port", "/dev/a"},
                                                 {"--port=1x=/dev/a"}}) {
        const Parsed p = Parse(args);
        EXPECT_EQ(p.rc, 2) << args.back();
        EXPECT_NE(p.message.find("usage: ovextar"), std::string::npos);
    }
}

TEST(Options, UnknownOptionGives2AndTheUsage) {
    const Parsed p = Parse({"--trace", "--frobnicate"});
    EXPECT_EQ(p.rc, 2);
    EXPECT_NE(p.message.find("--frobnicate"), std::string::npos);
    EXPECT_NE(p.message.find("usage: ovextar"), std::string::npos);
    EXPECT_EQ(Parse({"extra"}).rc, 2);
}

TEST(Options, FaultOptionsAndNoLineAreTakenOnlyAfterSimulator) {
    const Parsed p =
        Parse({"--simulator", "--silent", "--cut=60", "--echo-ack=0xAA00", "--no-line", "--trace"});
    ASSERT_EQ(p.rc, 0) << p.message;
    EXPECT_TRUE(p.options.simulator);
    EXPECT_TRUE(p.options.simFaults.silent);
    EXPECT_EQ(p.options.simFaults.cutReplyTo, 60);
    EXPECT_EQ(p.options.simFaults.echoAck, 0xAA00);
    EXPECT_FALSE(p.options.simLineEmulation);
    EXPECT_TRUE(p.options.trace);

    EXPECT_EQ(Parse({"--silent", "--simulator"}).rc, 2);
    EXPECT_EQ(Parse({"--no-line"}).rc, 2);
    const Parsed plain = Parse({"--simulator"});
    EXPECT_TRUE(plain.options.simLineEmulation);
    EXPECT_FALSE(plain.options.simFaults.silent);
}

TEST(Options, MalformedFaultValueIsRejectedWithItsReason) {
    const Parsed p = Parse({"--simulator", "--cut=many"});
    EXPECT_EQ(p.rc, 2);
    EXPECT_NE(p.message.find("--cut"), std::string::npos);
    EXPECT_EQ(Parse({"--simulator", "--wobble"}).rc, 2);
}

TEST(Options, HelpIsRecognisedAndTheUsageNamesEveryOption) {
    EXPECT_TRUE(Parse({"--help"}).options.help);
    const std::string usage = Usage();
    for (const char* name :
         {"--port", "--simulator", "--no-line", "--trace", "--help", "--silent", "--cut"}) {
        EXPECT_NE(usage.find(name), std::string::npos) << name;
    }
}

} // namespace
} // namespace ovx::app
