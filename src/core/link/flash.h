// Flash programming of the linearisation table into pages 4 to 7.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

#include "link/frame.h"

namespace ovx::link {

constexpr int MAXBLOCK = kFlashBlocksPerPage; // 16
constexpr int PAGE0 = FlashPageAddress(0), PAGE1 = FlashPageAddress(1), PAGE2 = FlashPageAddress(2),
              PAGE3 = FlashPageAddress(3), PAGE4 = FlashPageAddress(4), PAGE5 = FlashPageAddress(5),
              PAGE6 = FlashPageAddress(6), PAGE7 = FlashPageAddress(7);
constexpr int kFlashPages = 4;                            // pages 4 to 7
constexpr int kFlashBlocksTotal = kFlashPages * MAXBLOCK; // 64

// Set (from any thread or a signal handler) to end programming after the block being written:
// the page then counts as not written and the pages after it are not started.
extern std::atomic<bool> flash_stop;

// The progress of a programming run: the position reached in the 64 blocks (0 at the start,
// page x 16 + block + 1 after each accepted block, 64 at the end), their total, and a text
// ("Flash page 5: block 3 of 16", at the end "Flash: 61 of 64 blocks written").
using FlashProgress = std::function<void(int blocksDone, int blocksTotal, const char* text)>;
// The words staged of the page being written: 1 to 256 word by word, 0 when programming ends.
using FlashCounter = std::function<void(int wordsStaged)>;
// Where every programming run shows itself (the window: its progress bar and the NORM value
// indicator). Empty members show nothing.
struct FlashDisplay {
    FlashProgress progress;
    FlashCounter counter;
};
void SetFlashDisplay(FlashDisplay display);

// What became of each page, 4 to 7.
constexpr int kPageWritten = 1;
constexpr int kPageFailed = 0;
constexpr int kPageNotStarted = -1; // programming was stopped before it
struct FlashRun {
    std::array<int, kFlashPages> pages{kPageNotStarted, kPageNotStarted, kPageNotStarted,
                                       kPageNotStarted};
    // The result of the exchange that ended the first failed page (-1: no complete answer,
    // -2 or -3: an answer that is not an acceptance); 0 when none ended one.
    int firstFailure = 0;
    bool stopped = false; // flash_stop ended the run
};

// Programs pages 4 to 7 from flashp4 to flashp7, showing each page's text in the status line.
// progress, when given, is told what the display's progress is told.
FlashRun SendCorrDataToFlash(const FlashProgress& progress = {});
int WritePageDataToFlash(int pageAddress, const std::int32_t* pageImage);
int SendInfoBlockToFlash(int address, int word0);
int WriteBlockDataToFlash(const std::uint16_t* words);

} // namespace ovx::link
