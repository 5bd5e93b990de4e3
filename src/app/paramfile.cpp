#include "app/paramfile.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "link/com232.h"
#include "params/gui.h"
#include "platform/errors.h"
#include "platform/file_dialogs.h"
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

// Reads every integer of file_name, one group however the lines lie. 0 or a FileError.
int ReadValues(std::vector<std::int64_t>& values) {
    std::vector<std::vector<std::int64_t>> rows;
    const int rc = platform::FileToRows(file_name, platform::kTypeUInt, kCountedValues, rows);
    if (rc < 0) {
        return rc;
    }
    for (const auto& row : rows) {
        values.insert(values.end(), row.begin(), row.end());
    }
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
    std::vector<std::int64_t> values;
    if (const int rc = ReadValues(values); rc < 0) {
        link::SetStatus(LoadErrorText(rc)); // an unreadable file leaves the parameters as they are
        return -1;
    }
    // A file of another count is no parameter file, however its first values look.
    if (values.size() != static_cast<std::size_t>(kParamFileWords)) {
        char text[link::kStatusSize];
        std::snprintf(text, sizeof text, "error : parameter file holds %zu values, not %d!",
                      values.size(), kParamFileWords);
        link::SetStatus(text);
        return -1;
    }
    for (int i = 0; i < kParamFileWords; ++i) {
        link::pp[i] = static_cast<std::uint16_t>(values[i] & 0xFFFF); // low 16 bits
    }
    link::CopyPPtoVars();
    return 1;
}

} // namespace ovx::app
