// The small OS interface under the serial services: one open device with its line settings,
// reads and writes bounded by a deadline, the kernel input queue, and a hook that runs inside
// event processing when the input queue has reached a count. serial.cpp holds everything that
// is the same on every OS; one file per OS implements this (serial_posix.cpp).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace ovx::platform::detail {

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

// Already checked by the caller: parity 0 none, 1 odd, 2 even; dataBits 5..8; stopBits 1..2.
// The baud rate is checked by the OS layer (not every OS takes every rate).
struct LineSettings {
    long baudRate = 19200;
    int parity = 0;
    int dataBits = 8;
    int stopBits = 1;
};

// The largest receive count that the OS can wait for in one go (termios VMIN is one byte).
constexpr int kMaxWaitCount = 255;

class OsPort {
  public:
    OsPort() = default;
    OsPort(const OsPort&) = delete;
    OsPort& operator=(const OsPort&) = delete;
    virtual ~OsPort() = default; // releases the device; safe inside the readable hook

    // Reads until buffer is full or the deadline passes; returns the count read. Returns
    // kComUnknownIoError when the line is gone and nothing was read.
    virtual int Read(std::span<char> buffer, Deadline deadline) = 0;
    // Writes all bytes unless the deadline passes; returns the count written, kComTimeout when
    // not one byte went out in time, or kComUnknownIoError when the line is gone.
    virtual int Write(std::span<const char> bytes, Deadline deadline) = 0;
    // Bytes in the kernel input queue, or kComUnknownIoError.
    virtual int InQueueLength() = 0;
    // Waits (without processing events) until the input queue holds more than `have` bytes or
    // the deadline passes. Never returns early on a dead line: it sleeps out the wait instead.
    virtual void WaitForMoreThan(int have, Deadline deadline) = 0;
    // Waits (without processing events) until the input queue holds at least count
    // (1..kMaxWaitCount) bytes, the deadline passes or InterruptWaits was called; one wake-up,
    // never a spin. A dead line is slept out. Returns the queue length, or kComUnknownIoError.
    virtual int WaitForCount(int count, Deadline deadline) = 0;
    virtual int FlushIn() = 0;
    virtual int FlushOut() = 0;
    virtual int SetHandshake(bool on) = 0;
    // True once the device side has hung up; the port is then useless until reopened.
    virtual bool HungUp() const = 0;

    // The hook runs inside event processing of the UI thread while it is enabled and at least
    // count (1..kMaxWaitCount) bytes are queued: it runs again and again while they stay queued.
    // An empty hook removes it. Without a hook the count has no effect.
    virtual void SetReadableHook(std::function<void()> hook) = 0;
    virtual void SetReadableCount(int count) = 0;
    virtual void EnableReadableHook(bool on) = 0;
};

// Ends every running WaitForCount at once, and makes every later one return at once too.
// Async-signal-safe: a signal handler may call it.
void InterruptWaits();
bool WaitsInterrupted();
// Waits wait again after an interrupt was handled.
void ResumeWaits();
// Sleeps until the deadline, or less when InterruptWaits is called.
void SleepUnlessInterrupted(Deadline deadline);

// A serial device of the machine: its path, a text for the operator ("USB-Serial Controller,
// USB 067b:2303 #A1B2": product, USB ids and serial number) and its identity ("067b:2303#A1B2";
// "" for a device without USB ids, known by its path alone).
struct SerialDevice {
    std::string device;
    std::string description;
    std::string identity;
};
// The serial devices present, in no particular order, as the kernel's class list of ttys
// (sysClassTty; tests give a tree of their own) shows them.
std::vector<SerialDevice> ListSerialDevices(const std::string& sysClassTty = "/sys/class/tty");

// The number the system itself gives the port of device ("COM3" is port 3 on Windows), or 0
// where ports are numbered in the order they are found (POSIX).
int SystemPortNumber(const std::string& device);
// The device of port number port where the system numbers its ports ("COM3"), else "".
std::string SystemPortDevice(int port);

// Opens and configures device in raw mode with exclusive access. On failure returns nullptr,
// sets error to a ComError and reason to one line for the trace ("cannot open DEVICE: ..."),
// which names the usual fix when the device may not be opened for lack of permission.
std::unique_ptr<OsPort> OpenOsPort(const std::string& device, const LineSettings& settings,
                                   int& error, std::string& reason);

} // namespace ovx::platform::detail
