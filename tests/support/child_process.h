// A program run as a child process without Qt: its arguments, working directory and environment;
// standard output and standard error read as they come, each line with the time it arrived; the
// moment it ended, taken from the kernel's notice (a pidfd), not from a polling interval.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace ovx::testing {

class ChildProcess {
  public:
    using Clock = std::chrono::steady_clock;
    struct Line {
        Clock::time_point at; // when the line's end arrived
        std::string text;     // without the line end (a '\r' before it is dropped too)
    };
    struct Call {
        std::vector<std::string> argv; // argv[0]: a path, or a name looked up in PATH
        std::vector<std::pair<std::string, std::string>> env = {}; // set on top of this one's
        std::vector<std::string> unset = {};                       // removed from it
        std::string workingDir = {};                               // "" = this process's
    };

    ChildProcess() = default;
    ~ChildProcess(); // a child still running is killed
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False (with the reason in error) when the program could not be started.
    bool Start(const Call& call, std::string& error);
    // Until a line of stdout or stderr holds text; false after seconds.
    bool WaitForText(const std::string& text, double seconds);
    // Until the child has ended and its output is read; after seconds it is killed: false.
    bool Wait(double seconds);
    void Interrupt(); // SIGINT

    int ExitCode() const { return exitCode_; } // -signal when a signal ended it
    pid_t Pid() const { return pid_; }
    Clock::time_point StartedAt() const { return startedAt_; }
    Clock::time_point EndedAt() const { return endedAt_; }
    std::string Out() const;
    std::string Err() const;
    std::vector<std::string> OutLines() const { return Texts(out_); }
    std::vector<std::string> ErrLines() const { return Texts(err_); }
    // When the first line (of either stream) that holds text arrived.
    std::optional<Clock::time_point> LineAt(const std::string& text) const;

  private:
    struct Stream {
        int fd = -1;
        std::string text, partial;
        std::vector<Line> lines;
    };
    std::vector<std::string> Texts(const Stream& s) const;
    void ReadLoop();
    bool ReadSome(Stream& s); // false at the end of the stream
    void Reap(int status);

    pid_t pid_ = -1;
    int pidFd_ = -1;
    int exitCode_ = -1000;
    Clock::time_point startedAt_, endedAt_;
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    Stream out_, err_;
    bool ended_ = false; // the child has exited: the reader stops once the pipes are drained
    std::thread reader_;
};

} // namespace ovx::testing
