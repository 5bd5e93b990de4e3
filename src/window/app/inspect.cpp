#include "app/inspect.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "app/panel_handles.h"
#include "app/recorder.h"
#include "link/com232.h"
#include "params/panels.h"
#include "platform/files.h"
#include "platform/timing.h"
#include "ui/file_dialogs.h"
#include "ui/image_file.h"
#include "ui/panel.h"

namespace ovx::app {

namespace {

using app::panelHandle;

bool Visible(int control) {
    int v = 0;
    ui::GetCtrlAttribute(panelHandle, control, ui::kAttrVisible, &v);
    return v != 0;
}

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

} // namespace

int VisibleChart() {
    if (Visible(params::PANEL_GRAPHDATA)) {
        return params::PANEL_GRAPHDATA;
    }
    return Visible(params::PANEL_STRIPRAW) ? params::PANEL_STRIPRAW : params::PANEL_STRIPNORM;
}

int ExportChart(const char* path, int scale) {
    const int rc = ui::SaveCtrlImage(panelHandle, VisibleChart(), path, scale);
    std::snprintf(link::szStatus, sizeof link::szStatus,
                  rc == 0 ? "Chart saved to %.200s" : "Chart not saved: cannot write %.200s",
                  BaseName(path));
    link::ShowStatus();
    return rc == 0 ? 1 : 0;
}

int CC_TOGBTNPause(int panel, int control, int event, void* /*cbData*/, int /*d1*/, int /*d2*/) {
    if (event == ui::kEventCommit) {
        int paused = 0;
        ui::GetCtrlVal(panel, control, &paused);
        for (int chart : {params::PANEL_STRIPNORM, params::PANEL_STRIPRAW}) {
            ui::SetCtrlAttribute(panel, chart, ui::kAttrChartPaused, paused);
        }
    }
    return 0;
}

int CC_BTNExport(int panel, int /*control*/, int event, void* /*cbData*/, int /*d1*/, int /*d2*/) {
    if (event != ui::kEventCommit) {
        return 0;
    }
    std::array<char, live::kRecordPathSize> dir{};
    if (app::szRecordDir[0] != '\0') {
        std::snprintf(dir.data(), dir.size(), "%s", app::szRecordDir);
    } else {
        platform::GetProjectDir(dir.data());
    }
    std::array<char, 64> name{};
    platform::FormatWallClock("'chart_'yyyyMMdd_hhmmss'.png'", name.data(),
                              static_cast<int>(name.size()));
    std::array<char, live::kRecordPathSize> path{};
    if (ui::FileSelectPopup(dir.data(), name.data(), "*.png", "Export the chart as PNG", 0, 0, 1, 1,
                            1, path.data()) != 1) {
        return 0;
    }
    int twice = 0;
    ui::GetCtrlVal(panel, params::PANEL_CHKEXPORT2X, &twice);
    ExportChart(path.data(), twice != 0 ? 2 : 1);
    return 0;
}

} // namespace ovx::app
