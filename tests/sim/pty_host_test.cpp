// The virtual controller over a real pseudo-terminal, driven by plain frames.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <thread>

#include "sim/line_timing.h"
#include "sim/pty_host.h"
#include "sim_host_fixture.h"
#include "support/row_name.h"

namespace ovx::sim::testing {
namespace {

TEST_F(SimHost, ParameterWritesAreUnansweredAndSeenThroughReads) {
    std::initializer_list<int> ram = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    ASSERT_TRUE(client->Write(Request(1, ram)));
    ASSERT_TRUE(client->Write(Request(3, {40000, 41000})));
    // Had orders 1 or 3 been answered, those bytes would come before the reply to order 2.
    const Bytes r = client->Exchange(Request(2), 36);
    ASSERT_EQ(r.size(), 36u);
    EXPECT_EQ(Word(r, 0), 0x0055);
    EXPECT_EQ(Word(r, 1), 2);
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(Payload(r, i), static_cast<int>(i + 1));
    }
    const Bytes e = client->Exchange(Request(4), 36);
    ASSERT_EQ(e.size(), 36u);
    EXPECT_EQ(Word(e, 1), 4);
    EXPECT_EQ(Payload(e, 0), 40000);
    EXPECT_EQ(Payload(e, 1), 41000);
    EXPECT_EQ(Payload(e, 2), 0);
    EXPECT_EQ(host->RequestCount(), 4);
}

TEST_F(SimHost, EchoTeachAndResetAnswerWithFrames) {
    const Bytes echo = client->Exchange(Request(5), 36);
    ASSERT_EQ(echo.size(), 36u);
    EXPECT_EQ(Payload(echo, 0), 0x00AA);

    const Bytes live = client->Exchange(Request(8), 36);
    const Bytes taught = client->Exchange(Request(6), 36);
    ASSERT_EQ(taught.size(), 36u);
    EXPECT_EQ(Word(taught, 1), 6);
    EXPECT_NEAR(Payload(taught, 1), Payload(live, 0), 100) << "reference = value at teach time";
    {
        std::lock_guard lock(host->ModelMutex());
        EXPECT_EQ(host->Model().ram[1], Payload(taught, 1));
    }
    const Bytes reset = client->Exchange(Request(10), 36);
    ASSERT_EQ(reset.size(), 36u);
    EXPECT_EQ(Word(reset, 1), 10);
    EXPECT_EQ(Payload(reset, 1), DeviceModel::kStartValues[1]) << "RAM back from EEPROM";
}

TEST_F(SimHost, FirmwareInfoIs64BareBytes) {
    const Bytes r = client->Exchange(Request(7), 100, milliseconds(300));
    ASSERT_EQ(r.size(), 64u);
    std::string text;
    for (std::size_t i = 0; i < 32 && r[2 * i + 1] != 0; ++i) {
        text += static_cast<char>(r[2 * i + 1]);
    }
    EXPECT_EQ(text, "OVX virtual controller 1.0");
}

TEST_F(SimHost, LiveSamplesArePlausible) {
    for (int i = 0; i < 20; ++i) {
        const Bytes r = client->Exchange(Request(8), 36);
        ASSERT_EQ(r.size(), 36u);
        EXPECT_EQ(Word(r, 1), 8);
        const int norm = Payload(r, 0), a = Payload(r, 1), b = Payload(r, 2), amax = Payload(r, 3);
        EXPECT_LE(a, 1000);
        EXPECT_LE(b, 1000);
        EXPECT_GE(amax, a);
        EXPECT_NEAR(norm, 1000.0 * a / amax, 0.5);
        EXPECT_EQ(Payload(r, 5), 750);
        EXPECT_EQ(Payload(r, 6), 450);
        EXPECT_EQ(Payload(r, 7), 150);
    }
}

TEST_F(SimHost, DataBlocksAre128BareBytesNormOrRaw) {
    const Bytes norm = client->Exchange(Request(9, {64, 1}), 200, milliseconds(300));
    const Bytes raw = client->Exchange(Request(9, {64, 0}), 200, milliseconds(300));
    const Bytes b = client->Exchange(Request(9, {192, 0}), 200, milliseconds(300));
    ASSERT_EQ(norm.size(), 128u);
    ASSERT_EQ(raw.size(), 128u);
    ASSERT_EQ(b.size(), 128u);
    EXPECT_NE(norm, raw);
    EXPECT_NE(raw, b);
    EXPECT_GT(Word(norm, 63), 900) << "the NORM curve ends on its plateau";
}

TEST_F(SimHost, FlashProgrammingOfAPageReadsBackWhatWasSent) {
    EXPECT_EQ(Payload(client->Exchange(Request(21, {1}), 36), 0), 0) << "21 without 20";
    EXPECT_EQ(Payload(client->Exchange(Request(20, {0, 5125}), 36), 0), 0) << "misaligned";
    EXPECT_EQ(Payload(client->Exchange(Request(20, {0, 4864}), 36), 0), 0) << "page 3";
    for (int block = 0; block < 16; ++block) {
        const int address = 5888 + 16 * block;
        ASSERT_EQ(Payload(client->Exchange(Request(20, {0, address}), 36), 0), 0x00AA);
        const int k = 1000 + 16 * block;
        const Bytes r =
            client->Exchange(Request(21, {k, k + 1, k + 2, k + 3, k + 4, k + 5, k + 6, k + 7, k + 8,
                                          k + 9, k + 10, k + 11, k + 12, k + 13, k + 14, k + 15}),
                             36);
        ASSERT_EQ(r.size(), 36u);
        EXPECT_EQ(Word(r, 1), 21);
        EXPECT_EQ(Payload(r, 0), block == 0 ? 1 : 2) << "block " << block;
    }
    std::lock_guard lock(host->ModelMutex());
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(host->Model().FlashWord(5888 + i), 1000 + i);
    }
}

