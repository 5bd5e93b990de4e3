// Flash programming against the virtual controller: pages, blocks, answers and their texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "link/com232.h"
#include "link/flash.h"
#include "params/lintable.h"
#include "platform/timing.h"
#include "support/line_fixture.h"
#include "support/row_name.h"

namespace ovx::link {
namespace {

std::int32_t* const kImages[] = {params::flashp4, params::flashp5, params::flashp6,
                                 params::flashp7};
constexpr int kPageAddress[] = {PAGE4, PAGE5, PAGE6, PAGE7};

class FlashProgramming : public testing::LineFixture {
  protected:
    void SetUp() override {
        LineFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        InitRS232(com); // as at start-up
        healText_ = nullptr;
        Status().Start([this](const std::string& text) {
            if (healText_ != nullptr && text == healText_) {
                Sim().SetFaults({});
            }
        });
        // Every page different; words above 16 bits and negative ones send their low 16 bits.
        for (int p = 0; p < 4; ++p) {
            for (int i = 0; i < params::kPageSize; ++i) {
                kImages[p][i] = (p + 4) * 1000 + i;
            }
        }
        params::flashp5[7] = 70000; // 4464
        params::flashp6[9] = -1;    // 0xFFFF
    }

    void SetFaults(const sim::Faults& f) { Sim().SetFaults(f); }

    std::uint16_t FlashWord(int address) {
        std::lock_guard lock(Sim().ModelMutex());
        return Sim().Model().FlashWord(address);
    }
    // true when flash page p (0 = page 4) holds its image, blocks [from, to).
    bool PageHoldsImage(int p, int fromBlock = 0, int toBlock = MAXBLOCK) {
        for (int i = fromBlock * 16; i < toBlock * 16; ++i) {
            if (FlashWord(kPageAddress[p] + i) != static_cast<std::uint16_t>(kImages[p][i])) {
                ADD_FAILURE() << "page " << p + 4 << " word " << i;
                return false;
            }
        }
        return true;
    }
    std::vector<std::string> PageTexts() {
        std::vector<std::string> texts;
        for (const std::string& text : Status().Texts()) {
            if (text.find("page") != std::string::npos) {
                texts.push_back(text);
            }
        }
        return texts;
    }

    const char* healText_ = nullptr; // when shown, the controller's faults are cleared
};

TEST_F(FlashProgramming, FailedFirstBlockIsNotFollowedByThePause) {
    sim::Faults f;
    f.flashBlockAnswer = 0; // erase address not valid: each page ends at its first block
    SetFaults(f);
    const double start = platform::Timer();
    SendCorrDataToFlash();
    const double elapsed = platform::Timer() - start;
    // Two exchanges of 0.05 s a page and 0.05 s between pages; 0.15 s more per page would be
    // the pause of an accepted first block.
    EXPECT_GE(elapsed, 4 * 2 * 0.05 + 3 * 0.05);
    EXPECT_LE(elapsed, 4 * 2 * 0.05 + 3 * 0.05 + 0.4);
    EXPECT_EQ(StatusText(), "error : D801 FLASH page7-write <255 words!");
}

// The bar steps through 4 pages x 16 blocks: each page text finds it at the page's end.
TEST_F(FlashProgramming, PageFailingAtItsLastBlockReportsTheErrorText) {
    sim::Faults f;
    f.rejectFlashAtBlock = 15;
    SetFaults(f);
    healText_ = "error : D801 FLASH page4-write <255 words!";
    SendCorrDataToFlash();
    const std::vector<std::string> texts = PageTexts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "error : D801 FLASH page4-write <255 words!")
        << "all 256 words were staged, but block 15 was refused";
    EXPECT_EQ(texts[1], "ok : D801 FLASH page5-write 255 words!");
    EXPECT_TRUE(PageHoldsImage(0, 0, 15));
}

TEST_F(FlashProgramming, InfoBlockAnnouncesTheAddressAndKeepsTheStagedBlock) {
    for (int k = 0; k < 16; ++k) {
        pp[k] = static_cast<std::uint16_t>(100 + k);
    }
    const std::string before = StatusText();
    EXPECT_EQ(SendInfoBlockToFlash(PAGE6 + 16, 0), 1);
    EXPECT_STREQ(szStatus, "ok:  SendInfoBlockToFlash!");
    EXPECT_EQ(StatusText(), before) << "the info block shows nothing";
    EXPECT_EQ(order, 20);
    const unsigned char expected[] = {0x00, 0x55, 0x00, 0x14, 0x00, 0x00, 0x16, 0x10, 0x00, 0x00};
    for (std::size_t i = 0; i < sizeof expected; ++i) {
        EXPECT_EQ(szWriteBuf[i], expected[i]) << "byte " << i; // word 1 = 5648
    }
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(pp[k], 100 + k);
    }

