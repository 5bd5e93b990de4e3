#include "app/recorder.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "app/panel_handles.h"
#include "live/sample.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/timing.h"
#include "ui/file_dialogs.h"
#include "ui/panel.h"

namespace ovx::app {

char szRecordDir[live::kRecordPathSize] = {};

namespace {

using app::panelHandle;

constexpr int kRecordColour = 0xC01818;
constexpr int kIdleColour = 0x3C4650;
constexpr double kInfoInterval = 1.0;
double lastInfo = 0.0;

void ShowRecordInfo() {
    std::array<char, 400> text{};
    if (live::recording != 0) {
        std::snprintf(text.data(), text.size(), "REC  %s  %d frames",
                      live::FileNameOf(live::szRecordFile), live::recordFrames);
    } else if (live::szRecordFile[0] != '\0') {
        std::snprintf(text.data(), text.size(), "Recorded %d frames to %s", live::recordFrames,
                      live::FileNameOf(live::szRecordFile));
    }
    ui::SetCtrlVal(panelHandle, params::PANEL_RECORDINFO, text.data());
    ui::SetCtrlAttribute(panelHandle, params::PANEL_RECORDINFO, ui::kAttrTextColor,
                         live::recording != 0 ? kRecordColour : kIdleColour);
}

int LedState(int control) {
    int on = 0;
    ui::GetCtrlVal(panelHandle, control, &on);
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
                   std::array<char, live::kRecordPathSize>& path) {
    std::array<char, live::kRecordPathSize> dir{};
    if (szRecordDir[0] != '\0') {
        std::snprintf(dir.data(), dir.size(), "%s", szRecordDir);
    } else {
        platform::GetProjectDir(dir.data());
    }
    std::array<char, 64> name{};
    platform::FormatWallClock(namePattern, name.data(), static_cast<int>(name.size()));
    return ui::FileSelectPopup(dir.data(), name.data(), "*.csv", title, 0, 0, 1, 1, 1,
                               path.data()) == 1;
}

int StartRecording(const char* path) {
    StopRecording();
    std::array<char, live::kRecordPathSize> name{};
    std::snprintf(name.data(), name.size(), "%s", path != nullptr ? path : "");
    if (const int rc = live::OpenRecordFile(name.data()); rc != 0) {
        live::ShowFileStatus(rc == platform::kFileNotRegular
                                 ? "Recording not started: %.200s is not a regular file"
                                 : "Recording not started: cannot write %.200s",
                             name.data());
        ShowRecordInfo();
        return 0;
    }
    RememberDirectory(live::szRecordFile);
    ui::SetCtrlVal(panelHandle, params::PANEL_TOGBTNRECORD, 1);
    ShowRecordInfo();
    return 1;
}

void StopRecording() {
    if (live::recording == 0) {
        return;
    }
    live::CloseRecordFile();
    ui::SetCtrlVal(panelHandle, params::PANEL_TOGBTNRECORD, 0);
    ShowRecordInfo();
}

// The sample of the frame just plotted, with the LEDs as the plot left them.
void RecordLiveFrame() {
    if (live::recording == 0) {
        return;
    }
    live::LiveSample sample = live::SampleOfLastFrame(0.0);
    sample.toleranceOutput = LedState(params::PANEL_LEDTOL);
    sample.referenceOutput = LedState(params::PANEL_LEDREF);
    if (live::RecordSample(sample, params::type == 0 ? "RAW" : "NORM") != 0) {
        StopRecording();
        live::ShowFileStatus("Recording stopped: cannot write %.200s", live::szRecordFile);
        return;
    }
    // The count on the panel follows once a second, as a clock would: each new text is laid out
    // and painted again (about 160,000 instructions).
    if (const double now = platform::Timer(); now - lastInfo >= kInfoInterval) {
        lastInfo = now;
        ShowRecordInfo();
    }
}

int CC_TOGBTNRecord(int panel, int control, int event, void* /*cbData*/, int /*d1*/, int /*d2*/) {
    if (event != ui::kEventCommit) {
        return 0;
    }
    int on = 0;
    ui::GetCtrlVal(panel, control, &on);
    if (on == 0) {
        StopRecording();
        return 0;
    }
    std::array<char, live::kRecordPathSize> path{};
    if (!AskForCsvFile("'ovextar_'yyyyMMdd_hhmmss'.csv'", "Record live frames", path) ||
        StartRecording(path.data()) == 0) {
        ui::SetCtrlVal(panel, control, 0);
    }
    return 0;
}

} // namespace ovx::app
