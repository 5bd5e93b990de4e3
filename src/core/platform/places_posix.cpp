// Where the user's folders are on POSIX: $HOME, and the documents folder that the XDG
// user-dirs file names.
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/places.h"

namespace ovx::platform::detail {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The folder that user-dirs.dirs names for key ("DOCUMENTS"): the line XDG_<key>_DIR="..." that
// comes last, quotes dropped, a leading $HOME replaced; "" when the file names none.
std::string XdgUserDir(const std::string& key) {
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty()) {
        config = HomeDir() + "/.config";
    }
    std::ifstream in(config + "/user-dirs.dirs");
    const std::string head = "XDG_" + key + "_DIR=";
    std::string result;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(head, 0) != 0) {
            continue;
        }
        std::string value = line.substr(head.size());
        if (value.size() > 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        result = value.rfind("$HOME", 0) == 0 ? HomeDir() + value.substr(5) : value;
        if (result.size() > 1 && result.back() == '/') {
            result.pop_back();
        }
    }
    return result;
}

} // namespace

std::string HomeDir() {
    const std::string home = Environment("HOME");
    return home.empty() ? "/" : home;
}

std::string DocumentsDir() {
    const std::string docs = XdgUserDir("DOCUMENTS");
    return docs.empty() ? HomeDir() + "/Documents" : docs;
}

} // namespace ovx::platform::detail
