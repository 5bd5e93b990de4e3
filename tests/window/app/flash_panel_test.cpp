// Flash programming as the window shows it: the block counter and the progress bar at each status
// text, against the virtual controller.
#include <gtest/gtest.h>

#include <QProgressBar>

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "app/panel_handles.h"
#include "link/com232.h"
#include "link/flash.h"
#include "params/lintable.h"
#include "params/panels.h"
#include "platform/timing.h"
#include "support/row_name.h"
#include "support/status_recorder.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"

namespace ovx::link {
namespace {

struct Shown {
    std::string text;
    int counter;  // PANEL_VALNORM when the text was shown
    int progress; // PANEL_FLASHPROGRESS then, and its text
    std::string progressText;
};

std::string ProgressText() {
    auto* bar =
        static_cast<QProgressBar*>(ui::CtrlWidget(app::panelHandle, params::PANEL_FLASHPROGRESS));
    return bar != nullptr ? bar->format().toStdString() : "";
}

// What the panel shows at the moment a status text is shown.
Shown ShownNow(const std::string& text) {
    int counter = -1;
    ui::GetCtrlVal(app::panelHandle, params::PANEL_VALNORM, &counter);
    int progress = -1;
    ui::GetCtrlVal(app::panelHandle, params::PANEL_FLASHPROGRESS, &progress);
    return {text, counter, progress, ProgressText()};
}

std::int32_t* const kImages[] = {params::flashp4, params::flashp5, params::flashp6,
                                 params::flashp7};
constexpr int kPageAddress[] = {PAGE4, PAGE5, PAGE6, PAGE7};

class FlashOnPanel : public testing::ToolFixture {
  protected:
    void SetUp() override {
        ToolFixture::SetUp();
        StartTool();
        healText_ = nullptr;
        status_.Start([this](const std::string& text) {
            shown_.push_back(ShownNow(text));
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
    void TearDown() override {
        status_.Stop();
        ToolFixture::TearDown();
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
    std::vector<std::string> PageTexts() const {
        std::vector<std::string> texts;
        for (const Shown& s : shown_) {
            if (s.text.find("page") != std::string::npos) {
                texts.push_back(s.text);
            }
        }
        return texts;
    }
    int Counter() const {
        int v = -1;
        ui::GetCtrlVal(app::panelHandle, params::PANEL_VALNORM, &v);
        return v;
    }

    std::vector<Shown> shown_;
    testing::StatusRecorder status_;
    const char* healText_ = nullptr; // when shown, the controller's faults are cleared
};

TEST_F(FlashOnPanel, AllPagesAcceptedLeaveTheImagesInFlashAndCountEveryPage) {
    const double start = platform::Timer();
    SendCorrDataToFlash();
    const double elapsed = platform::Timer() - start;

    for (int p = 0; p < 4; ++p) {
        EXPECT_TRUE(PageHoldsImage(p)) << "page " << p + 4;
    }
    EXPECT_EQ(FlashWord(PAGE5 + 7), 4464);
    EXPECT_EQ(FlashWord(PAGE6 + 9), 0xFFFF);
    EXPECT_EQ(PageTexts(), (std::vector<std::string>{"ok : D801 FLASH page4-write 255 words!",
                                                     "ok : D801 FLASH page5-write 255 words!",
                                                     "ok : D801 FLASH page6-write 255 words!",
                                                     "ok : D801 FLASH page7-write 255 words!"}));

    // Per page: 16 block texts (the page start answers "erase address valid") with the counter
    // at 16, 32, ... 256, then the page text; the counter starts again on the next page.
    ASSERT_EQ(shown_.size(), 4u * 17u);
    for (int p = 0; p < 4; ++p) {
        for (int b = 0; b < 16; ++b) {
            const Shown& s = shown_[p * 17 + b];
            EXPECT_EQ(s.text, b == 0 ? "ok : D801 FLASH erase-adress valid!"
                                     : "ok : D801 FLASH block-write 16-words!");
            EXPECT_EQ(s.counter, 16 * (b + 1)) << "page " << p + 4 << " block " << b;
        }
        EXPECT_EQ(shown_[p * 17 + 16].counter, 256);
    }
    EXPECT_EQ(Counter(), 0);
    EXPECT_EQ(StatusText(), "ok : D801 FLASH page7-write 255 words!");
    // pp keeps the last block staged; order the last order sent.
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(pp[k], static_cast<std::uint16_t>(params::flashp7[240 + k]));
    }
    EXPECT_EQ(order, 21);
    // 128 exchanges with a 0.05 s pause each, 0.15 s after each page's first block, 0.05 s
    // between pages: the sequence cannot be faster than that.
    EXPECT_GE(elapsed, 128 * 0.05 + 4 * 0.15 + 3 * 0.05);
    // 0.15 s after the first block of a page only: 128 such pauses would take 18 s more.
    EXPECT_LE(elapsed, 128 * 0.05 + 4 * 0.15 + 3 * 0.05 + 1.5);
}

TEST_F(FlashOnPanel, ProgressBarStepsThroughPagesTimesBlocksNamingThePage) {
    SendCorrDataToFlash();
    ASSERT_EQ(shown_.size(), 4u * 17u);
    for (int p = 0; p < 4; ++p) {
        for (int b = 1; b < 16; ++b) { // a block's text comes before the bar counts it
            EXPECT_EQ(shown_[p * 17 + b].progress, p * 16 + b);
            EXPECT_EQ(shown_[p * 17 + b].progressText, "Flash page " + std::to_string(p + 4) +
                                                           ": block " + std::to_string(b) +
                                                           " of 16");
        }
        EXPECT_EQ(shown_[p * 17 + 16].progress, (p + 1) * 16);
    }
    EXPECT_EQ(ProgressText(), "Flash: 64 of 64 blocks written");
}

TEST_F(FlashOnPanel, RejectedBlockEndsItsPageAndTheNextPagesAreStillWritten) {
    sim::Faults f;
    f.rejectFlashAtBlock = 2;
    SetFaults(f);
    healText_ = "error : D801 FLASH page4-write <255 words!";
    SendCorrDataToFlash();

    EXPECT_EQ(PageTexts(), (std::vector<std::string>{"error : D801 FLASH page4-write <255 words!",
                                                     "ok : D801 FLASH page5-write 255 words!",
                                                     "ok : D801 FLASH page6-write 255 words!",
                                                     "ok : D801 FLASH page7-write 255 words!"}));
    EXPECT_TRUE(PageHoldsImage(0, 0, 2));
    EXPECT_EQ(FlashWord(PAGE4 + 32), 0xFFFF) << "block 2 of page 4 was never written";
    for (int p = 1; p < 4; ++p) {
        EXPECT_TRUE(PageHoldsImage(p)) << "page " << p + 4;
    }
    EXPECT_EQ(Counter(), 0);
    EXPECT_EQ(ProgressText(), "Flash: 50 of 64 blocks written"); // page 4 stopped at block 2
}

TEST_F(FlashOnPanel, PageReturnsTheWordsStagedUpToTheFailedBlock) {
    sim::Faults f;
    f.rejectFlashAtBlock = 2;
    SetFaults(f);
    EXPECT_EQ(WritePageDataToFlash(PAGE4, params::flashp4), 48);
    EXPECT_EQ(Counter(), 48);
    f.rejectFlashAtBlock = 0;
    SetFaults(f);
    EXPECT_EQ(WritePageDataToFlash(PAGE5, params::flashp5), 16);
}

} // namespace
} // namespace ovx::link
