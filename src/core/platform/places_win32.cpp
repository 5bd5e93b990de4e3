// Where the user's folders are on Windows: the profile folder and the known Documents folder.
#include <windows.h>

#include <shlobj.h>

#include <string>

#include "platform/places.h"
#include "platform/text_win32.h"

namespace ovx::platform::detail {

namespace {

// A folder the system knows by id; "" when it cannot tell.
std::string KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK) {
        folder = TextFromWide(path);
    }
    CoTaskMemFree(path);
    return folder;
}

} // namespace

std::string HomeDir() {
    const std::string home = KnownFolder(FOLDERID_Profile);
    return home.empty() ? "C:\\" : home;
}

std::string DocumentsDir() {
    const std::string docs = KnownFolder(FOLDERID_Documents);
    return docs.empty() ? HomeDir() + "\\Documents" : docs;
}

} // namespace ovx::platform::detail
