// The virtual controller on a pseudo-terminal: a thread serves the device model on the pty
// master; the tool opens the slave path like any serial device, and may close and reopen it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/device_model.h"
#include "sim/faults.h"

namespace ovx::sim {

struct HostOptions {
    bool lineEmulation = true;   // pace every byte at 19200 baud (10 bits per byte)
    double replyLatencyMs = 2.0; // controller's think time before a reply
    std::string eepromFile;      // "" = EEPROM kept in memory only
    std::string symlink;         // "" = none; else a symlink to the slave path
    bool logOrders = false;      // one line per received order on stderr
    Faults faults;
};

class PtyHost {
  public:
    explicit PtyHost(HostOptions options);
    ~PtyHost(); // stops the thread and closes the pty
    PtyHost(const PtyHost&) = delete;
    PtyHost& operator=(const PtyHost&) = delete;

    // Creates the pty and starts serving. false with a reason in error on failure.
    bool Start(std::string& error);
    void Stop();
    const std::string& DevicePath() const; // the slave path, e.g. /dev/pts/5

    // Thread-safe: takes effect at the next request. Restarts the count of dropped live
    // replies, so "every k-th" counts from the call.
    void SetFaults(const Faults& faults);
    // The model; lock it while reading from another thread than the host's.
    DeviceModel& Model();
    std::mutex& ModelMutex();
    // Number of whole requests received so far.
    int RequestCount() const;
    // Thread-safe: every whole request received so far, in order of arrival.
    std::vector<link::FrameBytes> Requests() const;
    // true once the line was closed by the unplug fault (the slave path is gone then).
    bool IsUnplugged() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace ovx::sim
