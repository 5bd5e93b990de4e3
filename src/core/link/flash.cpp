#include "link/flash.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

#include "link/com232.h"
#include "link/frame.h"
#include "params/lintable.h"
#include "platform/serial.h"
#include "platform/timing.h"

namespace ovx::link {

std::atomic<bool> flash_stop{false};

namespace {

constexpr double kExchangePause = 0.05;   // between a request and the read of its answer
constexpr double kFirstBlockPause = 0.15; // after the first block of a page
constexpr double kPagePause = 0.05;       // between two pages

struct Answer {
    const char* text;
    int result;
};

constexpr Answer kInfoTimeout{"Timeout: SendInfoBlockToFlash < 36 Bytes", -1};
constexpr Answer kInfoAccepted{"ok:  SendInfoBlockToFlash!", 1};
constexpr Answer kInfoUnknown{"error : unknown D801 echo at order-20!", -2};

constexpr Answer kBlockTimeout{"Timeout < 36 Bytes", -1};
constexpr Answer kBlockUnknown{"error : D801 unknown-echo at order=21!", -3};
// Order 21 answers with a code in word 0; the table is indexed by that code.
constexpr std::array<Answer, 3> kBlockAnswers{{
    {"error : D801 FLASH erase-adress not valid!", -2}, // kFlashEraseAddressInvalid
    {"ok : D801 FLASH erase-adress valid!", 2},         // kFlashEraseAddressValid
    {"ok : D801 FLASH block-write 16-words!", 1},       // kFlashBlockWritten
}};

constexpr int kFirstFlashPage = 4; // the table goes to pages 4 to 7

struct Page {
    int address;
    const std::int32_t* image;
    const char* okText;
    const char* errorText;
};

constexpr std::array<Page, kFlashPages> kPages{{
    {PAGE4, params::flashp4, "ok : D801 FLASH page4-write 255 words!",
     "error : D801 FLASH page4-write <255 words!"},
    {PAGE5, params::flashp5, "ok : D801 FLASH page5-write 255 words!",
     "error : D801 FLASH page5-write <255 words!"},
    {PAGE6, params::flashp6, "ok : D801 FLASH page6-write 255 words!",
     "error : D801 FLASH page6-write <255 words!"},
    {PAGE7, params::flashp7, "ok : D801 FLASH page7-write 255 words!",
     "error : D801 FLASH page7-write <255 words!"},
}};

// Sends the request, pauses, reads the 36-byte answer directly. The queues are not flushed and
// no events run. true when a whole answer arrived; bytes before it are dropped and the late
// answer of an earlier exchange is never taken for it.
bool Exchange(int orderCode, const std::uint16_t* words) {
    AwaitOwedReply(orderCode);
    SendRequest(orderCode, words);
    platform::Delay(kExchangePause);
    return ReadFrameReply(orderCode) == kFrameBytes;
}

std::uint16_t AnswerWord() {
    return WordAt(std::span<const std::uint8_t>(szReadBuf), 2);
}

int Report(const Answer& answer) {
    SetStatus(answer.text);
    return answer.result;
}

FlashDisplay& Display() {
    static FlashDisplay display;
    return display;
}

const FlashProgress* runProgress = nullptr; // the caller's, while SendCorrDataToFlash runs

void ShowCounter(int count) {
    if (Display().counter) {
        Display().counter(count);
    }
}

void ShowFlashProgress(int blocksDone, const char* text) {
    if (Display().progress) {
        Display().progress(blocksDone, kFlashBlocksTotal, text);
    }
    if (runProgress != nullptr && *runProgress) {
        (*runProgress)(blocksDone, kFlashBlocksTotal, text);
    }
}

// Stages words count .. count+15 of the page image in pp, counting each one.
void StageBlock(const std::int32_t* pageImage, int& count) {
    for (int k = 0; k < kFlashBlockWords; ++k) {
        pp[k] = static_cast<std::uint16_t>(pageImage[count] & 0xFFFF);
        ++count;
        ShowCounter(count);
    }
}

// The progress: blocks accepted of pages x blocks, and the page.
int progressPage = -1; // index into kPages while SendCorrDataToFlash runs, else -1
int blocksAccepted = 0;

void ShowBlockProgress(int block) {
    if (progressPage < 0) {
        return;
    }
    ++blocksAccepted;
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "Flash page %d: block %d of %d",
                  kFirstFlashPage + progressPage, block + 1, MAXBLOCK);
    ShowFlashProgress(progressPage * MAXBLOCK + block + 1, text.data());
}

// How one page ended: the words staged, the result that ended it early (0: none), and whether
// every block of it was accepted.
struct PageEnd {
    int count = 0;
    int failure = 0;
    bool complete = false;
};

PageEnd WritePage(int pageAddress, const std::int32_t* pageImage) {
    PageEnd end;
    for (int block = 0, offset = 0; block < MAXBLOCK; ++block, offset += kFlashBlockWords) {
        if (flash_stop) {
            return end;
        }
        StageBlock(pageImage, end.count);
        if (const int info = SendInfoBlockToFlash(pageAddress + offset, 0); info < 0) {
            end.failure = info;
            return end;
        }
        if (const int written = WriteBlockDataToFlash(pp); written < 0) {
            end.failure = written;
            return end;
        }
        ShowBlockProgress(block);
        if (offset == 0) {
            platform::Delay(kFirstBlockPause);
        }
    }
    end.complete = true;
    return end;
}

} // namespace

