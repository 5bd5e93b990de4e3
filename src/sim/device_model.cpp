#include "sim/device_model.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/data_curve.h"

namespace ovx::sim {

namespace {

using link::FrameBytes;
using link::Payload;

constexpr int kFlashFirst = link::FlashPageAddress(4); // 5120
constexpr int kFlashEnd = link::FlashPageAddress(8);   // 6144, one past page 7
constexpr int kSourceWord = 1;                         // order 9: graph source
constexpr int kAddressWord = 1;                        // order 20: flash address
constexpr std::uint16_t kErased = 0xFFFF;
constexpr std::uint16_t kReject = 0x0000;

Payload RequestWords(const FrameBytes& request) {
    Payload p{};
    for (std::size_t i = 0; i < p.size(); ++i) {
        p[i] = link::FrameWord(request, i);
    }
    return p;
}

bool IsProgrammableBlock(int address) {
    return address >= kFlashFirst && address + link::kFlashBlockWords <= kFlashEnd &&
           address % link::kFlashBlockWords == 0;
}

int BlockIndexInPage(int address) {
    return (address % link::kFlashPageWords) / link::kFlashBlockWords;
}

// Writes text to file through a temporary beside it, then renames it over the file, so a
// reader sees either the old or the new content, never a half-written one.
bool ReplaceFile(const std::string& file, const std::string& text) {
    const std::string temp = file + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temp, file, error);
    if (error) {
        std::filesystem::remove(temp, error);
        return false;
    }
    return true;
}

} // namespace

DeviceModel::DeviceModel() : ram(kStartValues), eeprom(kStartValues) {
    flash.fill(kErased);
}

std::vector<std::uint8_t> DeviceModel::HandleRequest(const FrameBytes& request, double t) {
    const int order = link::FrameOrder(request);
    switch (order) {
    case link::kOrderWriteRam:
        ram = RequestWords(request);
        return {};
    case link::kOrderWriteEeprom:
        eeprom = RequestWords(request);
        return {};
    case link::kOrderReadRam:
        return FrameReply(order, ram);
    case link::kOrderReadEeprom:
        return FrameReply(order, eeprom);
    case link::kOrderEcho: {
        Payload echo = RequestWords(request);
        echo[0] = link::kAck;
        return FrameReply(order, echo);
    }
    case link::kOrderTeach:
        return Teach(t);
    case link::kOrderFirmwareInfo:
        return FirmwareInfo();
    case link::kOrderLiveSample:
        return LiveSampleReply(t);
    case link::kOrderDataBlock:
        return DataBlockReply(request);
    case link::kOrderReset:
        ram = eeprom;
        return FrameReply(order, ram);
    case link::kOrderFlashAddress:
        return FlashAddress(request);
    case link::kOrderFlashBlock:
        return FlashBlock(request);
    default:
        return {}; // unknown orders are ignored, as by the controller
    }
}

DeviceModel::Reply DeviceModel::FrameReply(int order, const Payload& words) const {
    const FrameBytes f = link::EncodeFrame(link::kSyncWord, order, words);
    return Reply(f.begin(), f.end());
}

DeviceModel::Reply DeviceModel::Teach(double t) {
    ram[1] = signal_.Sample(t, ram)[kValNorm]; // the value now becomes the reference
    return FrameReply(link::kOrderTeach, ram);
}

DeviceModel::Reply DeviceModel::FirmwareInfo() const {
    // 32 words whose low bytes spell the text, the rest zero.
    Reply info(link::kInfoBytes, 0);
    const std::size_t n = std::min<std::size_t>(std::strlen(kFirmwareText), info.size() / 2);
    for (std::size_t i = 0; i < n; ++i) {
        info[2 * i + 1] = static_cast<std::uint8_t>(kFirmwareText[i]);
    }
    return info;
}

DeviceModel::Reply DeviceModel::LiveSampleReply(double t) {
    const LiveSample s = signal_.Sample(t, ram);
    Payload words{};
    std::copy(s.begin(), s.end(), words.begin());
    return FrameReply(link::kOrderLiveSample, words);
}

DeviceModel::Reply DeviceModel::DataBlockReply(const FrameBytes& request) const {
    const auto words =
        DataBlock(link::FrameWord(request, 0), link::FrameWord(request, kSourceWord));
    Reply block(link::kBlockBytes, 0);
    for (std::size_t i = 0; i < words.size(); ++i) {
        link::PutWord(block, i, words[i]);
    }
    return block;
}

DeviceModel::Reply DeviceModel::FlashAddress(const FrameBytes& request) {
    const int address = link::FrameWord(request, kAddressWord);
    const bool rejected =
        rejectFlashAtBlock >= 0 && BlockIndexInPage(address) == rejectFlashAtBlock;
    Payload answer{};
    if (IsProgrammableBlock(address) && !rejected) {
        announced_ = address;
        answer[0] = link::kAck;
    } else {
        announced_ = -1;
        answer[0] = kReject;
    }
    return FrameReply(link::kOrderFlashAddress, answer);
}

DeviceModel::Reply DeviceModel::FlashBlock(const FrameBytes& request) {
    Payload answer{};
    if (announced_ < 0) {
        answer[0] = link::kFlashEraseAddressInvalid;
        return FrameReply(link::kOrderFlashBlock, answer);
    }
    const auto at = static_cast<std::size_t>(announced_ - link::kFlashPage0);
    const bool pageStart = announced_ % link::kFlashPageWords == 0;
    announced_ = -1;
    if (pageStart) {
        std::fill_n(flash.begin() + static_cast<std::ptrdiff_t>(at), link::kFlashPageWords,
                    kErased);
    }
    const Payload words = RequestWords(request);
    std::copy(words.begin(), words.end(), flash.begin() + static_cast<std::ptrdiff_t>(at));
    answer[0] = pageStart ? link::kFlashEraseAddressValid : link::kFlashBlockWritten;
    return FrameReply(link::kOrderFlashBlock, answer);
}

std::uint16_t DeviceModel::FlashWord(int address) const {
    if (address < link::kFlashPage0 || address >= kFlashEnd) {
        return 0;
    }
    return flash[static_cast<std::size_t>(address - link::kFlashPage0)];
}

bool DeviceModel::LoadEeprom(const std::string& file) {
    std::ifstream in(file);
    if (!in) {
        return false;
    }
    Payload loaded{};
    for (auto& word : loaded) {
        long v = -1;
        if (!(in >> v) || v < 0 || v > 0xFFFF) {
            return false;
        }
        word = static_cast<std::uint16_t>(v);
    }
    std::string rest;
    if (in >> rest) {
        return false; // more than sixteen values: not an EEPROM image of ours
    }
    eeprom = loaded;
    return true;
}

bool DeviceModel::SaveEeprom(const std::string& file) const {
    std::ostringstream text;
    for (const auto word : eeprom) {
        text << word << '\n';
    }
    return ReplaceFile(file, text.str());
}

bool DeviceModel::DumpFlash(const std::string& file) const {
    std::ostringstream text;
    for (int a = kFlashFirst; a < kFlashEnd; ++a) {
        text << FlashWord(a) << '\n';
    }
    return ReplaceFile(file, text.str());
}

} // namespace ovx::sim
