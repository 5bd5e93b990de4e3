// A temporary directory for the files a test writes, removed afterwards; optionally the working
// directory for the test's duration (the table file is written under its bare name).
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace ovx::testing {

class ScratchDir {
  public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ovx-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchDir() {
        if (!oldCwd_.empty()) {
            std::filesystem::current_path(oldCwd_);
        }
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool Valid() const { return !path_.empty(); }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    void MakeWorkingDirectory() {
        oldCwd_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }

  private:
    std::string path_;
    std::filesystem::path oldCwd_;
};

inline void WriteText(const std::string& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

inline std::string ReadText(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The pieces of text between separators; a text ending in one ends with an empty piece.
inline std::vector<std::string> SplitText(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1) {
        parts.push_back(text.substr(from, at - from));
    }
    parts.push_back(text.substr(from));
    return parts;
}

// The names of the entries of a directory that are not directories (files, links, also hidden
// ones), sorted.
inline std::vector<std::string> FileNames(const std::string& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (!entry.is_directory(ec) || entry.is_symlink(ec)) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Every integer of a text file, in file order.
inline std::vector<long long> ReadIntegers(const std::string& file) {
    std::istringstream in(ReadText(file));
    std::vector<long long> values;
    for (long long v = 0; in >> v;) {
        values.push_back(v);
    }
    return values;
}

} // namespace ovx::testing
