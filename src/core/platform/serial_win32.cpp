// The serial OS interface on Windows: a COM port opened exclusively, DCB line settings without
// handshake, reads bounded by COMMTIMEOUTS, and the input-queue length from ClearCommError.
// WaitCommEvent is not used (some drivers and emulations abort every wait). A wait for queued
// bytes is a read with a time-out instead: the system wakes it when the bytes are there, and
// what it took waits in the port's read-ahead, which counts as queued. The read is made in
// slices of kSliceMs, so that an interrupt ends a wait within one. The interrupt, the readable
// hook and what every Windows port shares are in polled_port_win32.h; a named pipe opened by
// its device name is the virtual controller's line (pipe_port_win32.h).
// An address (tcp://, rfc2217://) is a networked port (net_port_win32.cpp).
#include <windows.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <utility>

#include "platform/errors.h"
#include "platform/net_address.h"
#include "platform/net_port.h"
#include "platform/pipe_port_win32.h"
#include "platform/polled_port_win32.h"
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

constexpr DWORD kSliceMs = 50;

class Win32Port final : public PolledPort {
  public:
    explicit Win32Port(HANDLE handle);

    int Read(std::span<char> buffer, Deadline deadline) override;
    int Write(std::span<const char> bytes, Deadline deadline) override;
    int InQueueLength() override;
    int FlushIn() override {
        ahead_.clear();
        return Purge(PURGE_RXCLEAR | PURGE_RXABORT);
    }
    int FlushOut() override { return Purge(PURGE_TXCLEAR | PURGE_TXABORT); }
    int SetHandshake(bool on) override;

  private:
    int Purge(DWORD flags);
    bool SetTimeouts(DWORD readIntervalMs, DWORD readTotalMs, DWORD writeTotalMs);
    // The system's queue and the read-ahead; once the line is gone the read-ahead alone, or -1
    // when it is empty.
    int Queued() override;
    // Reads ahead until count bytes are queued, the deadline passes, the line goes or
    // (interruptible) an interrupt comes, asked between slices.
    void WaitQueued(int count, Deadline deadline, bool interruptible) override;
    // Takes up to buffer.size() bytes from the read-ahead; the count taken.
    std::size_t TakeAhead(std::span<char> buffer);

    COMMTIMEOUTS timeouts_{};
    std::string ahead_; // read by a wait, not yet by the program: still queued
};

Win32Port::Win32Port(HANDLE handle) : PolledPort(handle) {
    // A known start, whatever the driver's defaults: reads return what is queued at once.
    timeouts_.ReadIntervalTimeout = MAXDWORD;
    timeouts_.WriteTotalTimeoutConstant = 1000;
    SetCommTimeouts(Handle(), &timeouts_);
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
    if (SetCommTimeouts(Handle(), &t) == 0) {
        return false;
    }
    timeouts_ = t;
    return true;
}

int Win32Port::Queued() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!HungUp() && ClearCommError(Handle(), &errors, &stat) != 0) {
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

void Win32Port::WaitQueued(int count, Deadline deadline, bool interruptible) {
    while (!HungUp() && static_cast<int>(ahead_.size()) < count &&
           !(interruptible && WaitsInterrupted())) {
        const DWORD ms = std::min(MillisecondsUntil(deadline), kSliceMs);
        if (ms == 0) {
            break;
        }
        // Everything queued comes along at once; the read waits only for what is missing.
        std::array<char, 4096> chunk{};
        DWORD errors = 0;
        COMSTAT stat{};
        const DWORD queued = ClearCommError(Handle(), &errors, &stat) != 0 ? stat.cbInQue : 0;
        const auto missing = static_cast<DWORD>(count - static_cast<int>(ahead_.size()));
        const DWORD want = std::min<DWORD>(std::max(missing, queued), chunk.size());
        DWORD r = 0;
        const auto sliceEnd = Clock::now() + std::chrono::milliseconds(ms);
        if (!SetTimeouts(0, ms, timeouts_.WriteTotalTimeoutConstant) ||
            ReadFile(Handle(), chunk.data(), want, &r, nullptr) == 0) {
            LineGone();
            break;
        }
        ahead_.append(chunk.data(), r);
        if (r == 0 && Clock::now() < sliceEnd - std::chrono::milliseconds(1)) {
            // Back early with nothing: a device that went away, else never spin on it.
            if (ClearCommError(Handle(), &errors, &stat) == 0) {
                LineGone();
            } else {
                Sleep(1);
            }
        }
    }
}

int Win32Port::Read(std::span<char> buffer, Deadline deadline) {
    std::size_t got = TakeAhead(buffer);
    while (got < buffer.size() && !HungUp()) {
        const DWORD ms = MillisecondsUntil(deadline);
        // No time left: take what is queued (MAXDWORD interval, no total: return at once).
        const bool ok = ms == 0 ? SetTimeouts(MAXDWORD, 0, 0) : SetTimeouts(0, ms, 0);
        DWORD r = 0;
        const auto want = static_cast<DWORD>(std::min<std::size_t>(buffer.size() - got, 1 << 20));
        if (!ok || ReadFile(Handle(), buffer.data() + got, want, &r, nullptr) == 0) {
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
    if (got == 0 && HungUp()) {
        return kComUnknownIoError;
    }
    return static_cast<int>(got);
}

int Win32Port::Write(std::span<const char> bytes, Deadline deadline) {
    if (HungUp()) {
        return kComUnknownIoError;
    }
    const DWORD ms = std::max<DWORD>(MillisecondsUntil(deadline), 1); // 0 would mean no limit
    DWORD written = 0;
    if (!SetTimeouts(timeouts_.ReadIntervalTimeout, timeouts_.ReadTotalTimeoutConstant, ms) ||
        WriteFile(Handle(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ==
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
    if (!HungUp() && ClearCommError(Handle(), &errors, &stat) == 0) {
        LineGone();
    }
    const int n = Queued();
    return n < 0 ? kComUnknownIoError : n;
}

int Win32Port::Purge(DWORD flags) {
    if (HungUp()) {
        return kComUnknownIoError;
    }
    return PurgeComm(Handle(), flags) != 0 ? 0 : LineGone();
}

int Win32Port::SetHandshake(bool on) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (HungUp()) {
        return kComUnknownIoError;
    }
    if (GetCommState(Handle(), &dcb) == 0) {
        return LineGone();
    }
    dcb.fOutxCtsFlow = on ? TRUE : FALSE;
    dcb.fRtsControl = on ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    return SetCommState(Handle(), &dcb) != 0 ? 0 : kComUnknownSystemError;
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
    case ERROR_PIPE_BUSY:
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
    if (IsNetAddress(device)) {
        return OpenNetPort(device, settings, error, reason); // a serial device server
    }
    if (!KnownRate(settings.baudRate)) {
        error = kComInvalidParameter;
        return nullptr;
    }
    // Share mode 0: the port is this program's alone while it is open.
    const std::wstring path = DevicePath(device);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PIPE_BUSY) {
        h = OpenBusyPipe(path);
    }
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD err = GetLastError();
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            error = kComNoPortFound; // a folder named as the port is no port, as a plain file
            reason = "cannot open " + device + ": not a serial port.";
            return nullptr;
        }
        error = MapOpenError(err);
        reason = OpenFailureReason(device, err);
        return nullptr;
    }
    if (GetFileType(h) == FILE_TYPE_PIPE) {
        return OpenPipePort(h, device, error, reason); // the virtual controller's line
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

} // namespace ovx::platform::detail
