// Windows has no pseudo-terminals: the virtual controller serves its line on the server end of a
// named pipe of its own (\\.\pipe\ovextar-sim-PID-N), which the tool opens by that name like a
// serial port. The pipe has one instance, local clients only, and overlapped I/O: a read waits
// for the client, its bytes or Wake() in one wait. When the client closes, the pipe is offered
// again at once, so a client that reopens is taken again.
// The pipe has no buffer toward the client: every write stays pending until the client has read
// its bytes, so the pending writes are what the client has not read yet (a buffered pipe does not
// tell). They stand for the client's input queue: what does not fit in it is dropped. Unplug
// cancels them and closes the server end: the client finds the pipe broken.
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/pty.h"

namespace ovx::sim {

namespace {

using Clock = std::chrono::steady_clock;

// The client's input queue: what a client that does not read can be sent before bytes drop.
constexpr std::size_t kClientQueue = 4096;
// The pipe's buffer from the client: requests are taken from it at once.
constexpr DWORD kInBuffer = 4096;

std::atomic<int> pipesMade{0};

std::string PipeName() {
    return "\\\\.\\pipe\\ovextar-sim-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(pipesMade++);
}

// The system's text for err, in the program's code page (UTF-8 by its manifest).
std::string Reason(const std::string& what, DWORD err) {
    std::array<char, 256> text{};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, err, 0, text.data(), text.size(), nullptr);
    std::string message(text.data(), n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
        message.pop_back();
    }
    return what + ": " + (message.empty() ? "error " + std::to_string(err) : message);
}

bool ClientGone(DWORD err) {
    return err == ERROR_BROKEN_PIPE || err == ERROR_NO_DATA || err == ERROR_PIPE_NOT_CONNECTED;
}

DWORD MillisecondsLeft(std::optional<Clock::time_point> until) {
    if (!until) {
        return INFINITE;
    }
    const auto left = std::max(*until - Clock::now(), Clock::duration::zero());
    return static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// An overlapped operation with its own manual-reset event.
struct Operation {
    OVERLAPPED overlapped{};
    bool pending = false;

    bool Init() {
        overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        return overlapped.hEvent != nullptr;
    }
    void Close() {
        if (overlapped.hEvent != nullptr) {
            CloseHandle(overlapped.hEvent);
            overlapped.hEvent = nullptr;
        }
    }
    OVERLAPPED* Begin() {
        ResetEvent(overlapped.hEvent);
        return &overlapped;
    }
};

// Bytes on their way to the client, held until it has read them.
struct PendingWrite {
    Operation op;
    std::vector<std::uint8_t> bytes;
};

} // namespace

struct Pty::Fds {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE wake = nullptr; // auto-reset: set by Wake(), taken by the read that sees it
    Operation connect;
    Operation read;
    bool connected = false;
    std::deque<std::unique_ptr<PendingWrite>> writes; // in the order written
    std::vector<std::unique_ptr<PendingWrite>> spare; // done, kept for their events
    std::size_t unread = 0;                           // bytes of the pending writes
    std::array<std::uint8_t, 512> received{};         // the pending read's bytes
    std::size_t heldFrom = 0; // received[heldFrom, heldTo) not handed out yet
    std::size_t heldTo = 0;