TEST_F(SimHost, UnknownOrderIsNotAnswered) {
    ASSERT_TRUE(client->Write(Request(42)));
    const Bytes r = client->Exchange(Request(5), 36);
    ASSERT_EQ(r.size(), 36u);
    EXPECT_EQ(Word(r, 1), 5) << "the first reply is the echo's";
    EXPECT_EQ(host->RequestCount(), 2);
}

TEST_F(SimHost, HalfFrameFollowedByAPauseIsDiscarded) {
    const Bytes full = Request(2);
    const Bytes half(full.begin(), full.begin() + 18);
    ASSERT_TRUE(client->Write(half));
    // The pause itself is under test: nothing to await, the gap must pass.
    std::this_thread::sleep_for(milliseconds(60));
    const Bytes r = client->Exchange(Request(5), 36);
    ASSERT_EQ(r.size(), 36u);
    EXPECT_EQ(Word(r, 1), 5);
    EXPECT_EQ(Payload(r, 0), 0x00AA);
    EXPECT_EQ(host->RequestCount(), 1);
}

TEST_F(SimHost, ClientCanCloseAndReopenTheLine) {
    ASSERT_EQ(client->Exchange(Request(5), 36).size(), 36u);
    client->Close();
    client = std::make_unique<PtyClient>(host->DevicePath());
    ASSERT_TRUE(client->IsOpen());
    const Bytes r = client->Exchange(Request(5), 36);
    ASSERT_EQ(r.size(), 36u);
    EXPECT_EQ(Payload(r, 0), 0x00AA);
}

TEST(SimHostStart, ClientThatSetsNoTermiosGetsNoEchoOfItsRequest) {
    PtyHost host(FastOptions()); // no client has configured this line yet
    std::string error;
    ASSERT_TRUE(host.Start(error)) << error;
    const int fd = ::open(host.DevicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    const Bytes request = Request(5, {0x0D0A, 0x0D0A});
    ASSERT_EQ(::write(fd, request.data(), request.size()), 36);
    Bytes r(36);
    std::size_t got = 0;
    while (got < r.size()) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 2000), 0);
        const ssize_t n = ::read(fd, r.data() + got, r.size() - got);
        ASSERT_GT(n, 0);
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    EXPECT_EQ(Payload(r, 0), 0x00AA) << "the first bytes are the reply, not the request echoed";
    EXPECT_EQ(Payload(r, 1), 0x0D0A) << "CR/LF bytes pass untranslated both ways";
}

TEST_F(SimHost, LoggedOrdersShowTheirBytes) {
    HostOptions o = FastOptions();
    o.logOrders = true;
    StartWith(o);
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(client->Exchange(Request(8, {0x1234}), 36).size(), 36u);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("sim: order 8 [00 55 00 08 12 34 00 00"), std::string::npos) << log;
}

TEST(SimHostStart, EepromFileCarriesWritesIntoTheNextRun) {
    const auto file = std::filesystem::temp_directory_path() /
                      ("ovx_sim_eeprom_" + std::to_string(::getpid()) + ".txt");
    std::filesystem::remove(file);
    HostOptions o = FastOptions();
    o.eepromFile = file.string();
    {
        PtyHost first(o);
        std::string error;
        ASSERT_TRUE(first.Start(error)) << error;
        PtyClient c(first.DevicePath());
        ASSERT_TRUE(c.Write(Request(3, {11, 22, 33})));
        ASSERT_EQ(c.Exchange(Request(5), 36).size(), 36u); // order 3 has been handled
    }
    PtyHost second(o);
    std::string error;
    ASSERT_TRUE(second.Start(error)) << error;
    PtyClient c(second.DevicePath());
    const Bytes eeprom = c.Exchange(Request(4), 36);
    const Bytes ram = c.Exchange(Request(2), 36);
    ASSERT_EQ(eeprom.size(), 36u);
    ASSERT_EQ(ram.size(), 36u);
    EXPECT_EQ(Payload(eeprom, 2), 33);
    EXPECT_EQ(Payload(ram, 1), 22) << "RAM starts as a copy of the EEPROM";
    std::filesystem::remove(file);
}

