// The pipe's handle is put in non-blocking mode: a write takes what the server's buffer has room
// for and returns, so a write to a server that stopped reading ends at its deadline as on a COM
// port; a read only ever asks for bytes that PeekNamedPipe has seen. Pipes ignore COMMTIMEOUTS,
// so a read waits for its bytes by looking at the queue about once a millisecond.
#include "platform/pipe_port_win32.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "platform/errors.h"
#include "platform/polled_port_win32.h"
#include "platform/text_win32.h"

namespace ovx::platform::detail {
namespace {

// How long an open waits for the one instance of a pipe to be offered again.
constexpr DWORD kBusyWaitMs = 1000;
// The most a single write offers; a larger one might never fit the server's buffer at once.
constexpr std::size_t kWriteChunk = 1024;

class PipePort final : public PolledPort {
  public:
    explicit PipePort(HANDLE handle) : PolledPort(handle) {}

    int Read(std::span<char> buffer, Deadline deadline) override;
    int Write(std::span<const char> bytes, Deadline deadline) override;
    int FlushIn() override;
    // A pipe has no output queue of its own to drop, and no handshake lines.
    int FlushOut() override { return HungUp() ? kComUnknownIoError : 0; }
    int SetHandshake(bool /*on*/) override { return HungUp() ? kComUnknownIoError : 0; }

  private:
    int Queued() override;
    // Reads at most want bytes of those queued now; the count, or -1 when the line is gone.
    int TakeQueued(char* to, std::size_t want);
};

int PipePort::Queued() {
    DWORD total = 0;
    if (HungUp() || PeekNamedPipe(Handle(), nullptr, 0, nullptr, &total, nullptr) == 0) {
        return -1; // the server closed its end and every byte it sent has been read
    }
    return static_cast<int>(std::min<DWORD>(total, 0x7fffffff));
}

int PipePort::TakeQueued(char* to, std::size_t want) {
    const int queued = Queued();
    if (queued <= 0) {
        return queued;
    }
    DWORD got = 0;
    const auto n =
        static_cast<DWORD>(std::min<std::size_t>(want, static_cast<std::size_t>(queued)));
    return ReadFile(Handle(), to, n, &got, nullptr) != 0 ? static_cast<int>(got) : -1;
}

int PipePort::Read(std::span<char> buffer, Deadline deadline) {
    std::size_t got = 0;
    while (got < buffer.size() && !HungUp()) {
        const int n = TakeQueued(buffer.data() + got, buffer.size() - got);
        if (n < 0) {
            LineGone();
        } else if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (Clock::now() >= deadline) {
            break;
        } else {
            Sleep(1);
        }
    }
    if (got == 0 && HungUp()) {
        return kComUnknownIoError;
    }
    return static_cast<int>(got);
}

int PipePort::Write(std::span<const char> bytes, Deadline deadline) {
    if (HungUp()) {
        return kComUnknownIoError;
    }
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        DWORD written = 0;
        const auto n = static_cast<DWORD>(std::min(bytes.size() - sent, kWriteChunk));
        if (WriteFile(Handle(), bytes.data() + sent, n, &written, nullptr) == 0) {
            return sent > 0 ? static_cast<int>(sent) : LineGone();
        }
        sent += written;
        if (written == 0 && Clock::now() >= deadline) {
            break;
        }
        if (written == 0) {
            Sleep(1); // the server's buffer is full: look again when it may have read
        }
    }
    if (sent == 0 && !bytes.empty()) {
        return kComTimeout;
    }
    return static_cast<int>(sent);
}

int PipePort::FlushIn() {
    std::array<char, 512> sink{};
    for (;;) {
        const int n = TakeQueued(sink.data(), sink.size());
        if (n < 0) {
            return LineGone();
        }
        if (n == 0) {
            return 0;
        }
    }
}

} // namespace

HANDLE OpenBusyPipe(const std::wstring& path) {
    if (WaitNamedPipeW(path.c_str(), kBusyWaitMs) == 0) {
        SetLastError(ERROR_PIPE_BUSY);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

std::unique_ptr<OsPort> OpenPipePort(HANDLE handle, const std::string& device, int& error,
                                     std::string& reason) {
    DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
    if (SetNamedPipeHandleState(handle, &mode, nullptr, nullptr) == 0) {
        const DWORD err = GetLastError();
        CloseHandle(handle);
        error = kComUnknownSystemError;
        reason = "cannot set up " + device + ": " + SystemErrorText(err) + ".";
        return nullptr;
    }
    auto port = std::make_unique<PipePort>(handle);
    port->FlushIn(); // as a COM port's input queue is purged when it is opened
    error = 0;
    return port;
}

} // namespace ovx::platform::detail