    bool Listen();
    bool StartRead();
    bool FinishConnect();
    bool FinishRead();
    void LoseClient();
    int StartWrite(std::span<const std::uint8_t> bytes);
    void ReapWrites();
    void DropWrites();
    std::size_t TakeHeld(std::span<std::uint8_t> buffer);
    void Close();
};

// Offers the pipe to a client unless one is connected or awaited; false when the pipe failed.
bool Pty::Fds::Listen() {
    for (int tries = 0; !connected && !connect.pending && tries < 2; ++tries) {
        if (ConnectNamedPipe(pipe, connect.Begin()) != 0) {
            connected = true;
            break;
        }
        const DWORD err = GetLastError();
        if (err == ERROR_IO_PENDING) {
            connect.pending = true;
        } else if (err == ERROR_PIPE_CONNECTED) {
            connected = true;
        } else if (err == ERROR_NO_DATA) {
            DisconnectNamedPipe(pipe); // a client came and went before it was taken
        } else {
            return false;
        }
    }
    return connected || connect.pending;
}

bool Pty::Fds::FinishConnect() {
    DWORD unused = 0;
    connect.pending = false;
    connected = GetOverlappedResult(pipe, &connect.overlapped, &unused, FALSE) != 0;
    return connected;
}

// Starts a read into received unless one is pending; false when the client is gone.
bool Pty::Fds::StartRead() {
    if (read.pending) {
        return true;
    }
    // Done at once or later: either way the event is set and the result is fetched then.
    if (ReadFile(pipe, received.data(), received.size(), nullptr, read.Begin()) == 0 &&
        GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    read.pending = true;
    return true;
}

bool Pty::Fds::FinishRead() {
    DWORD got = 0;
    read.pending = false;
    if (GetOverlappedResult(pipe, &read.overlapped, &got, FALSE) == 0) {
        return false;
    }
    heldFrom = 0;
    heldTo = got;
    return true;
}

// The client closed its end: the pipe is offered again at once for its next open.
void Pty::Fds::LoseClient() {
    DropWrites();
    DisconnectNamedPipe(pipe);
    connected = false;
    heldFrom = heldTo = 0;
    Listen();
}

// Starts a write that completes when the client has read it; the count taken, or -1.
int Pty::Fds::StartWrite(std::span<const std::uint8_t> bytes) {
    std::unique_ptr<PendingWrite> w;
    if (spare.empty()) {
        w = std::make_unique<PendingWrite>();
        if (!w->op.Init()) {
            return -1;
        }
    } else {
        w = std::move(spare.back());
        spare.pop_back();
    }
    w->bytes.assign(bytes.begin(), bytes.end());
    if (WriteFile(pipe, w->bytes.data(), static_cast<DWORD>(w->bytes.size()), nullptr,
                  w->op.Begin()) == 0) {
        const DWORD err = GetLastError();
        if (err != ERROR_IO_PENDING) {
            spare.push_back(std::move(w));
            return ClientGone(err) ? 0 : -1;
        }
    }
    unread += w->bytes.size();
    writes.push_back(std::move(w));
    return static_cast<int>(bytes.size());
}

// Forgets the writes the client has read; they complete in the order written.
void Pty::Fds::ReapWrites() {
    while (!writes.empty() && HasOverlappedIoCompleted(&writes.front()->op.overlapped)) {
        unread -= writes.front()->bytes.size();
        spare.push_back(std::move(writes.front()));
        writes.pop_front();
    }
}

// Takes back every write the client has not read (their buffers are ours until they end).
void Pty::Fds::DropWrites() {
    DWORD unused = 0;
    for (auto& w : writes) {
        CancelIoEx(pipe, &w->op.overlapped);
        GetOverlappedResult(pipe, &w->op.overlapped, &unused, TRUE);
    }
    ReapWrites();
}

std::size_t Pty::Fds::TakeHeld(std::span<std::uint8_t> buffer) {
    const std::size_t n = std::min(buffer.size(), heldTo - heldFrom);
    std::copy_n(received.begin() + static_cast<std::ptrdiff_t>(heldFrom), n, buffer.begin());
    heldFrom += n;
    return n;
}

// Closes the server end; the client finds the pipe broken.
void Pty::Fds::Close() {
    if (pipe == INVALID_HANDLE_VALUE) {
        return;
    }
    DropWrites();
    CancelIoEx(pipe, nullptr);
    DWORD unused = 0;
    for (Operation* op : {&connect, &read}) {
        if (op->pending) {
            GetOverlappedResult(pipe, &op->overlapped, &unused, TRUE); // its buffer is ours
            op->pending = false;
        }
    }
    CloseHandle(pipe);
    pipe = INVALID_HANDLE_VALUE;
    connected = false;
    heldFrom = heldTo = 0;
}

Pty::Pty() : fds_(std::make_unique<Fds>()) {}

Pty::~Pty() {
    Unplug();
    for (Operation* op : {&fds_->connect, &fds_->read}) {
        op->Close();
    }
    for (auto& w : fds_->spare) {
        w->op.Close();
    }
    if (fds_->wake != nullptr) {
        CloseHandle(fds_->wake);
    }
}

bool Pty::Open(std::string& error) {
    Fds& f = *fds_;
    if (f.wake == nullptr) {
        f.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (f.wake == nullptr || !f.connect.Init() || !f.read.Init()) {
            error = Reason("cannot make the events of the pipe", GetLastError());
            return false;
        }
    }
    slavePath_ = PipeName();
    const std::wstring name(slavePath_.begin(), slavePath_.end()); // ASCII
    f.pipe = CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
        kInBuffer, 0, nullptr);
    if (f.pipe == INVALID_HANDLE_VALUE) {
        error = Reason("cannot make the pipe " + slavePath_, GetLastError());
        return false;
    }
    if (!f.Listen()) {
        error = Reason("cannot offer the pipe " + slavePath_, GetLastError());
        Unplug();
        return false;
    }
    return true;
}

const std::string& Pty::SlavePath() const {
    return slavePath_;
}

bool Pty::IsOpen() const {
    return fds_->pipe != INVALID_HANDLE_VALUE;
}

Pty::ReadResult Pty::Read(std::span<std::uint8_t> buffer, int timeoutMs) {
    Fds& f = *fds_;
    const auto until = timeoutMs < 0
                           ? std::nullopt
                           : std::optional(Clock::now() + std::chrono::milliseconds(timeoutMs));
    for (;;) {
        if (f.pipe == INVALID_HANDLE_VALUE || !f.Listen()) {
            return {ReadStatus::kError, 0};
        }
        if (f.heldTo > f.heldFrom) {
            return {ReadStatus::kData, f.TakeHeld(buffer)};
        }
        if (f.connected && !f.StartRead()) {
            f.LoseClient();
            return {ReadStatus::kHangup, 0};
        }
        const std::array<HANDLE, 2> events{f.wake, f.connected ? f.read.overlapped.hEvent
                                                               : f.connect.overlapped.hEvent};
        const DWORD w = WaitForMultipleObjects(2, events.data(), FALSE, MillisecondsLeft(until));
        if (w == WAIT_OBJECT_0) {
            return {ReadStatus::kWoken, 0};
        }
        if (w == WAIT_TIMEOUT) {
            return {ReadStatus::kTimeout, 0};
        }
        if (w != WAIT_OBJECT_0 + 1) {
            return {ReadStatus::kError, 0};
        }
        if (f.connected ? !f.FinishRead() : !f.FinishConnect()) {
            f.LoseClient();
            return {ReadStatus::kHangup, 0};
        }
    }
}

// Bytes beyond the client's queue are dropped; Write never waits for the client.
int Pty::Write(std::span<const std::uint8_t> bytes) {
    Fds& f = *fds_;
    if (f.pipe == INVALID_HANDLE_VALUE) {
        return -1;
    }
    f.ReapWrites();
    const std::size_t room = kClientQueue - std::min(f.unread, kClientQueue);
    if (!f.connected || bytes.empty() || room == 0) {
        return 0; // nobody on the line, or nobody reading it
    }
    return f.StartWrite(bytes.first(std::min(bytes.size(), room)));
}

// Counted by whole writes: a write the client has read in part counts whole.
int Pty::ClientPending() const {
    fds_->ReapWrites();
    return static_cast<int>(fds_->unread);
}

// Waits of a millisecond, not of the default 15.6 ms tick.
void Pty::WakeOnTime() {
    timeBeginPeriod(1);
}

void Pty::WakeOnTimeEnds() {
    timeEndPeriod(1);
}

void Pty::Wake() {
    if (fds_->wake != nullptr) {
        SetEvent(fds_->wake);
    }
}

void Pty::Unplug() {
    fds_->Close();
}

} // namespace ovx::sim
