// The measurement-file reader and the table build: any file content either builds a whole
// non-decreasing table of 1024 entries into all four page images, or is refused with the images
// as they were.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "params/lintable.h"

using namespace ovx;
using fuzz::Check;

namespace {

// The file is written in a scratch folder, which is also the working directory: the table
// file is written there under its bare name.
const std::string& ScratchFile() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string folder = std::string(dir != nullptr ? dir : "/tmp") + "/ovx_fuzz_table_" +
                             std::to_string(getpid());
        Check(mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST, "scratch folder made");
        Check(chdir(folder.c_str()) == 0, "scratch folder entered");
        return folder + "/" + params::kMeasurementFile;
    }();
    return path;
}

std::int32_t* Page(int p) {
    std::int32_t* pages[] = {params::flashp4, params::flashp5, params::flashp6, params::flashp7};
    return pages[p];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = ScratchFile();
    FILE* f = std::fopen(path.c_str(), "wb");
    Check(f != nullptr && std::fwrite(data, 1, size, f) == size, "scratch file written");
    std::fclose(f);
    for (int p = 0; p < 4; ++p) {
        std::fill_n(Page(p), params::kPageSize, -7); // what a refusal must leave
    }
    char error[260] = {};
    const int rc = params::ReadCorrData(path.c_str(), error, sizeof error);
    Check(rc == 0 || rc == 1, "built or refused");
    for (int n = 0; n < params::kTableSize; ++n) {
        const std::int32_t word = Page(n / params::kPageSize)[n % params::kPageSize];
        if (rc == 1) {
            Check(word == params::vcorr[2 * params::kTableSize + n], "every page holds the table");
            Check(n == 0 || word >= Page((n - 1) / params::kPageSize)[(n - 1) % params::kPageSize],
                  "the table does not decrease");
        } else {
            Check(word == -7, "a refused file changes no page");
        }
    }
    Check(rc == 1 || std::strncmp(error, "error :", 7) == 0, "a refusal is named");
    return 0;
}
