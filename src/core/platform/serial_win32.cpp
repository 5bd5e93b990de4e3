// The serial OS interface on Windows: a COM port opened exclusively, DCB line settings without
// handshake, reads bounded by COMMTIMEOUTS, and the input-queue length from ClearCommError.
// WaitCommEvent is not used (some drivers and emulations abort every wait). A wait for queued
// bytes is a read with a time-out instead: the system wakes it when the bytes are there, and
// what it took waits in the port's read-ahead, which counts as queued. The read is made in
// slices of kSliceMs, so that an interrupt ends a wait within one.
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <string>
#include <utility>

#include "platform/errors.h"
#include "platform/events.h"
#include "platform/pollable_win32.h"
#include "platform/serial_os.h"
#include "platform/text_win32.h"

namespace ovx::platform::detail {
namespace {

constexpr std::array<long, 18> kBaudRates = {50,   75,    110,   134,   150,    200,
                                             300,  600,   1200,  1800,  2400,   4800,
                                             9600, 19200, 38400, 57600, 115200, 230400};

bool KnownRate(long baudRate) {
    return std::find(kBaudRates.begin(), kBaudRates.end(), baudRate) != kBaudRates.end();
}

// Manual-reset: set by an interrupt until the waits resume. Made before main runs, so that a
// console handler only stores and sets.
volatile std::sig_atomic_t waitsInterrupted = 0;
const HANDLE interruptEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

DWORD MillisecondsUntil(Deadline deadline) {
    const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

// Waits on the interrupt until deadline, or at most maxMs; true when interrupted.
bool WaitInterruptible(Deadline deadline, DWORD maxMs = INFINITE) {
    const DWORD wait = std::min(MillisecondsUntil(deadline), maxMs);
    return waitsInterrupted != 0 || WaitForSingleObject(interruptEvent, wait) == WAIT_OBJECT_0;
}

constexpr DWORD kSliceMs = 50;

// What the watch's handler owns: it outlives the port when the hook closes the port.
using HookState = std::function<void()>;

class Win32Port final : public OsPort {
  public:
    explicit Win32Port(HANDLE handle);
    ~Win32Port() override;

    int Read(std::span<char> buffer, Deadline deadline) override;
    int Write(std::span<const char> bytes, Deadline deadline) override;
    int InQueueLength() override;
    void WaitForMoreThan(int have, Deadline deadline) override;
    int WaitForCount(int count, Deadline deadline) override;
    int FlushIn() override {
        ahead_.clear();
        return Purge(PURGE_RXCLEAR | PURGE_RXABORT);
    }
    int FlushOut() override { return Purge(PURGE_TXCLEAR | PURGE_TXABORT); }
    int SetHandshake(bool on) override;
    bool HungUp() const override { return hungUp_; }
    void SetReadableHook(std::function<void()> hook) override;
    void SetReadableCount(int count) override {
        readableCount_ = std::clamp(count, 1, kMaxWaitCount);
    }
    void EnableReadableHook(bool on) override;

  private:
    int LineGone();
    int Purge(DWORD flags);
    bool SetTimeouts(DWORD readIntervalMs, DWORD readTotalMs, DWORD writeTotalMs);
    // The queue length without side effects on the watch: the system's queue and the
    // read-ahead; once the line is gone the read-ahead alone, or -1 when it is empty.
    int Queued() const;
    // Reads ahead until count bytes are queued, the deadline passes or stop() says so (asked
    // between slices); false when the line is gone.
    bool FillUntil(int count, Deadline deadline, const std::function<bool()>& stop);
    // Takes up to buffer.size() bytes from the read-ahead; the count taken.
    std::size_t TakeAhead(std::span<char> buffer);

    HANDLE handle_;
    bool hungUp_ = false;
    int readableCount_ = 1;
    COMMTIMEOUTS timeouts_{};
    std::string ahead_; // read by a wait, not yet by the program: still queued
    std::shared_ptr<HookState> hookState_ = std::make_shared<HookState>();
    int pollable_ = 0; // the probe the readable watch is served by
    int watch_ = 0;    // the readable watch (events.h), made with the first hook
};

Win32Port::Win32Port(HANDLE handle) : handle_(handle) {
    timeBeginPeriod(1); // waits of a millisecond, not of the default 15.6 ms tick
    // A known start, whatever the driver's defaults: reads return what is queued at once.
    timeouts_.ReadIntervalTimeout = MAXDWORD;
    timeouts_.WriteTotalTimeoutConstant = 1000;
    SetCommTimeouts(handle_, &timeouts_);
}

Win32Port::~Win32Port() {
    RemoveWatch(watch_);
    RemovePollable(pollable_);
    CloseHandle(handle_);
    timeEndPeriod(1);
}

int Win32Port::LineGone() {
    hungUp_ = true;
    EnableWatch(watch_, false);
    return kComUnknownIoError;
}

bool Win32Port::SetTimeouts(DWORD readIntervalMs, DWORD readTotalMs, DWORD writeTotalMs) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = readIntervalMs;
    t.ReadTotalTimeoutConstant = readTotalMs;
    t.WriteTotalTimeoutConstant = writeTotalMs;
    if (t.ReadIntervalTimeout == timeouts_.ReadIntervalTimeout &&
        t.ReadTotalTimeoutConstant == timeouts_.ReadTotalTimeoutConstant &&
        t.WriteTotalTimeoutConstant == timeouts_.WriteTotalTimeoutConstant) {
        return true;
    }
    if (SetCommTimeouts(handle_, &t) == 0) {
        return false;
    }
    timeouts_ = t;
    return true;
}

int Win32Port::Queued() const {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!hungUp_ && ClearCommError(handle_, &errors, &stat) != 0) {
        return static_cast<int>(std::min<std::size_t>(stat.cbInQue + ahead_.size(), 0x7fffffff));
    }
    // Bytes the system delivered before the line went are the program's to read.
    return ahead_.empty() ? -1 : static_cast<int>(ahead_.size());
}

std::size_t Win32Port::TakeAhead(std::span<char> buffer) {
    const std::size_t n = std::min(buffer.size(), ahead_.size());
    std::copy_n(ahead_.begin(), n, buffer.begin());
    ahead_.erase(0, n);
    return n;
}

bool Win32Port::FillUntil(int count, Deadline deadline, const std::function<bool()>& stop) {
    while (!hungUp_ && static_cast<int>(ahead_.size()) < count && !stop()) {
        const DWORD ms = std::min(MillisecondsUntil(deadline), kSliceMs);
        if (ms == 0) {
            break;
        }
        // Everything queued comes along at once; the read waits only for what is missing.
        std::array<char, 4096> chunk{};
        DWORD errors = 0;
        COMSTAT stat{};
        const DWORD queued = ClearCommError(handle_, &errors, &stat) != 0 ? stat.cbInQue : 0;
        const auto missing = static_cast<DWORD>(count - static_cast<int>(ahead_.size()));
        const DWORD want = std::min<DWORD>(std::max(missing, queued), chunk.size());
        DWORD r = 0;
        if (!SetTimeouts(0, ms, timeouts_.WriteTotalTimeoutConstant) ||
            ReadFile(handle_, chunk.data(), want, &r, nullptr) == 0) {
            LineGone();
            break;
        }
        ahead_.append(chunk.data(), r);
    }
    return !hungUp_;
}

int Win32Port::Read(std::span<char> buffer, Deadline deadline) {
    std::size_t got = TakeAhead(buffer);
    while (got < buffer.size() && !hungUp_) {
        const DWORD ms = MillisecondsUntil(deadline);
        // No time left: take what is queued (MAXDWORD interval, no total: return at once).
        const bool ok = ms == 0 ? SetTimeouts(MAXDWORD, 0, 0) : SetTimeouts(0, ms, 0);
        DWORD r = 0;
        const auto want = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - got, 1 << 20));
        if (!ok || ReadFile(handle_, buffer.data() + got, want, &r, nullptr) == 0) {
            LineGone();
            break;
        }
        got += r;
        if (r == 0 && (ms == 0 || Clock::now() >= deadline)) {
            break;
        }
        if (r == 0 && Queued() < 0) {
            LineGone(); // a read that ends early with nothing: the device went away
        }
    }
    if (got == 0 && hungUp_) {
        return kComUnknownIoError;
    }
    return static_cast<int>(got);
}

