#include "live/curve_file.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "link/com232.h"
#include "link/datablock.h"
#include "live/datacurve.h"
#include "live/recorder.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "platform/panel.h"
#include "platform/timing.h"

namespace ovx::live {

namespace {

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

void ShowCurveStatus(const char* format, const char* path) {
    std::snprintf(link::szStatus, sizeof link::szStatus, format, BaseName(path));
    link::ShowStatus();
}

} // namespace

std::string CurveCsv() {
    std::string text = kCurveHeader;
    text += '\n';
    std::array<char, 80> line{};
    for (int i = 0; i < kCurveFilePoints; ++i) {
        std::snprintf(line.data(), line.size(), "%d,%u,%u,%u,%u,%u\n", i,
                      unsigned{link::yArrayA[i]}, unsigned{link::yArrayB[i]}, unsigned{upArray[i]},
                      unsigned{loArray[i]}, unsigned{refArray[i]});
        text += line.data();
    }
    return text;
}

int SaveCurveFile(const char* path) {
    if (platform::WriteTextFile(path, CurveCsv().c_str()) != 0) {
        ShowCurveStatus("Data curve not saved: cannot write %.200s", path);
        return 0;
    }
    ShowCurveStatus("Data curve saved to %.200s", path);
    return 1;
}

int CC_BTNSaveCurve(int /*panel*/, int /*control*/, int event, void* /*cbData*/, int /*d1*/,
                    int /*d2*/) {
    if (event != platform::kEventCommit) {
        return 0;
    }
    std::array<char, kRecordPathSize> dir{};
    if (szRecordDir[0] != '\0') {
        std::snprintf(dir.data(), dir.size(), "%s", szRecordDir);
    } else {
        platform::GetProjectDir(dir.data());
    }
    std::array<char, 64> name{};
    platform::FormatWallClock("'curve_'yyyyMMdd_hhmmss'.csv'", name.data(),
                              static_cast<int>(name.size()));
    std::array<char, kRecordPathSize> path{};
    if (platform::FileSelectPopup(dir.data(), name.data(), "*.csv", "Save the data curve", 0, 0, 1,
                                  1, 1, path.data()) == 1) {
        SaveCurveFile(path.data());
    }
    return 0;
}

} // namespace ovx::live
