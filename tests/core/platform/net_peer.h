// The far end of a networked port in a test: a listener on 127.0.0.1 that takes one connection
// and, over Telnet, confirms the line settings the port asks for as a device server does. Then
// the test sends bytes to the port or closes the connection.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <string>
#include <thread>

#include "platform/telnet_codec.h"
#include "support/loopback.h"

namespace ovx::platform::testing {

// How a Telnet peer answers the line settings.
enum class PeerAnswer {
    kConfirm,   // each with the value asked for
    kOtherBaud, // the baud rate with 9600, as a server whose line cannot do 19200
    kNoComPort, // WONT COM-PORT-OPTION, as a plain Telnet server
};

class LoopbackPeer {
  public:
    explicit LoopbackPeer(bool telnet, PeerAnswer answer = PeerAnswer::kConfirm)
        : telnet_(telnet), answer_(answer) {
        listener_ = ovx::testing::ListenOnLoopback(1, port_);
        server_ = std::thread([this] { Serve(); });
    }
    ~LoopbackPeer() {
        Close();
        if (server_.joinable()) {
            shutdown(listener_, SHUT_RDWR); // ends an accept that never came
            server_.join();
        }
        close(listener_);
    }
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    std::string Address() const {
        return std::string(telnet_ ? "rfc2217://" : "tcp://") +
               "127.0.0.1:" + std::to_string(port_);
    }
    // After the port has opened: the connection is taken (and the settings confirmed).
    bool Connected() {
        server_.join();
        return conn_ >= 0;
    }
    // Sends data bytes, IAC doubled over Telnet.
    void Send(const std::string& data) {
        const std::string wire = telnet_ ? detail::EscapeTelnetData(data) : data;
        [[maybe_unused]] const ssize_t sent = send(conn_, wire.data(), wire.size(), MSG_NOSIGNAL);
    }
    void Close() {
        if (conn_ >= 0) {
            close(conn_);
            conn_ = -1;
        }
    }

  private:
    void Serve() {
        conn_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (conn_ >= 0 && telnet_ && answer_ == PeerAnswer::kNoComPort) {
            const std::string wont{'\xFF', '\xFC', '\x2C'};
            send(conn_, wont.data(), wont.size(), MSG_NOSIGNAL);
        } else if (conn_ >= 0 && telnet_) {
            ConfirmSettings();
        }
    }
    // Answers the five line-setting requests with the values asked for.
    void ConfirmSettings() {
        detail::TelnetDecoder decoder;
        std::string data;
        std::string answers;
        int confirmed = 0;
        std::array<char, 512> chunk{};
        pollfd p{conn_, POLLIN, 0};
        while (confirmed < 5 && poll(&p, 1, 3000) == 1) {
            const ssize_t r = recv(conn_, chunk.data(), chunk.size(), 0);
            if (r <= 0) {
                return;
            }
            decoder.Feed({chunk.data(), static_cast<std::size_t>(r)}, data, answers);
            for (detail::ComPortReply& request : decoder.TakeReplies()) {
                if (answer_ == PeerAnswer::kOtherBaud &&
                    request.command == detail::telnet::kSetBaudRate) {
                    request.value = {0, 0, 0x25, 0x80};
                }
                const std::string reply = detail::ComPortRequest(
                    static_cast<std::uint8_t>(request.command + detail::telnet::kServerOffset),
                    request.value);
                send(conn_, reply.data(), reply.size(), MSG_NOSIGNAL);
                ++confirmed;
            }
        }
    }

    bool telnet_;
    PeerAnswer answer_;
    int listener_ = -1;
    int port_ = 0;
    int conn_ = -1;
    std::thread server_;
};

} // namespace ovx::platform::testing