    sim::Faults f;
    f.flashAddressAck = 0x01AA;
    SetFaults(f);
    EXPECT_EQ(SendInfoBlockToFlash(PAGE4, 0), -2);
    EXPECT_STREQ(szStatus, "error : unknown D801 echo at order-20!");
}

TEST_F(FlashProgramming, EveryBlockAnswerHasItsResultAndText) {
    struct Case {
        int announce; // address sent as info block first; 0 = none
        int answer;   // forced answer word; -1 = the controller's own
        int result;
        const char* text;
    };
    const Case cases[] = {
        {0, -1, -2, "error : D801 FLASH erase-adress not valid!"}, // nothing announced: 0
        {PAGE4, -1, 2, "ok : D801 FLASH erase-adress valid!"},     // page start: 1
        {PAGE4 + 16, -1, 1, "ok : D801 FLASH block-write 16-words!"},
        {PAGE4 + 32, 3, -3, "error : D801 unknown-echo at order=21!"},
        {PAGE4 + 48, 0xAA, -3, "error : D801 unknown-echo at order=21!"},
    };
    for (const Case& c : cases) {
        sim::Faults f;
        f.flashBlockAnswer = c.answer;
        SetFaults(f);
        if (c.announce != 0) {
            ASSERT_EQ(SendInfoBlockToFlash(c.announce, 0), 1);
        }
        EXPECT_EQ(WriteBlockDataToFlash(pp), c.result) << c.text;
        EXPECT_EQ(StatusText(), c.text);
    }
}

TEST_F(FlashProgramming, SilentControllerTimesOutBothExchanges) {
    sim::Faults f;
    f.silent = true;
    SetFaults(f);
    EXPECT_EQ(SendInfoBlockToFlash(PAGE4, 0), -1);
    EXPECT_STREQ(szStatus, "Timeout: SendInfoBlockToFlash < 36 Bytes");
    EXPECT_EQ(WriteBlockDataToFlash(pp), -1);
    EXPECT_EQ(StatusText(), "Timeout < 36 Bytes");
}

// An info block whose answer comes with stray bytes before it, or only after its time-out; the
// next info block (the controller as it should be) must be judged by its own answer.
struct AnswerRow {
    const char* name;
    sim::Faults faults; // for the first info block
    int first;          // its result
};

void PrintTo(const AnswerRow& row, std::ostream* os) {
    *os << row.name;
}

class InfoBlockAnswer : public FlashProgramming, public ::testing::WithParamInterface<AnswerRow> {};

TEST_P(InfoBlockAnswer, IsRealignedOnItsHeaderAndNeverTakenByTheNextExchange) {
    SetFaults(GetParam().faults);
    EXPECT_EQ(SendInfoBlockToFlash(PAGE4, 0), GetParam().first) << szStatus;
    SetFaults({});
    EXPECT_EQ(SendInfoBlockToFlash(PAGE4 + 16, 0), 1) << szStatus;
    EXPECT_STREQ(szStatus, "ok:  SendInfoBlockToFlash!");
}

sim::Faults Stray(int n) {
    sim::Faults f;
    f.garbageBytes = n;
    return f;
}
// The refusal arrives after the exchange gave up.
sim::Faults LateRefusal() {
    sim::Faults f;
    f.slowMs = 2100;
    f.flashAddressAck = 0x01AA;
    return f;
}

INSTANTIATE_TEST_SUITE_P(Line, InfoBlockAnswer,
                         ::testing::Values(AnswerRow{"Clean", {}, 1},
                                           AnswerRow{"FiveStrayBytes", Stray(5), 1},
                                           AnswerRow{"ThirtyStrayBytes", Stray(30), 1},
                                           AnswerRow{"LateRefusal", LateRefusal(), -1}),
                         testing::RowName());

TEST_F(FlashProgramming, StrayBytesBeforeEveryAnswerStillWriteEveryPage) {
    SetFaults(Stray(5));
    SendCorrDataToFlash();
    for (int p = 0; p < 4; ++p) {
        EXPECT_TRUE(PageHoldsImage(p)) << "page " << p + 4;
    }
    EXPECT_EQ(StatusText(), "ok : D801 FLASH page7-write 255 words!");
}

} // namespace
} // namespace ovx::link
