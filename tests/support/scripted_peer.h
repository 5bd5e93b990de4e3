// A controller stand-in on a real pty for replies the virtual controller cannot be told to
// give (a reply left out for one order, bytes 0 to 3 of any value, an oversized reply). Each
// 36-byte request is handed to a responder; its bytes are written back at once, or, on an
// emulated line, paced at 19200 baud after the request's own line time, in pieces with pauses.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/frame.h"

namespace ovx::testing {

class ScriptedPeer {
  public:
    using Reply = std::vector<std::uint8_t>;
    using Responder = std::function<Reply(const link::FrameBytes& request)>;

    // Bytes written after a pause (microseconds, on top of the line time).
    struct Piece {
        int pauseUs = 0;
        Reply bytes;
    };
    using Script = std::vector<Piece>;
    using ScriptResponder = std::function<Script(const link::FrameBytes& request)>;

    explicit ScriptedPeer(Responder responder);
    // Every byte takes its line time at 19200 baud; the reply starts after the request's.
    explicit ScriptedPeer(ScriptResponder responder);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    bool Start(std::string& error);
    const std::string& DevicePath() const;
    // Thread-safe: every whole request received so far.
    std::vector<link::FrameBytes> Requests() const;
    std::vector<int> Orders() const;
    // Thread-safe: when each whole request was received, in the order of Requests().
    std::vector<std::chrono::steady_clock::time_point> RequestTimes() const;
    // Thread-safe: every byte written so far, in order.
    Reply Written() const;

    // A 36-byte frame reply with the given words.
    static Reply Frame(int order, std::initializer_list<std::uint16_t> words);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// n bytes of line noise, the same for the same seed.
inline ScriptedPeer::Reply Garbage(int n, unsigned seed = 12345) {
    ScriptedPeer::Reply g;
    for (int i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        g.push_back(static_cast<std::uint8_t>(seed >> 16));
    }
    return g;
}

} // namespace ovx::testing