int Win32Port::Write(std::span<const char> bytes, Deadline deadline) {
    if (hungUp_) {
        return kComUnknownIoError;
    }
    const DWORD ms = std::max<DWORD>(MillisecondsUntil(deadline), 1); // 0 would mean no limit
    DWORD written = 0;
    if (!SetTimeouts(timeouts_.ReadIntervalTimeout, timeouts_.ReadTotalTimeoutConstant, ms) ||
        WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ==
            0) {
        return written > 0 ? static_cast<int>(written) : LineGone();
    }
    if (written == 0 && !bytes.empty()) {
        return kComTimeout;
    }
    return static_cast<int>(written);
}

int Win32Port::InQueueLength() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!hungUp_ && ClearCommError(handle_, &errors, &stat) == 0) {
        LineGone();
    }
    const int n = Queued();
    return n < 0 ? kComUnknownIoError : n;
}

void Win32Port::WaitForMoreThan(int have, Deadline deadline) {
    if (hungUp_ || have < 0 || have >= kMaxWaitCount ||
        !FillUntil(have + 1, deadline, [] { return false; })) {
        while (Clock::now() < deadline) {
            Sleep(MillisecondsUntil(deadline)); // a dead line is slept out: never spin on it
        }
    }
}

int Win32Port::WaitForCount(int count, Deadline deadline) {
    if (waitsInterrupted != 0) {
        return InQueueLength();
    }
    FillUntil(count, deadline, [] { return waitsInterrupted != 0; });
    const int n = InQueueLength();
    if (n >= count || !hungUp_) {
        return n;
    }
    while (Clock::now() < deadline && !WaitInterruptible(deadline)) {
        // a dead line is slept out, as a live one that stays silent
    }
    return kComUnknownIoError;
}

