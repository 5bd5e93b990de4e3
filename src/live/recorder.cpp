#include "live/recorder.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "link/com232.h"
#include "live/strip.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/errors.h"
#include "platform/file_dialogs.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "platform/number_text.h"
#include "platform/panel.h"
#include "platform/timing.h"

namespace ovx::live {

int recording = 0;
int recordFrames = 0;
char szRecordFile[kRecordPathSize] = {};
char szRecordDir[kRecordPathSize] = {};

namespace {

using params::panelHandle;

constexpr int kRecordColour = 0xC01818;
constexpr int kIdleColour = 0x3C4650;
constexpr double kInfoInterval = 0.25;
int recordHandle = 0;
double lastInfo = 0.0;
double recordStart = 0.0;

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

void ShowRecordInfo() {
    std::array<char, 400> text{};
    if (recording != 0) {
        std::snprintf(text.data(), text.size(), "REC  %s  %d frames", BaseName(szRecordFile),
                      recordFrames);
    } else if (szRecordFile[0] != '\0') {
        std::snprintf(text.data(), text.size(), "Recorded %d frames to %s", recordFrames,
                      BaseName(szRecordFile));
    }
    platform::SetCtrlVal(panelHandle, params::PANEL_RECORDINFO, text.data());
    platform::SetCtrlAttribute(panelHandle, params::PANEL_RECORDINFO, platform::kAttrTextColor,
                               recording != 0 ? kRecordColour : kIdleColour);
}

int LedState(int control) {
    int on = 0;
    platform::GetCtrlVal(panelHandle, control, &on);
    return on != 0 ? 1 : 0;
}

void RememberDirectory(const char* path) {
    std::snprintf(szRecordDir, sizeof szRecordDir, "%s", path);
    if (char* slash = std::strrchr(szRecordDir, '/'); slash != nullptr && slash != szRecordDir) {
        *slash = '\0';
    }
}

} // namespace

bool AskForCsvFile(const char* namePattern, const char* title,
                   std::array<char, kRecordPathSize>& path) {
    std::array<char, kRecordPathSize> dir{};
    if (szRecordDir[0] != '\0') {
        std::snprintf(dir.data(), dir.size(), "%s", szRecordDir);
    } else {
        platform::GetProjectDir(dir.data());
    }
    std::array<char, 64> name{};
    platform::FormatWallClock(namePattern, name.data(), static_cast<int>(name.size()));
    return platform::FileSelectPopup(dir.data(), name.data(), "*.csv", title, 0, 0, 1, 1, 1,
                                     path.data()) == 1;
}

void ShowFileStatus(const char* format, const char* path) {
    std::snprintf(link::szStatus, sizeof link::szStatus, format, BaseName(path));
    link::ShowStatus();
}

int StartRecording(const char* path) {
    StopRecording();
    recordFrames = 0;
    std::snprintf(szRecordFile, sizeof szRecordFile, "%s", path != nullptr ? path : "");
    const int handle = platform::OpenLineFile(szRecordFile);
    if (handle < 0 || platform::WriteLine(handle, kRecordHeader) != 0) {
        if (handle > 0) {
            platform::CloseLineFile(handle);
        }
        ShowFileStatus(handle == platform::kFileNotRegular
                           ? "Recording not started: %.200s is not a regular file"
                           : "Recording not started: cannot write %.200s",
                       szRecordFile);
        szRecordFile[0] = '\0';
        ShowRecordInfo();
        return 0;
    }
    RememberDirectory(szRecordFile);
    recordHandle = handle;
    recordStart = platform::Timer();
    recording = 1;
    platform::SetCtrlVal(panelHandle, params::PANEL_TOGBTNRECORD, 1);
    ShowRecordInfo();
    return 1;
}

void StopRecording() {
    if (recording == 0) {
        return;
    }
    platform::CloseLineFile(recordHandle);
    recordHandle = 0;
    recording = 0;
    platform::SetCtrlVal(panelHandle, params::PANEL_TOGBTNRECORD, 0);
    ShowRecordInfo();
}

void RecordLiveFrame() {
    if (recording == 0) {
        return;
    }
    std::array<char, 32> clock{};
    platform::FormatWallClock("yyyy-MM-dd hh:mm:ss.zzz", clock.data(),
                              static_cast<int>(clock.size()));
    std::array<char, 200> line{};
    std::snprintf(line.data(), line.size(), "%s,%s,%d,%u,%u,%u,%u,%u,%d,%d,%s",
                  platform::FixedText(platform::Timer() - recordStart, 3).c_str(), clock.data(),
                  valNORM, unsigned{adcCHA}, unsigned{adcCHB}, unsigned{Amax}, unsigned{UPval},
                  unsigned{LOval}, LedState(params::PANEL_LEDTOL), LedState(params::PANEL_LEDREF),
                  params::type == 0 ? "RAW" : "NORM");
    if (platform::WriteLine(recordHandle, line.data()) != 0) {
        StopRecording();
        ShowFileStatus("Recording stopped: cannot write %.200s", szRecordFile);
        return;
    }
    ++recordFrames;
    // The count on the panel follows at a few updates a second, not at the frame rate.
    if (const double now = platform::Timer(); now - lastInfo >= kInfoInterval) {
        lastInfo = now;
        ShowRecordInfo();
    }
}

int CC_TOGBTNRecord(int panel, int control, int event, void* /*cbData*/, int /*d1*/, int /*d2*/) {
    if (event != platform::kEventCommit) {
        return 0;
    }
    int on = 0;
    platform::GetCtrlVal(panel, control, &on);
    if (on == 0) {
        StopRecording();
        return 0;
    }
    std::array<char, kRecordPathSize> path{};
    if (!AskForCsvFile("'ovextar_'yyyyMMdd_hhmmss'.csv'", "Record live frames", path) ||
        StartRecording(path.data()) == 0) {
        platform::SetCtrlVal(panel, control, 0);
    }
    return 0;
}

} // namespace ovx::live
