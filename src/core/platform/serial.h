// Serial port services. Ports are numbered from 1 and found through the port table: the serial
// ports of the machine in the order the OS lists them, plus any RegisterPort() given on the
// command line (a pty path works). The OS's own kernel queue is the input queue.
//
// Every call returns a negative ComError (errors.h) on failure:
//   kComInvalidPortNumber  port < 1 or > kMaxPorts
//   kComPortNotOpen        any call but OpenComConfig/CloseCom on a port that is not open
//   kComNoPortFound        OpenComConfig on a number with no device, or a device path that
//                          does not exist
//   kComCannotOpenPort     device busy or permission denied
//   kComInvalidParameter   OpenComConfig with settings the OS does not take
//   kComUnknownIoError     read or write failure on an open port (device gone)
// CloseCom on a port that is not open is harmless and returns 0.
// All calls are made from the user-interface thread.
#pragma once

#include <string>
#include <vector>

namespace ovx::platform {

constexpr int kMaxPorts = 255;

// Receive notification. eventWord carries kEvNotifyCount (0x8000) when the input queue has
// reached the notify count. Delivered only on the UI thread inside event processing (the
// window's RunUserInterface or ProcessSystemEvents, or a WaitForEvents turn without a window),
// never while the callback itself runs, and not again for the same queued bytes unless more
// arrive.
constexpr int kEvNotifyCount = 0x8000;
using ComCallback = void (*)(int port, int eventWord, void* callbackData);

// Port table. RegisterPort maps a number to a device path (overrides a discovered port).
void RegisterPort(int port, const std::string& device);
struct PortInfo {
    int port;
    std::string device;      // e.g. "/dev/ttyUSB0" or a pty path
    std::string description; // e.g. USB product text; may be empty
};
std::vector<PortInfo> ListPorts(); // sorted by number

// deviceName "" means: the device of the port table. Returns 0 on success. On a port that is
// already open it closes the port first: the notification is removed, the time-out is 10 s again.
int OpenComConfig(int port, const char* deviceName, long baudRate, int parity, int dataBits,
                  int stopBits, int inputQueueSize, int outputQueueSize);
int CloseCom(int port);
// Called after every OpenComConfig: reason is "" after a successful open, else the line the
// trace shows ("cannot open DEVICE: permission denied. The device belongs to group dialout: ...").
using PortOpenHook = void (*)(int port, const char* reason);
void SetPortOpenHook(PortOpenHook hook); // nullptr = none
// Time-out for ComRd and ComWrt, seconds. Default after opening: 10 s.
int SetComTime(int port, double timeoutSeconds);
int SetCTSMode(int port, int mode); // 0 = no hardware handshake
int FlushInQ(int port);
int FlushOutQ(int port);
// Writes count bytes; returns the count written (== count unless the time-out passed), or
// kComTimeout when not one byte went out within the time-out.
int ComWrt(int port, const char* buffer, int count);
// Blocks until count bytes have been read or the time-out passed; returns the count read.
int ComRd(int port, char* buffer, int count);
// Bytes waiting in the input queue, also when no events are processed. Called again in a
// polling loop with the queue unchanged, it waits in the OS (at most ~1 ms) for the queue to
// grow instead of returning at once, so polling loops do not burn a core.
int GetInQLen(int port);
// Waits without processing events until the input queue holds at least count (1..255) bytes,
// timeoutSeconds pass or InterruptComWaits is called: one wake-up in the OS, exact to the
// time-out. Returns the queue length then (fewer than count on time-out or interrupt), or a
// ComError. A line whose device hung up is waited out like a silent one.
int WaitInQLen(int port, int count, double timeoutSeconds);
// Ends every running WaitInQLen at once; every later one returns at once too. Safe inside a
// signal handler (Ctrl-C).
void InterruptComWaits();
bool ComWaitsInterrupted();
// WaitInQLen waits again, after the interrupt was handled.
void ResumeComWaits();
// While on, InterruptComWaits also ends a ComRd that waits, with the bytes queued by then; off
// (the default) a read waits out its time-out whatever comes.
void SetComReadsInterruptible(bool on);
// eventMask 0 or callback nullptr removes the notification. Only kEvNotifyCount is reported;
// with it, notifyCount must be 1..255 (else kComInvalidParameter).
int InstallComCallback(int port, int eventMask, int notifyCount, int eventCharacter,
                       ComCallback callback, void* callbackData);

} // namespace ovx::platform
