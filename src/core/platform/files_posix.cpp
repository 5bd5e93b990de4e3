// The file OS interface on POSIX: open(2) with O_NONBLOCK, then fstat(2) on the descriptor;
// atomic saves through a temporary file, fsync(2) and rename(2).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/errors.h"
#include "platform/files_os.h"
#include "platform/places.h"

namespace ovx::platform::detail {
namespace {

// Why an open failed: a name of another kind (a FIFO with no reader gives ENXIO to a writer, a
// folder EISDIR) or one that cannot be opened at all.
int OpenFailure(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 && !S_ISREG(st.st_mode) ? kFileNotRegular : kFileCannotOpen;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t w = write(fd, bytes.data(), bytes.size());
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(w));
    }
    return true;
}

// What a save replaces: the file a link names (the link stays), else path itself.
std::string SaveTarget(const char* path) {
    std::error_code ec;
    const std::filesystem::path p(path);
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(p, ec))) {
        return path;
    }
    const std::filesystem::path to = std::filesystem::canonical(p, ec); // a chain of links too
    return ec ? std::string(path) : to.string();
}

// Creates a new temporary file beside target: with the permissions of the file it replaces
// (existing), else as any new file (0666 less the umask). Its descriptor, or -errno.
int MakeTemporary(const std::string& target, const struct stat* existing, std::string& temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = target + "." + TemporarySuffix();
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            if (existing != nullptr) {
                fchmod(fd, existing->st_mode & 07777);
            }
            return fd;
        }
        if (errno != EEXIST) {
            return -errno;
        }
    }
    return -EEXIST;
}

int WriteInPlace(const char* path, std::string_view bytes) {
    int fd = -1;
    if (const int result = OpenRegularFile(path, true, fd); result != 0) {
        return result;
    }
    const bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
    return close(fd) == 0 && written ? 0 : kFileWriteFailed;
}

} // namespace

int OpenRegularFile(const char* path, bool forWriting, int& fd) {
    const int access = forWriting ? O_WRONLY | O_CREAT : O_RDONLY;
    const int opened = open(path, access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (opened < 0) {
        return OpenFailure(path);
    }
    struct stat st {};
    const int kind = fstat(opened, &st) != 0 ? kFileCannotOpen
                     : S_ISREG(st.st_mode)   ? 0
                                             : kFileNotRegular;
    if (kind != 0) {
        close(opened);
        return kind;
    }
    const int flags = fcntl(opened, F_GETFL);
    if (flags < 0 || fcntl(opened, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        (forWriting && ftruncate(opened, 0) != 0)) {
        close(opened);
        return kFileCannotOpen;
    }
    fd = opened;
    return 0;
}

void CloseFile(int fd) {
    close(fd);
}

bool ReadUpTo(int fd, std::size_t limit, std::string& text) {
    text.clear();
    std::array<char, 65536> chunk{};
    while (text.size() < limit) {
        const ssize_t r = read(fd, chunk.data(), std::min(chunk.size(), limit - text.size()));
        if (r == 0) {
            return true;
        }
        if (r < 0 && errno != EINTR) {
            return false;
        }
        if (r > 0) {
            text.append(chunk.data(), static_cast<std::size_t>(r));
        }
    }
    return true;
}

bool WriteWhole(int fd, std::string_view bytes) {
    const off_t before = lseek(fd, 0, SEEK_CUR);
    if (WriteAll(fd, bytes)) {
        return true;
    }
    if (before >= 0 && ftruncate(fd, before) == 0) {
        lseek(fd, before, SEEK_SET);
    }
    return false;
}

int ReplaceFile(const char* path, std::string_view bytes, bool inPlaceFallback) {
    const std::string target = SaveTarget(path);
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists && access(target.c_str(), W_OK) != 0) {
        return kFileCannotOpen; // a read-only file stays so
    }
    std::string temp;
    const int fd = MakeTemporary(target, exists ? &st : nullptr, temp);
    if (fd < 0) {
        const int err = -fd;
        const bool noTemporary = err == EACCES || err == EPERM || err == EROFS;
        return noTemporary && inPlaceFallback ? WriteInPlace(path, bytes) : kFileCannotOpen;
    }
    // Flushed to the disk before the rename: after a crash the target is the old file or the new.
    const bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
    if (close(fd) != 0 || !written || rename(temp.c_str(), target.c_str()) != 0) {
        unlink(temp.c_str());
        return kFileWriteFailed;
    }
    return 0;
}

std::string BinaryDir() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        return exe.parent_path().string();
    }
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    return ec ? std::string(".") : cwd.string();
}

} // namespace ovx::platform::detail
