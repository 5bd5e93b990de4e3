#include "platform/line_file.h"

#include <QFile>
#include <QSaveFile>

#include <cstring>
#include <map>
#include <memory>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/files_os.h"

namespace ovx::platform {

namespace {

std::map<int, std::unique_ptr<QFile>>& Files() {
    static std::map<int, std::unique_ptr<QFile>> files;
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
    auto f = std::make_unique<QFile>();
    if (!f->open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        detail::CloseFile(fd);
        return kFileCannotOpen;
    }
    const int handle = nextHandle++;
    Files()[handle] = std::move(f);
    return handle;
}

int WriteLine(int handle, const char* line) {
    const auto it = Files().find(handle);
    if (it == Files().end() || line == nullptr) {
        return kFileInvalidArgument;
    }
    // One write per line; a line cut short (disk full, size limit) is taken back, so the file
    // holds whole lines only.
    QByteArray bytes(line, static_cast<qsizetype>(std::strlen(line)));
    bytes += '\n';
    QFile& f = *it->second;
    const qint64 before = f.pos();
    if (f.write(bytes) == bytes.size()) {
        return 0;
    }
    f.resize(before);
    f.seek(before);
    return kFileWriteFailed;
}

int CloseLineFile(int handle) {
    const auto it = Files().find(handle);
    if (it == Files().end()) {
        return kFileInvalidArgument;
    }
    it->second->close();
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
    QSaveFile out(QString::fromLocal8Bit(file));
    if (!out.open(QIODevice::WriteOnly)) {
        return kFileCannotOpen;
    }
    const auto n = static_cast<qsizetype>(std::strlen(text));
    if (out.write(text, n) != n || !out.commit()) {
        return kFileWriteFailed;
    }
    return 0;
}

} // namespace ovx::platform
