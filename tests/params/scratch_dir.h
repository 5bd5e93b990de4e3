// A temporary directory for the files a test writes, removed afterwards; optionally the working
// directory for the test's duration (the table file is written under its bare name).
#pragma once

#include <unistd.h>

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
