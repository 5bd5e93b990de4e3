#include "platform/places.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "build_info.h"

namespace ovx::platform::detail {

namespace {

namespace fs = std::filesystem;

// name inside dir, as given when name is absolute.
std::string Join(const std::string& dir, const std::string& name) {
    if (!name.empty() && name.front() == '/') {
        return name;
    }
    if (dir.empty() || dir.back() == '/') {
        return dir + name;
    }
    return dir + "/" + name;
}

bool IsFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::status(path, ec));
}

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

std::string CleanPath(const std::string& path) {
    std::string clean = fs::path(path).lexically_normal().string();
    while (clean.size() > 1 && clean.back() == '/') {
        clean.pop_back();
    }
    return clean;
}

std::string HomeDir() {
    const std::string home = Environment("HOME");
    return home.empty() ? "/" : home;
}

std::string DocumentsDir() {
    const std::string docs = XdgUserDir("DOCUMENTS");
    return docs.empty() ? HomeDir() + "/Documents" : docs;
}

std::vector<std::string> ShippedFileDirs(const std::string& binaryDir) {
    return {binaryDir, CleanPath(Join(binaryDir, kDataDirFromBinDir))};
}

std::string FindShippedFile(const std::string& name, const std::vector<std::string>& dirs,
                            const std::string& workingDir) {
    for (const std::string& dir : dirs) {
        const std::string path = Join(dir, name);
        if (IsFile(path)) {
            return path;
        }
    }
    return Join(workingDir, name);
}

std::string ChooseProgramDir(const std::string& shippedName, const std::string& binaryDir,
                             const std::string& documentsDir, const std::string& folder) {
    if (IsFile(Join(binaryDir, shippedName))) {
        return binaryDir;
    }
    return CleanPath(Join(documentsDir, folder));
}

} // namespace ovx::platform::detail
