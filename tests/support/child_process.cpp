#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>

extern char** environ;

namespace ovx::testing {

namespace {

// The program's path: argv[0] itself when it names a path, else the first match in PATH (looked
// up before the fork: the child may only make async-signal-safe calls).
std::string ResolveProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t from = 0; from <= dirs.size();) {
        std::size_t to = dirs.find(':', from);
        to = to == std::string::npos ? dirs.size() : to;
        const std::string candidate = dirs.substr(from, to - from) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        from = to + 1;
    }
    return name;
}

std::vector<std::string> Environment(const ChildProcess::Call& call) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        const bool replaced =
            std::any_of(call.env.begin(), call.env.end(),
                        [&](const auto& nv) { return nv.first == name; }) ||
            std::find(call.unset.begin(), call.unset.end(), name) != call.unset.end();
        if (!replaced) {
            env.push_back(entry);
        }
    }
    for (const auto& [name, value] : call.env) {
        env.push_back(name + "=" + value);
    }
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// In the child: its output to the pipes, its input from /dev/null, then the program.
[[noreturn]] void Exec(const std::string& program, char** argv, char** envp, int outFd, int errFd,
                       const std::string& dir) {
    const int null = ::open("/dev/null", O_RDONLY);
    if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0 ||
        (!dir.empty() && ::chdir(dir.c_str()) != 0)) {
        ::_exit(127);
    }
    ::execve(program.c_str(), argv, envp);
    ::_exit(127);
}

} // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGKILL);
        Wait(5);
    }
    if (reader_.joinable()) {
        reader_.join();
    }
    for (int fd : {pidFd_, out_.fd, err_.fd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool ChildProcess::Start(const Call& call, std::string& error) {
    std::array<int, 2> out{-1, -1}, err{-1, -1};
    if (call.argv.empty() || ::pipe2(out.data(), O_CLOEXEC) != 0 ||
        ::pipe2(err.data(), O_CLOEXEC) != 0) {
        error = "no program or no pipe";
        return false;
    }
    const std::string program = ResolveProgram(call.argv[0]);
    std::vector<std::string> args = call.argv, env = Environment(call);
    std::vector<char*> argv = Pointers(args), envp = Pointers(env);
    startedAt_ = Clock::now();
    pid_ = ::fork();
    if (pid_ == 0) {
        Exec(program, argv.data(), envp.data(), out[1], err[1], call.workingDir);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_.fd = out[0];
    err_.fd = err[0];
    if (pid_ < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    // The system call itself: glibc 2.36's <sys/pidfd.h> declares it without C linkage.
    pidFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidFd_ < 0) {
        error = std::string("pidfd_open: ") + std::strerror(errno);
        ::kill(pid_, SIGKILL);
        Wait(5);
        return false;
    }
    reader_ = std::thread([this] { ReadLoop(); });
    return true;
}

void ChildProcess::ReadLoop() {
    for (;;) {
        std::array<pollfd, 2> fds{pollfd{out_.fd, POLLIN, 0}, pollfd{err_.fd, POLLIN, 0}};
        if (out_.fd < 0 && err_.fd < 0) {
            break;
        }
        bool ended = false;
        {
            std::lock_guard lock(mutex_);
            ended = ended_;
        }
        // Once the child has ended, what it wrote is already in the pipes: read it, then stop
        // (a process it left behind may hold the pipes open for long).
        const int ready = ::poll(fds.data(), fds.size(), ended ? 0 : 5);
        if (ready == 0 && ended) {
            break;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            Stream& s = i == 0 ? out_ : err_;
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
                !ReadSome(s)) {
                ::close(s.fd);
                s.fd = -1;
            }
        }
    }
    // A last line without its line end.
    std::lock_guard lock(mutex_);
    for (Stream* s : {&out_, &err_}) {
        if (!s->partial.empty()) {
            s->lines.push_back({Clock::now(), s->partial});
            s->partial.clear();
        }
    }
    arrived_.notify_all();
}

bool ChildProcess::ReadSome(Stream& s) {
    std::array<char, 4096> buffer{};
    const ssize_t n = ::read(s.fd, buffer.data(), buffer.size());
    if (n < 0) {
        return errno == EINTR || errno == EAGAIN;
    }
    if (n == 0) {
        return false;
    }
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    s.text.append(buffer.data(), static_cast<std::size_t>(n));
    s.partial.append(buffer.data(), static_cast<std::size_t>(n));
    for (std::size_t end; (end = s.partial.find('\n')) != std::string::npos;) {
        std::string line = s.partial.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        s.lines.push_back({now, line});
        s.partial.erase(0, end + 1);
    }
    arrived_.notify_all();
    return true;
}

bool ChildProcess::WaitForText(const std::string& text, double seconds) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
        return out_.text.find(text) != std::string::npos ||
               err_.text.find(text) != std::string::npos;
    });
}

bool ChildProcess::Wait(double seconds) {
    if (pid_ <= 0) {
        return false;
    }
    bool inTime = true;
    if (pidFd_ >= 0) {
        pollfd fd{pidFd_, POLLIN, 0};
        inTime = ::poll(&fd, 1, static_cast<int>(seconds * 1000)) == 1;
    }
    endedAt_ = Clock::now();
    if (!inTime) {
        ::kill(pid_, SIGKILL);
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    Reap(status);
    if (reader_.joinable()) {
        reader_.join();
    }
    return inTime;
}

void ChildProcess::Reap(int status) {
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    std::lock_guard lock(mutex_);
    ended_ = true;
}

void ChildProcess::Interrupt() {
    if (pid_ > 0 && !ended_) {
        ::kill(pid_, SIGINT);
    }
}

std::string ChildProcess::Out() const {
    std::lock_guard lock(mutex_);
    return out_.text;
}

std::string ChildProcess::Err() const {
    std::lock_guard lock(mutex_);
    return err_.text;
}

std::optional<ChildProcess::Clock::time_point> ChildProcess::LineAt(const std::string& text) const {
    std::lock_guard lock(mutex_);
    std::optional<Clock::time_point> at;
    for (const Stream* s : {&out_, &err_}) {
        for (const Line& line : s->lines) {
            if (line.text.find(text) != std::string::npos && (!at || line.at < *at)) {
                at = line.at;
            }
        }
    }
    return at;
}

std::vector<std::string> ChildProcess::Texts(const Stream& s) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const Line& line : s.lines) {
        texts.push_back(line.text);
    }
    return texts;
}

} // namespace ovx::testing
