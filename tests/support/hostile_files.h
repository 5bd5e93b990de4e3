// Names that are no ordinary file for the tool to read, write or open as a port: a folder, a FIFO,
// a link to a FIFO, a file far larger than any the tool reads, /dev/null; and a file system that
// takes no more bytes.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

namespace ovx::testing {

enum class Hostile {
    kDirectory,
    kFifo,       // with nobody at the other end: an open without O_NONBLOCK waits for ever
    kLinkToFifo, // path is a link to a FIFO beside it
    kHuge,       // a sparse file of kHugeBytes: refused without reading it all
    kRegularFile,
    kDevNull, // path is a link to /dev/null
};

constexpr long long kHugeBytes = 101LL << 20;

// Makes path into kind; false when it cannot be made.
inline bool MakeHostile(Hostile kind, const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    switch (kind) {
    case Hostile::kDirectory:
        return fs::create_directory(path, ec);
    case Hostile::kFifo:
        return mkfifo(path.c_str(), 0600) == 0;
    case Hostile::kLinkToFifo:
        return mkfifo((path + ".fifo").c_str(), 0600) == 0 &&
               symlink((path + ".fifo").c_str(), path.c_str()) == 0;
    case Hostile::kHuge: {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const bool sized = fd >= 0 && ftruncate(fd, kHugeBytes) == 0;
        return (fd < 0 || close(fd) == 0) && sized;
    }
    case Hostile::kRegularFile:
        return static_cast<bool>(std::ofstream(path) << "not a serial port\n");
    case Hostile::kDevNull:
        return symlink("/dev/null", path.c_str()) == 0;
    }
    return false;
}

// The kind of node at path itself (S_IFMT of lstat), 0 when there is none: a save must leave a
// FIFO, a link or a folder as it found it.
inline unsigned NodeType(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? st.st_mode & S_IFMT : 0u;
}

// Holds both ends of a FIFO open (O_RDWR), so that the tool's open for writing never waits: a
// write that is not refused shows as a test failure, not as a hang.
class FifoPeer {
  public:
    explicit FifoPeer(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_CLOEXEC)) {}
    ~FifoPeer() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FifoPeer(const FifoPeer&) = delete;
    FifoPeer& operator=(const FifoPeer&) = delete;
    bool Ok() const { return fd_ >= 0; }

  private:
    int fd_;
};

// While it lives, files of this process may grow no further than bytes, as on a full file
// system: a write beyond fails (EFBIG) instead of raising SIGXFSZ.
class FullFileSystem {
  public:
    explicit FullFileSystem(rlim_t bytes) : saved_(), ok_(getrlimit(RLIMIT_FSIZE, &saved_) == 0) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight = saved_;
        tight.rlim_cur = bytes;
        ok_ = ok_ && setrlimit(RLIMIT_FSIZE, &tight) == 0;
        restore_ = ok_;
    }
    ~FullFileSystem() {
        if (restore_) {
            setrlimit(RLIMIT_FSIZE, &saved_);
        }
        std::signal(SIGXFSZ, oldHandler_);
    }
    FullFileSystem(const FullFileSystem&) = delete;
    FullFileSystem& operator=(const FullFileSystem&) = delete;
    bool Ok() const { return ok_; }

  private:
    rlimit saved_;
    bool ok_;
    bool restore_ = false;
    void (*oldHandler_)(int) = SIG_DFL;
};

} // namespace ovx::testing
