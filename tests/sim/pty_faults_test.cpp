// Faults the virtual controller shows on the line, set at start or while it runs.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim_host_fixture.h"

namespace ovx::sim::testing {
namespace {

constexpr auto kQuiet = milliseconds(250); // long enough for any fast reply to have come

class SimFaults : public SimHost {
  protected:
    void With(Faults f) {
        HostOptions o = FastOptions();
        o.faults = f;
        StartWith(o);
    }
};

TEST_F(SimFaults, SilentControllerAnswersNothingButCountsRequests) {
    With({.silent = true});
    EXPECT_TRUE(client->Exchange(Request(5), 36, kQuiet).empty());
    EXPECT_TRUE(client->Exchange(Request(2), 36, kQuiet).empty());
    EXPECT_EQ(host->RequestCount(), 2);
}

TEST_F(SimFaults, WrongEchoAcknowledgementReplacesWord0OfTheEchoOnly) {
    With({.echoAck = 0x01AA});
    const Bytes echo = client->Exchange(Request(5), 36);
    ASSERT_EQ(echo.size(), 36u);
    EXPECT_EQ(echo[4], 0x01);
    EXPECT_EQ(echo[5], 0xAA);
    EXPECT_EQ(Payload(client->Exchange(Request(20, {0, 5120}), 36), 0), 0x00AA);
}

TEST_F(SimFaults, MissingEchoLeavesOtherOrdersAnswered) {
    With({.noEcho = true});
    ASSERT_TRUE(client->Write(Request(5)));
    const Bytes r = client->Exchange(Request(2), 36);
    ASSERT_EQ(r.size(), 36u);
    EXPECT_EQ(Word(r, 1), 2) << "the first bytes on the line are the parameter frame";
}

TEST_F(SimFaults, CutRepliesStopAfterNBytes) {
    With({.cutReplyTo = 10});
    const Bytes r = client->Exchange(Request(7), 64, kQuiet);
    ASSERT_EQ(r.size(), 10u);
    EXPECT_EQ(r[1], 'O');
    EXPECT_EQ(client->Exchange(Request(2), 36, kQuiet).size(), 10u);
}

TEST_F(SimFaults, GarbageComesBeforeAnIntactReply) {
    With({.garbageBytes = 5});
    const Bytes r = client->Exchange(Request(5), 41);
    ASSERT_EQ(r.size(), 41u);
    const Bytes frame(r.begin() + 5, r.end());
    EXPECT_EQ(Word(frame, 0), 0x0055);
    EXPECT_EQ(Payload(frame, 0), 0x00AA);
}

TEST_F(SimFaults, SlowRepliesComeLate) {
    With({.slowMs = 150});
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(client->Exchange(Request(5), 36).size(), 36u);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, milliseconds(150));
}

TEST_F(SimFaults, FlashRejectionAtBlock2EndsThatBlock) {
    With({.rejectFlashAtBlock = 2});
    for (int block = 0; block < 2; ++block) {
        ASSERT_EQ(Payload(client->Exchange(Request(20, {0, 5120 + 16 * block}), 36), 0), 0x00AA);
        ASSERT_EQ(Payload(client->Exchange(Request(21, {block}), 36), 0), block == 0 ? 1 : 2);
    }
    EXPECT_EQ(Payload(client->Exchange(Request(20, {0, 5152}), 36), 0), 0);
    EXPECT_EQ(Payload(client->Exchange(Request(21, {2}), 36), 0), 0);
    EXPECT_EQ(Payload(client->Exchange(Request(20, {0, 5376}), 36), 0), 0x00AA) << "next page";
}

TEST_F(SimFaults, FlashAnswerWordsCanBeForced) {
    With({.flashAddressAck = 0x01AA, .flashBlockAnswer = 7});
    EXPECT_EQ(Payload(client->Exchange(Request(20, {0, 5120}), 36), 0), 0x01AA);
    EXPECT_EQ(Payload(client->Exchange(Request(21, {1}), 36), 0), 7);
    EXPECT_EQ(Payload(client->Exchange(Request(5), 36), 0), 0x00AA) << "other orders unchanged";
}

TEST_F(SimFaults, EveryThirdLiveReplyIsDropped) {
    With({.dropEveryKthLive = 3});
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(client->Write(Request(8)));
    }
    ASSERT_TRUE(client->Write(Request(5)));
    const Bytes r = client->Read(3 * 36);
    ASSERT_EQ(r.size(), 3u * 36);
    EXPECT_EQ(Word(r, 1), 8);
    EXPECT_EQ(Word(r, 18 + 1), 8);
    EXPECT_EQ(Word(r, 36 + 1), 5) << "the third live reply is missing";
}

TEST_F(SimFaults, UnplugAfterTwoFramesHangsUpTheLine) {
    With({.unplugAfterFrames = 2});
    EXPECT_EQ(client->Exchange(Request(5), 36).size(), 36u);
    EXPECT_EQ(client->Exchange(Request(2), 36).size(), 36u);
    EXPECT_TRUE(client->HungUp(milliseconds(2000)));
    // The client may see the hang-up before the host's thread has noted it.
    const auto deadline = std::chrono::steady_clock::now() + milliseconds(2000);
    while (!host->IsUnplugged() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    EXPECT_TRUE(host->IsUnplugged());
    EXPECT_FALSE(std::filesystem::exists(host->DevicePath()));
}

TEST_F(SimFaults, FaultsSetWhileRunningTakeEffectAtTheNextRequest) {
    EXPECT_EQ(Payload(client->Exchange(Request(5), 36), 0), 0x00AA);
    host->SetFaults({.echoAck = 0});
    EXPECT_EQ(Payload(client->Exchange(Request(5), 36), 0), 0);
    host->SetFaults({.unplugAfterFrames = 0});
    EXPECT_TRUE(client->HungUp(milliseconds(2000))) << "no request needed to unplug";
    EXPECT_EQ(host->RequestCount(), 2);
}

} // namespace
} // namespace ovx::sim::testing
