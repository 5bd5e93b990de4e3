#include "platform/telnet_codec.h"

#include <array>

namespace ovx::platform::detail {
namespace {

using namespace telnet;

constexpr std::size_t kMaxSub = 64; // longer subnegotiations are no COM port replies: dropped

char Byte(std::uint8_t b) {
    return static_cast<char>(b);
}

// What this side offers (WILL) and asks of the server (DO); a server's DO or WILL of these
// only confirms the opening and is not answered again.
bool OfferedByUs(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}
bool AskedOfServer(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

std::string Verb(std::uint8_t verb, std::uint8_t option) {
    return {Byte(kIac), Byte(verb), Byte(option)};
}

} // namespace

std::string EscapeTelnetData(std::span<const char> data) {
    std::string out;
    out.reserve(data.size());
    for (const char c : data) {
        out += c;
        if (static_cast<std::uint8_t>(c) == kIac) {
            out += c;
        }
    }
    return out;
}

std::string ComPortRequest(std::uint8_t command, std::span<const std::uint8_t> value) {
    std::string out{Byte(kIac), Byte(kSb), Byte(kComPort), Byte(command)};
    for (const std::uint8_t b : value) {
        out += Byte(b);
        if (b == kIac) {
            out += Byte(b);
        }
    }
    return out + Byte(kIac) + Byte(kSe);
}

std::string LineSettingRequests(long baudRate, int dataBits, int parity, int stopBits) {
    const auto baud = static_cast<std::uint32_t>(baudRate);
    const std::array<std::uint8_t, 4> rate{
        static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
        static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)};
    const std::array<std::uint8_t, 1> size{static_cast<std::uint8_t>(dataBits)};
    const std::array<std::uint8_t, 1> par{static_cast<std::uint8_t>(parity + 1)};
    const std::array<std::uint8_t, 1> stop{static_cast<std::uint8_t>(stopBits)};
    const std::array<std::uint8_t, 1> control{kControlNoFlow};
    return ComPortRequest(kSetBaudRate, rate) + ComPortRequest(kSetDataSize, size) +
           ComPortRequest(kSetParity, par) + ComPortRequest(kSetStopSize, stop) +
           ComPortRequest(kSetControl, control);
}

std::string TelnetOpening() {
    return Verb(kWill, kComPort) + Verb(kWill, kBinary) + Verb(kDo, kBinary) +
           Verb(kWill, kSuppressGoAhead) + Verb(kDo, kSuppressGoAhead);
}

void TelnetDecoder::Feed(std::span<const char> in, std::string& data, std::string& answers) {
    for (const char c : in) {
        const auto b = static_cast<std::uint8_t>(c);
        switch (state_) {
        case State::kData:
            if (b == kIac) {
                state_ = State::kCommand;
            } else {
                data += c;
            }
            break;
        case State::kCommand:
            if (b == kIac) {
                data += c;
                state_ = State::kData;
            } else if (b >= kWill && b <= kDont) {
                verb_ = b;
                state_ = State::kOption;
            } else if (b == kSb) {
                sub_.clear();
                subOverflow_ = false;
                state_ = State::kSub;
            } else {
                state_ = State::kData; // NOP, GA and the like carry nothing for a serial line
            }
            break;
        case State::kOption:
            Command(verb_, b, answers);
            state_ = State::kData;
            break;
        case State::kSub:
            if (b == kIac) {
                state_ = State::kSubCommand;
            } else if (sub_.size() < kMaxSub) {
                sub_ += c;
            } else {
                subOverflow_ = true;
            }
            break;
        case State::kSubCommand:
            if (b == kIac && sub_.size() < kMaxSub) {
                sub_ += c;
                state_ = State::kSub;
            } else if (b == kIac) {
                subOverflow_ = true;
                state_ = State::kSub;
            } else {
                EndSub(); // IAC SE, or a broken subnegotiation ended by another command
                state_ = State::kData;
            }
            break;
        }
    }
}

void TelnetDecoder::Command(std::uint8_t verb, std::uint8_t option, std::string& answers) {
    switch (verb) {
    case kDo:
        if (!OfferedByUs(option)) {
            answers += Verb(kWont, option);
        }
        break;
    case kWill:
        if (!AskedOfServer(option)) {
            answers += Verb(kDont, option);
        }
        break;
    default: // DONT, WONT: nothing to confirm; without COM port control there is no port
        comPortRefused_ = comPortRefused_ || option == kComPort;
        break;
    }
}

void TelnetDecoder::EndSub() {
    if (subOverflow_ || sub_.size() < 2 || static_cast<std::uint8_t>(sub_[0]) != kComPort) {
        return;
    }
    ComPortReply reply;
    reply.command = static_cast<std::uint8_t>(sub_[1]);
    reply.value.assign(sub_.begin() + 2, sub_.end());
    replies_.push_back(std::move(reply));
}

std::vector<ComPortReply> TelnetDecoder::TakeReplies() {
    std::vector<ComPortReply> taken;
    taken.swap(replies_);
    return taken;
}

} // namespace ovx::platform::detail
