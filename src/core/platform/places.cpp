#include "platform/places.h"

#include <filesystem>
#include <system_error>

#include "platform/path_text.h"

#include "build_info.h"

namespace ovx::platform::detail {

namespace {

namespace fs = std::filesystem;

// name inside dir, as given when name is absolute.
std::string Join(const std::string& dir, const std::string& name) {
    if (!name.empty() && (name.front() == '/' || PathOf(name).is_absolute())) {
        return name;
    }
    if (dir.empty() || dir.back() == '/') {
        return dir + name;
    }
    return dir + "/" + name;
}

bool IsFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::status(PathOf(path), ec));
}

} // namespace

std::string CleanPath(const std::string& path) {
    std::string clean = TextOf(PathOf(path).lexically_normal());
    // "C:\" is a drive's root; "C:" alone would name the drive's current folder.
    const auto isDriveRoot = [](const fs::path& p) {
        return p.has_root_name() && !p.has_relative_path();
    };
    while (clean.size() > 1 &&
           (clean.back() == '/' || clean.back() == fs::path::preferred_separator) &&
           !isDriveRoot(PathOf(clean))) {
        clean.pop_back();
    }
    return clean;
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