int Win32Port::Purge(DWORD flags) {
    if (hungUp_) {
        return kComUnknownIoError;
    }
    return PurgeComm(handle_, flags) != 0 ? 0 : LineGone();
}

int Win32Port::SetHandshake(bool on) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (hungUp_) {
        return kComUnknownIoError;
    }
    if (GetCommState(handle_, &dcb) == 0) {
        return LineGone();
    }
    dcb.fOutxCtsFlow = on ? TRUE : FALSE;
    dcb.fRtsControl = on ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    return SetCommState(handle_, &dcb) != 0 ? 0 : kComUnknownSystemError;
}

void Win32Port::SetReadableHook(std::function<void()> hook) {
    if (!hook) {
        EnableWatch(watch_, false);
        *hookState_ = nullptr;
        SetReadableCount(1);
        return;
    }
    *hookState_ = std::move(hook);
    if (watch_ == 0) {
        // Ready when the count is queued, or when the line is gone (the handler finds out).
        pollable_ = AddPollable(
            [this] {
                const int n = Queued();
                return n < 0 || n >= readableCount_;
            },
            [this](Deadline deadline) {
                FillUntil(readableCount_, deadline, [] { return false; });
            });
        watch_ = AddWatch(pollable_, [state = hookState_] {
            const auto current = *state; // the hook may destroy the port and replace the hook
            if (current) {
                current();
            }
        });
    }
}

void Win32Port::EnableReadableHook(bool on) {
    EnableWatch(watch_, on && !hungUp_ && *hookState_);
}

// "COM9" and "\\.\COM9" name the same port; the device namespace also reaches COM10 and above.
std::wstring DevicePath(const std::string& device) {
    const std::wstring name = WideFromText(device);
    return name.rfind(L"\\\\", 0) == 0 ? name : L"\\\\.\\" + name;
}

int MapOpenError(DWORD err) {
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return kComNoPortFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return kComCannotOpenPort;
    default:
        return kComUnknownSystemError;
    }
}

std::string OpenFailureReason(const std::string& device, DWORD err) {
    const std::string head = "cannot open " + device + ": ";
    switch (MapOpenError(err)) {
    case kComNoPortFound:
        return head + "no such port.";
    case kComCannotOpenPort:
        return head + "in use by another program, or access denied.";
    default:
        return head + SystemErrorText(err) + ".";
    }
}

void FillDcb(DCB& dcb, const LineSettings& s) {
    dcb.BaudRate = static_cast<DWORD>(s.baudRate);
    dcb.ByteSize = static_cast<BYTE>(s.dataBits);
    dcb.Parity = s.parity == 0 ? NOPARITY : s.parity == 1 ? ODDPARITY : EVENPARITY;
    dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = s.parity != 0 ? TRUE : FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
}

} // namespace

std::unique_ptr<OsPort> OpenOsPort(const std::string& device, const LineSettings& settings,
                                   int& error, std::string& reason) {
    reason.clear();
    if (!KnownRate(settings.baudRate)) {
        error = kComInvalidParameter;
        return nullptr;
    }
    // Share mode 0: the port is this program's alone while it is open.
    const HANDLE h = CreateFileW(DevicePath(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        const DWORD attributes = GetFileAttributesW(DevicePath(device).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            error = kComNoPortFound; // a folder named as the port is no port, as a plain file
            reason = "cannot open " + device + ": not a serial port.";
            return nullptr;
        }
        error = MapOpenError(err);
        reason = OpenFailureReason(device, err);
        return nullptr;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetFileType(h) != FILE_TYPE_CHAR || GetCommState(h, &dcb) == 0) {
        CloseHandle(h);
        error = kComNoPortFound;
        reason = "cannot open " + device + ": not a serial port.";
        return nullptr;
    }
    FillDcb(dcb, settings);
    SetupComm(h, 4096, 4096);
    if (SetCommState(h, &dcb) == 0) {
        const DWORD err = GetLastError();
        CloseHandle(h);
        error = err == ERROR_INVALID_PARAMETER ? kComInvalidParameter : kComUnknownSystemError;
        reason = "cannot set up " + device + ": " + SystemErrorText(err) + ".";
        return nullptr;
    }
    PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    error = 0;
    return std::make_unique<Win32Port>(h);
}

void InterruptWaits() {
    waitsInterrupted = 1;
    SetEvent(interruptEvent);
    WakeEventWait(); // a command's wait for its reply without a window
}

bool WaitsInterrupted() {
    return waitsInterrupted != 0;
}

void ResumeWaits() {
    waitsInterrupted = 0;
    ResetEvent(interruptEvent);
}

void SleepUnlessInterrupted(Deadline deadline) {
    while (Clock::now() < deadline && !WaitInterruptible(deadline)) {
    }
}

} // namespace ovx::platform::detail
