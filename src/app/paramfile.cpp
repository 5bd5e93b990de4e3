#include "app/paramfile.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "link/com232.h"
#include "params/gui.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/plot.h"

namespace ovx::app {

char file_name[260];
char proj_dir[260];

namespace {

using Transfer = std::array<std::uint32_t, kParamFileWords>;

// One group of 16 unsigned integers, one per line, field width 4 (wider values in full).
constexpr int kGroups = 1, kOrder = 0, kLayout = 0, kColSep = 0, kWidth = 4, kText = 1,
              kReplace = 0;

// A file is counted whole, up to this many values: a file of another kind (a measurement file
// of 2048) is then named by its count. A longer file is far too large for a parameter file.
constexpr int kCountedValues = 4096;

const char* LoadErrorText(int code) {
    switch (code) {
    case platform::kFileBadValue:
        return "error : parameter file holds a value that is not an integer!";
    case platform::kFileNotRegular:
        return "error : parameter file is not a regular file!";
    case platform::kFileTooLarge:
        return "error : parameter file is far too large to hold 16 values!";
    default:
        return "error : cannot read parameter file!";
    }
}

// Reads every integer of file_name; 16 of them go into words. 0, a FileError, or
// kFileTooFewValues when the file holds another count (in count).
int ReadWords(Transfer& words, std::size_t& count) {
    std::vector<std::vector<std::int64_t>> rows;
    const int rc = platform::FileToRows(file_name, platform::kTypeUInt, kCountedValues, rows);
    if (rc < 0) {
        return rc;
    }
    std::vector<std::int64_t> values;
    for (const auto& row : rows) {
        values.insert(values.end(), row.begin(), row.end());
    }
    count = values.size();
    if (count != words.size()) { // not a parameter file, however its first values look
        return platform::kFileTooFewValues;
    }
    std::copy(values.begin(), values.end(), words.begin());
    return 0;
}

} // namespace

int SendParaToFile() {
    params::GetPanelValues();
    link::CopyVarsToPP();
    Transfer words{};
    for (int i = 0; i < kParamFileWords; ++i) {
        words[i] = link::pp[i]; // zero-extended
    }
    const int written =
        platform::ArrayToFile(file_name, words.data(), platform::kTypeUInt, kParamFileWords,
                              kGroups, kOrder, kLayout, kColSep, kWidth, kText, kReplace);
    if (written == platform::kFileNotRegular) {
        link::SetStatus("error : parameter file is not a regular file - nothing written!");
        return -1;
    }
    if (written < 0) {
        link::SetStatus("error : cannot write parameter file!");
        return -1;
    }
    return 1;
}

int ReadParaFromFile() {
    const int chosen =
        platform::FileSelectPopup(proj_dir, kParamFileName, kParamFileFilter, kParamFileTitle,
                                  kPopupLoad, 0, 1, 1, 1, file_name);
    if (chosen < 0) {
        link::SetStatus(kPathTooLongText);
        return -1;
    }
    if (chosen == 0) {
        return 0;
    }
    Transfer words{};
    std::size_t count = 0;
    const int rc = ReadWords(words, count);
    if (rc == platform::kFileTooFewValues) { // nothing of a file of another count is taken
        char text[link::kStatusSize];
        std::snprintf(text, sizeof text, "error : parameter file holds %zu values, not %d!", count,
                      kParamFileWords);
        link::SetStatus(text);
        return -1;
    }
    if (rc < 0) { // an unreadable file must not leave half-loaded parameters
        link::SetStatus(LoadErrorText(rc));
        return -1;
    }
    for (int i = 0; i < kParamFileWords; ++i) {
        link::pp[i] = static_cast<std::uint16_t>(words[i] & 0xFFFFu); // low 16 bits
    }
    link::CopyPPtoVars();
    return 1;
}

} // namespace ovx::app
