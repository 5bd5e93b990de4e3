// The serial OS interface on Windows: a COM port opened exclusively, DCB line settings without
// handshake, reads bounded by COMMTIMEOUTS, and the input-queue length from ClearCommError.
// WaitCommEvent is not used (some drivers and emulations abort every wait): the waits for queued
// bytes are those of every Windows port (polled_port_win32.h). A named pipe opened by its
// device name is the virtual controller's line (pipe_port_win32.h).
#include <windows.h>

#include <algorithm>
#include <array>
#include <string>

#include "platform/errors.h"
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

class Win32Port final : public PolledPort {
  public:
    explicit Win32Port(HANDLE handle) : PolledPort(handle) {}

    int Read(std::span<char> buffer, Deadline deadline) override;
    int Write(std::span<const char> bytes, Deadline deadline) override;
    int FlushIn() override { return Purge(PURGE_RXCLEAR | PURGE_RXABORT); }
    int FlushOut() override { return Purge(PURGE_TXCLEAR | PURGE_TXABORT); }
    int SetHandshake(bool on) override;

  private:
    int Purge(DWORD flags);
    bool SetTimeouts(DWORD readIntervalMs, DWORD readTotalMs, DWORD writeTotalMs);
    int Queued() const override;

    COMMTIMEOUTS timeouts_{};
};

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

int Win32Port::Queued() const {
    DWORD errors = 0;
    COMSTAT stat{};
    if (HungUp() || ClearCommError(Handle(), &errors, &stat) == 0) {
        return -1;
    }
    return static_cast<int>(std::min<DWORD>(stat.cbInQue, 0x7fffffff));
}

int Win32Port::Read(std::span<char> buffer, Deadline deadline) {
    std::size_t got = 0;
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