int SendInfoBlockToFlash(int address, int word0) {
    Payload words{}; // pp keeps the staged block
    words[0] = static_cast<std::uint16_t>(word0);
    words[1] = static_cast<std::uint16_t>(address);
    if (!Exchange(kOrderFlashAddress, words.data())) {
        return Report(kInfoTimeout);
    }
    return Report(AnswerWord() == kAck ? kInfoAccepted : kInfoUnknown);
}

int WriteBlockDataToFlash(const std::uint16_t* words) {
    int result = 0;
    if (!Exchange(kOrderFlashBlock, words)) {
        result = Report(kBlockTimeout);
    } else {
        const std::uint16_t code = AnswerWord();
        result = Report(code < kBlockAnswers.size() ? kBlockAnswers[code] : kBlockUnknown);
    }
    ShowStatus();
    return result;
}

int WritePageDataToFlash(int pageAddress, const std::int32_t* pageImage) {
    return WritePage(pageAddress, pageImage).count;
}

void SetFlashDisplay(FlashDisplay display) {
    Display() = std::move(display);
}

FlashRun SendCorrDataToFlash(const FlashProgress& progress) {
    FlashRun run;
    runProgress = &progress;
    blocksAccepted = 0;
    ShowFlashProgress(0, "Flash programming ...");
    for (std::size_t i = 0; i < kPages.size(); ++i) {
        progressPage = static_cast<int>(i);
        const Page& page = kPages[i];
        const PageEnd end = WritePage(page.address, page.image);
        // The staged count reaches 256 also when the last block fails: judge by acceptance.
        run.pages[i] = end.complete ? kPageWritten : kPageFailed;
        if (run.firstFailure == 0) {
            run.firstFailure = end.failure;
        }
        SetStatus(end.complete ? page.okText : page.errorText);
        ShowStatus();
        if (flash_stop) {
            run.stopped = true;
            break;
        }
        if (i + 1 < kPages.size()) {
            platform::Delay(kPagePause);
        }
    }
    ShowCounter(0);
    progressPage = -1;
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "Flash: %d of %d blocks written", blocksAccepted,
                  kFlashBlocksTotal);
    ShowFlashProgress(kFlashBlocksTotal, text.data());
    runProgress = nullptr;
    return run;
}

} // namespace ovx::link
