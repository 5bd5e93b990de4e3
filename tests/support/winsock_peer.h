// The far end of a networked port in a test on Windows: a listener on 127.0.0.1 that takes one
// connection and, over Telnet, confirms the line settings the port asks for as a device server
// does (or refuses them). Then the test sends bytes to the port or closes the connection.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/telnet_codec.h"

namespace ovx::testing {

// How a Telnet peer answers the line settings.
enum class PeerAnswer {
    kConfirm,   // each with the value asked for
    kOtherBaud, // the baud rate with 9600, as a server whose line cannot do 19200
    kNoComPort, // WONT COM-PORT-OPTION, as a plain Telnet server
    kAskFirst,  // with every request in, asks the client something it must refuse (WILL ECHO),
                // then confirms them all a given lead later, as a device server's opening and
                // replies may follow each other
};

// Waits until s is readable, at most ms milliseconds.
inline bool Readable(SOCKET s, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval limit{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &limit) == 1;
}

// A port of 127.0.0.1 that nothing listens on now.
inline int FreeLoopbackPort() {
    WSADATA data{};
    WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    closesocket(s);
    WSACleanup();
    return port;
}

class WinsockPeer {
  public:
    explicit WinsockPeer(bool telnet, PeerAnswer answer = PeerAnswer::kConfirm, int leadUs = 0)
        : telnet_(telnet), answer_(answer), leadUs_(leadUs) {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof a;
        bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener_, 1);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        server_ = std::thread([this] { Serve(); });
    }
    ~WinsockPeer() {
        if (server_.joinable()) {
            server_.join(); // its accept gives up after a few seconds
        }
        Close();
        closesocket(listener_);
        WSACleanup();
    }
    WinsockPeer(const WinsockPeer&) = delete;
    WinsockPeer& operator=(const WinsockPeer&) = delete;

    std::string Address() const {
        return std::string(telnet_ ? "rfc2217://" : "tcp://") +
               "127.0.0.1:" + std::to_string(port_);
    }
    // After the port has opened: the connection is taken (and the settings confirmed).
    bool Connected() {
        server_.join();
        return conn_ != INVALID_SOCKET;
    }
    // Sends data bytes, IAC doubled over Telnet.
    void Send(const std::string& data) {
        SendWire(telnet_ ? platform::detail::EscapeTelnetData(data) : data);
    }
    void Close() {
        if (conn_ != INVALID_SOCKET) {
            closesocket(conn_);
            conn_ = INVALID_SOCKET;
        }
    }

  private:
    // Sends the bytes as they are: Telnet commands and replies.
    void SendWire(const std::string& wire) {
        send(conn_, wire.data(), static_cast<int>(wire.size()), 0);
    }
    void Serve() {
        if (!Readable(listener_, 5000)) {
            return;
        }
        conn_ = accept(listener_, nullptr, nullptr);
        if (conn_ != INVALID_SOCKET && telnet_ && answer_ == PeerAnswer::kNoComPort) {
            const std::string wont{'\xFF', '\xFC', '\x2C'};
            send(conn_, wont.data(), static_cast<int>(wont.size()), 0);
        } else if (conn_ != INVALID_SOCKET && telnet_) {
            ConfirmSettings();
        }
    }
    // Answers the five line-setting requests (as asked, or the baud rate with 9600), each as it
    // comes; asking first, all five at once.
    void ConfirmSettings() {
        platform::detail::TelnetDecoder decoder;
        std::string data;
        std::string answers;
        std::string replies;
        int confirmed = 0;
        std::array<char, 512> chunk{};
        while (confirmed < 5 && Readable(conn_, 3000)) {
            const int r = recv(conn_, chunk.data(), static_cast<int>(chunk.size()), 0);
            if (r <= 0) {
                return;
            }
            decoder.Feed({chunk.data(), static_cast<std::size_t>(r)}, data, answers);
            for (const platform::detail::ComPortReply& request : decoder.TakeReplies()) {
                replies += Reply(request);
                ++confirmed;
            }
            if (answer_ != PeerAnswer::kAskFirst && !replies.empty()) {
                SendWire(replies);
                replies.clear();
            }
        }
        if (answer_ == PeerAnswer::kAskFirst) {
            SendWire({'\xFF', '\xFB', '\x01'}); // WILL ECHO
            // A lead of microseconds: no wait of the system is that fine (Windows sleeps a
            // millisecond at least), so the peer's thread spins it, 400 us at most.
            const auto until =
                std::chrono::steady_clock::now() + std::chrono::microseconds(leadUs_);
            while (std::chrono::steady_clock::now() < until) {
            }
            SendWire(replies);
        }
    }
    std::string Reply(platform::detail::ComPortReply request) const {
        if (answer_ == PeerAnswer::kOtherBaud &&
            request.command == platform::detail::telnet::kSetBaudRate) {
            request.value = {0, 0, 0x25, 0x80};
        }
        return platform::detail::ComPortRequest(
            static_cast<std::uint8_t>(request.command + platform::detail::telnet::kServerOffset),
            request.value);
    }

    bool telnet_;
    PeerAnswer answer_;
    int leadUs_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    SOCKET conn_ = INVALID_SOCKET;
    std::thread server_;
};

} // namespace ovx::testing
