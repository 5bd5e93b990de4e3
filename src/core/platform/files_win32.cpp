// The file OS interface on Windows: CreateFileW on the UTF-16 path, then GetFileType on the
// handle (a device name such as NUL or COM1 opens a device, never a file); the handle becomes a
// C runtime descriptor. Atomic saves through a temporary file, FlushFileBuffers and
// MoveFileExW, which replaces the old file in one step.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <array>
#include <string>

#include "platform/errors.h"
#include "platform/files_os.h"
#include "platform/places.h"
#include "platform/text_win32.h"

// windows.h names its own ReplaceFileW so; ours is the one of files_os.h.
#undef ReplaceFile

namespace ovx::platform::detail {
namespace {

// Why an open failed: a name of another kind (a folder, a device) or one that cannot be opened.
int OpenFailure(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return kFileNotRegular;
    }
    return kFileCannotOpen;
}

bool WriteAll(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (WriteFile(h, bytes.data(), chunk, &written, nullptr) == 0 || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// Creates a new temporary file beside target; its handle, or INVALID_HANDLE_VALUE with error.
HANDLE MakeTemporary(const std::string& target, std::wstring& temp, DWORD& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = WideFromText(target + "." + TemporarySuffix());
        const HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        error = GetLastError();
        if (h != INVALID_HANDLE_VALUE || error != ERROR_FILE_EXISTS) {
            return h;
        }
    }
    return INVALID_HANDLE_VALUE;
}

int WriteInPlace(const char* path, std::string_view bytes) {
    int fd = -1;
    if (const int result = OpenRegularFile(path, true, fd); result != 0) {
        return result;
    }
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    const bool written = WriteAll(h, bytes) && FlushFileBuffers(h) != 0;
    return _close(fd) == 0 && written ? 0 : kFileWriteFailed;
}

} // namespace

int OpenRegularFile(const char* path, bool forWriting, int& fd) {
    const std::wstring wide = WideFromText(path);
    const DWORD access = forWriting ? GENERIC_WRITE : GENERIC_READ;
    const DWORD share = FILE_SHARE_READ | (forWriting ? 0 : FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    const HANDLE h =
        CreateFileW(wide.c_str(), access, share, nullptr, forWriting ? OPEN_ALWAYS : OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return OpenFailure(wide);
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return kFileNotRegular;
    }
    if (forWriting && SetEndOfFile(h) == 0) {
        CloseHandle(h);
        return kFileCannotOpen;
    }
    const int opened =
        _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | (forWriting ? 0 : _O_RDONLY));
    if (opened < 0) {
        CloseHandle(h);
        return kFileCannotOpen;
    }
    fd = opened;
    return 0;
}

void CloseFile(int fd) {
    _close(fd);
}

bool ReadUpTo(int fd, std::size_t limit, std::string& text) {
    text.clear();
    std::array<char, 65536> chunk{};
    while (text.size() < limit) {
        const auto want = static_cast<unsigned>(std::min(chunk.size(), limit - text.size()));
        const int r = _read(fd, chunk.data(), want);
        if (r == 0) {
            return true;
        }
        if (r < 0) {
            return false;
        }
        text.append(chunk.data(), static_cast<std::size_t>(r));
    }
    return true;
}

bool WriteWhole(int fd, std::string_view bytes) {
    const __int64 before = _lseeki64(fd, 0, SEEK_CUR);
    const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (h != INVALID_HANDLE_VALUE && WriteAll(h, bytes)) {
        return true;
    }
    if (before >= 0 && _chsize_s(fd, before) == 0) {
        _lseeki64(fd, before, SEEK_SET);
    }
    return false;
}

int ReplaceFile(const char* path, std::string_view bytes, bool inPlaceFallback) {
    const std::string target = path;
    const std::wstring wideTarget = WideFromText(target);
    const DWORD attributes = GetFileAttributesW(wideTarget.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return kFileCannotOpen; // a read-only file stays so
    }
    std::wstring temp;
    DWORD error = 0;
    const HANDLE h = MakeTemporary(target, temp, error);
    if (h == INVALID_HANDLE_VALUE) {
        const bool noTemporary = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
        return noTemporary && inPlaceFallback ? WriteInPlace(path, bytes) : kFileCannotOpen;
    }
    // Flushed to the disk before the move: after a crash the target is the old file or the new.
    const bool written = WriteAll(h, bytes) && FlushFileBuffers(h) != 0;
    if (CloseHandle(h) == 0 || !written ||
        MoveFileExW(temp.c_str(), wideTarget.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        DeleteFileW(temp.c_str());
        return kFileWriteFailed;
    }
    return 0;
}

std::string BinaryDir() {
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0) {
            return ".";
        }
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);
    }
    const auto slash = exe.find_last_of(L"\\/");
    return TextFromWide(slash == std::wstring::npos ? L"." : exe.substr(0, slash));
}

} // namespace ovx::platform::detail
