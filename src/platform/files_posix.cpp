// The file OS interface on POSIX: open(2) with O_NONBLOCK, then fstat(2) on the descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/errors.h"
#include "platform/files_os.h"

namespace ovx::platform::detail {
namespace {

// Why an open failed: a name of another kind (a FIFO with no reader gives ENXIO to a writer, a
// folder EISDIR) or one that cannot be opened at all.
int OpenFailure(const char* path) {
    struct stat st {};
    return stat(path, &st) == 0 && !S_ISREG(st.st_mode) ? kFileNotRegular : kFileCannotOpen;
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

} // namespace ovx::platform::detail
