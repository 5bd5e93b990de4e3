// Where the user's folders are on Windows: the profile folder and the known Documents folder.
#include <windows.h>

#include <shlobj.h>

#include <string>

#include "platform/places.h"
#include "platform/text_win32.h"

namespace ovx::platform::detail {

std::string HomeDir() {
    wchar_t* path = nullptr;
    std::string home;
    if (SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &path) == S_OK) {
        home = TextFromWide(path);
    }
    CoTaskMemFree(path);
    return home.empty() ? "C:\\" : home;
}

std::string DocumentsDir() {
    wchar_t* path = nullptr;
    std::string docs;
    if (SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path) == S_OK) {
        docs = TextFromWide(path);
    }
    CoTaskMemFree(path);
    return docs.empty() ? HomeDir() + "\\Documents" : docs;
}

} // namespace ovx::platform::detail