TEST(SimHostStart, MalformedEepromFileIsReportedNotUsed) {
    const auto file = std::filesystem::temp_directory_path() /
                      ("ovx_sim_bad_" + std::to_string(::getpid()) + ".txt");
    std::ofstream(file) << "not an eeprom\n";
    HostOptions o = FastOptions();
    o.eepromFile = file.string();
    PtyHost host(o);
    std::string error;
    EXPECT_FALSE(host.Start(error));
    EXPECT_NE(error.find(file.string()), std::string::npos) << error;
    std::filesystem::remove(file);
}

TEST(SimHostStart, SymlinkPointsAtTheDeviceAndGoesWithTheHost) {
    const auto link =
        std::filesystem::temp_directory_path() / ("ovx_sim_link_" + std::to_string(::getpid()));
    HostOptions o = FastOptions();
    o.symlink = link.string();
    {
        PtyHost host(o);
        std::string error;
        ASSERT_TRUE(host.Start(error)) << error;
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), host.DevicePath());
        PtyClient c(link.string());
        EXPECT_EQ(c.Exchange(Request(5), 36).size(), 36u);
    }
    EXPECT_FALSE(std::filesystem::is_symlink(std::filesystem::symlink_status(link)));
}

TEST(SimHostStart, RefusesToReplaceARegularFileWithTheSymlink) {
    const auto path =
        std::filesystem::temp_directory_path() / ("ovx_sim_plain_" + std::to_string(::getpid()));
    std::ofstream(path) << "keep me\n";
    HostOptions o = FastOptions();
    o.symlink = path.string();
    PtyHost host(o);
    std::string error;
    EXPECT_FALSE(host.Start(error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
    std::filesystem::remove(path);
}

TEST(SimHostLine, LiveExchangeTakesAtLeastTheLineTimeOfRequestAndReply) {
    HostOptions o; // line emulation and latency as shipped
    PtyHost host(o);
    std::string error;
    ASSERT_TRUE(host.Start(error)) << error;
    PtyClient c(host.DevicePath());
    for (int i = 0; i < 3; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const Bytes r = c.Exchange(Request(8), 36);
        const auto took = std::chrono::steady_clock::now() - t0;
        ASSERT_EQ(r.size(), 36u);
        EXPECT_GE(took, std::chrono::microseconds(36000)) << "72 byte times are 37.5 ms";
    }
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(c.Exchange(Request(9, {0, 1}), 128).size(), 128u);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(80))
        << "36 + 128 byte times are 85.4 ms";
}

// On the emulated line a reply comes in a few chunks, none before the line would have brought its
// last byte: the controller's thread wakes a few times per reply, not once per byte.
struct PaceRow {
    const char* name;
    int order;
    int word0; // the request's first two words
    int word1;
    std::size_t replyBytes;
};

class SimHostPace : public ::testing::TestWithParam<PaceRow> {};

TEST_P(SimHostPace, ReplyComesInChunksNoneBeforeItsLineTime) {
    const PaceRow& row = GetParam();
    HostOptions o; // line emulation and latency as shipped
    PtyHost host(o);
    std::string error;
    ASSERT_TRUE(host.Start(error)) << error;
    PtyClient c(host.DevicePath());
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(c.Write(Request(row.order, {row.word0, row.word1})));
    const auto arrivals = c.Arrivals(row.replyBytes, sent);
    ASSERT_FALSE(arrivals.empty());
    EXPECT_EQ(arrivals.back().count, row.replyBytes);
    EXPECT_LE(arrivals.size(), (row.replyBytes + 7) / 8) << "8 bytes (4.2 ms) or more a chunk";
    for (const auto& a : arrivals) {
        // Request and the reply's bytes so far on the line, after the controller's think time.
        const double due =
            o.replyLatencyMs / 1000.0 +
            std::chrono::duration<double>(LineTime(static_cast<long long>(36 + a.count))).count();
        EXPECT_GE(a.seconds, due) << a.count << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(Line, SimHostPace,
                         ::testing::Values(PaceRow{"LiveFrame", 8, 0, 0, 36},
                                           PaceRow{"FirmwareInfo", 7, 0, 0, 64},
                                           PaceRow{"DataBlock", 9, 0, 1, 128}),
                         ovx::testing::RowName());

TEST(SimHostLine, StopEndsAPendingSlowReplyAtOnce) {
    HostOptions o = FastOptions();
    o.faults.slowMs = 60000;
    auto host = std::make_unique<PtyHost>(o);
    std::string error;
    ASSERT_TRUE(host->Start(error)) << error;
    PtyClient c(host->DevicePath());
    ASSERT_TRUE(c.Write(Request(5)));
    ASSERT_TRUE(Eventually([&] { return host->RequestCount() == 1; }));
    const auto t0 = std::chrono::steady_clock::now();
    host.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
}

} // namespace
} // namespace ovx::sim::testing
