// Error texts and the trace lines of the serial traffic.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <regex>
#include <set>
#include <string>

#include "platform/errors.h"
#include "platform/pty_device.h"
#include "platform/serial.h"
#include "platform/trace.h"

namespace ovx::platform {
namespace {

TEST(ErrorTexts, SerialCodesReadAsTheOperatorSeesThem) {
    EXPECT_STREQ(ErrorText(kComUnknownSystemError), "Unknown system error");
    EXPECT_STREQ(ErrorText(kComInvalidPortNumber), "Invalid port number");
    EXPECT_STREQ(ErrorText(kComPortNotOpen), "Port is not open");
    EXPECT_STREQ(ErrorText(kComUnknownIoError), "Unknown I/0 error");
    EXPECT_STREQ(ErrorText(kComNoPortFound), "No serial port found");
    EXPECT_STREQ(ErrorText(kComCannotOpenPort), "Cannot open port");
    EXPECT_STREQ(ErrorText(kComInvalidParameter), "Invalid parameter");
    EXPECT_STREQ(ErrorText(kComTimeout), "Timeout");
}

TEST(ErrorTexts, EveryOtherCodeHasItsOwnTextAndNonCodesHaveNone) {
    const int codes[] = {kUiPanelFileMissing, kUiPanelFileDamaged, kUiNoSuchResource,
                         kUiInvalidPanel,     kUiInvalidControl,   kUiWrongControlKind,
                         kUiInvalidAttribute, kUiInvalidArgument,  kUiNotInitialised,
                         kFileCannotOpen,     kFileWriteFailed,    kFileTooFewValues,
                         kFileBadValue,       kFileInvalidArgument};
    std::set<std::string> texts;
    for (int code : codes) {
        EXPECT_STRNE(ErrorText(code), "") << code;
        texts.insert(ErrorText(code));
    }
    EXPECT_EQ(texts.size(), std::size(codes));
    for (int code : {0, 1, -5, -8, -12, -14, -100, -1000}) {
        EXPECT_STREQ(ErrorText(code), "") << code;
    }
}

// Captures what is written to stderr while it lives.
class StderrCapture {
  public:
    StderrCapture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = dup(fileno(stderr));
        dup2(fileno(file_), fileno(stderr));
    }
    ~StderrCapture() {
        Restore();
        std::fclose(file_);
    }
    std::string Text() {
        Restore();
        std::string text;
        std::rewind(file_);
        char buf[512];
        std::size_t n = 0;
        while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) {
            text.append(buf, n);
        }
        return text;
    }

  private:
    void Restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            dup2(saved_, fileno(stderr));
            close(saved_);
            saved_ = -1;
        }
    }
    std::FILE* file_;
    int saved_ = -1;
};

class Trace : public ::testing::Test {
  protected:
    void TearDown() override { EnableTrace(false); }
};

TEST_F(Trace, LinesCarryTimeKindAndLowerCaseHex) {
    StderrCapture capture;
    EnableTrace(true);
    EXPECT_TRUE(TraceEnabled());
    const char bytes[] = {0x00, 0x55, 0x00, 0x05, static_cast<char>(0xAB)};
    TraceBytes("tx", bytes, 5);
    TraceText("status", "Transmit Ok!");
    const std::string text = capture.Text();
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d+\.\d{3} tx: 00550005ab\n)"
                                                  R"(\d+\.\d{3} status: Transmit Ok!\n)")))
        << text;
}

TEST_F(Trace, NothingIsWrittenWhenTraceIsOff) {
    StderrCapture capture;
    EnableTrace(false);
    EXPECT_FALSE(TraceEnabled());
    TraceBytes("tx", "ab", 2);
    TraceText("status", "x");
    EXPECT_EQ(capture.Text(), "");
}

TEST_F(Trace, SerialTrafficIsTracedAsWrittenAndAsRead) {
    testing::PtyDevice device;
    ASSERT_TRUE(device.Ok());
    constexpr int kPort = 221;
    ASSERT_EQ(testing::OpenAs(kPort, device), 0);
    ASSERT_EQ(SetComTime(kPort, 0.1), 0);
    ASSERT_TRUE(device.Send({0x01, 0x7f}));
    StderrCapture capture;
    EnableTrace(true);
    EXPECT_EQ(ComWrt(kPort, "\x00\x55", 2), 2);
    char buf[4];
    EXPECT_EQ(ComRd(kPort, buf, 4), 2); // only the bytes actually read
    const std::string text = capture.Text();
    CloseCom(kPort);
    RegisterPort(kPort, "");
    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d+\.\d{3} tx: 0055\n\d+\.\d{3} rx: 017f\n)")))
        << text;
}

} // namespace
} // namespace ovx::platform
