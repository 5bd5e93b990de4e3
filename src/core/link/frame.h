// Frame layout of the controller link: the one thing the tool and the virtual controller share.
// A request (and a 36-byte reply) is: sync word, order code, 16 payload words, all big-endian.
// Orders 7 and 9 answer with 64 and 128 bare bytes (32 and 64 big-endian words, no header).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ovx::link {

constexpr int kPayloadWords = 16;                  // PNUM
constexpr int kFrameBytes = kPayloadWords * 2 + 4; // 36
constexpr int kInfoBytes = 64;                     // order 7 reply
constexpr int kBlockBytes = 128;                   // order 9 reply
constexpr int kBlockWords = kBlockBytes / 2;       // 64 words of the data curve per block
constexpr int kCurvePoints = 128;                  // points of the controller's data curve
constexpr std::uint16_t kSyncWord = 0x0055;
constexpr std::uint16_t kAck = 0x00AA;

enum Order : int {
    kOrderWriteRam = 1,
    kOrderReadRam = 2,
    kOrderWriteEeprom = 3,
    kOrderReadEeprom = 4,
    kOrderEcho = 5,
    kOrderTeach = 6,
    kOrderFirmwareInfo = 7,
    kOrderLiveSample = 8,
    kOrderDataBlock = 9,
    kOrderReset = 10,
    kOrderFlashAddress = 20,
    kOrderFlashBlock = 21,
};

// Answers of order 21 in word 0.
enum FlashAnswer : std::uint16_t {
    kFlashEraseAddressInvalid = 0,
    kFlashEraseAddressValid = 1,
    kFlashBlockWritten = 2,
};

// Words 0 to 8 of an order-8 reply (a live sample).
enum LiveWord : int {
    kValNorm = 0,
    kAdcChA = 1,
    kAdcChB = 2,
    kAmax = 3,
    kBmax = 4,
    kUpVal = 5,
    kLoVal = 6,
    kTolVal = 7,
    kBtnVal = 8,
    kLiveWords = 9,
};

// Flash pages of 256 words from address 4096 on; the table goes into pages 4 to 7, written in
// blocks of 16 words.
constexpr int kFlashPage0 = 4096;
constexpr int kFlashPageWords = 256;
constexpr int kFlashBlockWords = 16;
constexpr int kFlashBlocksPerPage = kFlashPageWords / kFlashBlockWords;
constexpr int FlashPageAddress(int page) {
    return kFlashPage0 + kFlashPageWords * page;
}

using Payload = std::array<std::uint16_t, kPayloadWords>;
using FrameBytes = std::array<std::uint8_t, kFrameBytes>;

// Big-endian word i of a byte run that starts at byte 0.
constexpr std::uint16_t WordAt(std::span<const std::uint8_t> bytes, std::size_t i) {
    return static_cast<std::uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
}
constexpr void PutWord(std::span<std::uint8_t> bytes, std::size_t i, std::uint16_t w) {
    bytes[2 * i] = static_cast<std::uint8_t>(w >> 8);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(w & 0xFF);
}

// Builds a frame: bits above 15 of sync and order are not transmitted.
constexpr FrameBytes EncodeFrame(int sync, int order, std::span<const std::uint16_t> words) {
    FrameBytes f{};
    PutWord(f, 0, static_cast<std::uint16_t>(sync));
    PutWord(f, 1, static_cast<std::uint16_t>(order));
    for (std::size_t i = 0; i < kPayloadWords && i < words.size(); ++i) {
        PutWord(f, i + 2, words[i]);
    }
    return f;
}

constexpr std::uint16_t FrameOrder(std::span<const std::uint8_t> frame) {
    return WordAt(frame, 1);
}
constexpr std::uint16_t FrameWord(std::span<const std::uint8_t> frame, std::size_t i) {
    return WordAt(frame, i + 2);
}

} // namespace ovx::link
