// The Telnet layer of a networked port with COM port control: data bytes with the command byte
// (IAC, 255) doubled, option negotiation, and the COM-PORT-OPTION (44) requests and replies.
// Pure byte work, the same on every OS: the port that owns the socket feeds it what arrives and
// sends what it produces.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ovx::platform::detail {

namespace telnet {
constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;
constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kSuppressGoAhead = 3;
constexpr std::uint8_t kComPort = 44;
// COM-PORT-OPTION commands of the client; the server answers each with the code + 100.
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kPurgeData = 12;
constexpr std::uint8_t kServerOffset = 100;
// Values of the requests.
constexpr std::uint8_t kControlNoFlow = 1;
constexpr std::uint8_t kPurgeReceive = 1;
constexpr std::uint8_t kPurgeTransmit = 2;
constexpr std::uint8_t kPurgeBoth = 3;
} // namespace telnet

// The data bytes as they go on the wire: every 255 doubled.
std::string EscapeTelnetData(std::span<const char> data);

// A COM-PORT-OPTION request: IAC SB 44 command value... IAC SE, 255 in the value doubled.
std::string ComPortRequest(std::uint8_t command, std::span<const std::uint8_t> value);
// The line settings as requests, in this order: baud rate (4 bytes, most significant first),
// data size, parity (0 none, 1 odd, 2 even as the serial services number it; 1, 2, 3 on the
// wire), stop size (1 or 2), control (no flow control).
std::string LineSettingRequests(long baudRate, int dataBits, int parity, int stopBits);
// The client's opening: it will do COM port control and binary data, and asks the server for
// binary data and no go-ahead.
std::string TelnetOpening();

// One COM-PORT-OPTION subnegotiation from the server: its command (a request's code + 100) and
// its value, IAC doubling undone.
struct ComPortReply {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> value;
};

// Splits what the server sends into data and Telnet commands. Commands may be split across
// calls at any byte. The answers negotiation needs are collected for the caller to send.
class TelnetDecoder {
  public:
    // Appends the data bytes of in to data and the answers to send to answers.
    void Feed(std::span<const char> in, std::string& data, std::string& answers);
    // The COM-PORT-OPTION replies received so far; Take empties the list.
    std::vector<ComPortReply> TakeReplies();
    // The server said it will not, or does not want to, do COM port control.
    bool ComPortRefused() const { return comPortRefused_; }

  private:
    enum class State { kData, kCommand, kOption, kSub, kSubCommand };
    void Command(std::uint8_t verb, std::uint8_t option, std::string& answers);
    void EndSub();

    State state_ = State::kData;
    std::uint8_t verb_ = 0;
    std::string sub_;
    bool subOverflow_ = false;
    std::vector<ComPortReply> replies_;
    bool comPortRefused_ = false;
};

} // namespace ovx::platform::detail
