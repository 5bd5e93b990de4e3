#include "platform/line_file.h"

#include <cstring>
#include <map>
#include <string>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/files_os.h"

namespace ovx::platform {

namespace {

// Handle -> descriptor.
std::map<int, int>& Files() {
    static std::map<int, int> files;
    return files;
}

int nextHandle = 1;

} // namespace

int OpenLineFile(const char* file) {
    if (file == nullptr || *file == '\0') {
        return kFileCannotOpen;
    }
    int fd = -1;
    if (const int result = detail::OpenRegularFile(file, true, fd); result != 0) {
        return result; // a FIFO would hold the window until a reader came
    }
    const int handle = nextHandle++;
    Files()[handle] = fd;
    return handle;
}

int WriteLine(int handle, const char* line) {
    const auto it = Files().find(handle);
    if (it == Files().end() || line == nullptr) {
        return kFileInvalidArgument;
    }
    // One write per line; a line cut short (disk full, size limit) is taken back, so the file
    // holds whole lines only.
    std::string bytes(line);
    bytes += '\n';
    return detail::WriteWhole(it->second, bytes) ? 0 : kFileWriteFailed;
}

int CloseLineFile(int handle) {
    const auto it = Files().find(handle);
    if (it == Files().end()) {
        return kFileInvalidArgument;
    }
    detail::CloseFile(it->second);
    Files().erase(it);
    return 0;
}

int WriteTextFile(const char* file, const char* text) {
    if (file == nullptr || text == nullptr) {
        return kFileCannotOpen;
    }
    if (const int kind = RegularFileOrNone(file); kind != 0) {
        return kind;
    }
    RemoveSaveLeftovers(file);
    return detail::ReplaceFile(file, text, false);
}

} // namespace ovx::platform
