// ovx_window_session: the window's start-up and one operator command, headless, with --trace on,
// against an embedded virtual controller (line emulation off). Its trace is what the window
// puts on the wire and in the status line for that command; tests and the trace diff compare
// it with other runs.
//   ovx_window_session startup | get [eeprom] | send [eeprom] | get-send [eeprom] | teach | reset |
//                      run FRAMES | data [raw] | flash MEASUREMENT-FILE
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "app/OVEXTAR1V12.h"
#include "app/commands.h"
#include "app/datacurve.h"
#include "app/gui.h"
#include "app/panel_handles.h"
#include "app/paramfile.h"
#include "app/runloop.h"
#include "link/com232.h"
#include "link/flash.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/trace.h"
#include "sim/pty_host.h"
#include "ui/file_dialogs.h"
#include "ui/panel.h"

namespace {

using namespace ovx;

int framesLeft = 0;

// The run is stopped as the stop button does, once the wanted count of frames has arrived.
void CountingRx(int port, int eventWord, void* data) {
    link::RX_Receive_Function(port, eventWord, data);
    if (link::rx_flag == 1 && --framesLeft == 0) {
        app::CC_BTNStop(app::panelHandle, params::PANEL_BTNSTOP, ui::kEventCommit, nullptr, 0, 0);
    }
}

void Click(int (*callback)(int, int, int, void*, int, int), int control) {
    callback(app::panelHandle, control, ui::kEventLeftClick, nullptr, 0, 0);
    callback(app::panelHandle, control, ui::kEventCommit, nullptr, 0, 0);
}

void SelectTarget(bool eeprom) {
    params::target = eeprom ? params::EEPROM : params::RAM;
}

void SelectSource(int source) {
    ui::SetCtrlVal(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, source);
    app::CC_RNGGraphSource(app::panelHandle, params::PANEL_RNGGRAPHSOURCE, ui::kEventCommit,
                           nullptr, 0, 0);
}

// The file popup answers with the measurement file, which stands in the program directory.
void Flash(const std::string& file) {
    const std::filesystem::path path = std::filesystem::absolute(file);
    platform::SetProjectDirForTesting(path.parent_path().string());
    platform::GetProjectDir(app::proj_dir);
    ui::SetFileSelectResponder([path](const ui::FileSelectRequest&, std::string& chosen) {
        chosen = path.string();
        return 1;
    });
    params::target = params::DATFILE;
    Click(app::CC_BTNSend, params::PANEL_BTNSEND);
}

int Command(std::string_view cmd, std::string_view arg) {
    if (cmd == "startup") {
        return 0;
    }
    if (cmd == "get") {
        SelectTarget(arg == "eeprom");
        Click(app::CC_BTNGet, params::PANEL_BTNGET);
    } else if (cmd == "send") {
        SelectTarget(arg == "eeprom");
        Click(app::CC_BTNSend, params::PANEL_BTNSEND);
    } else if (cmd == "get-send") { // the values of the target, then back to it
        SelectTarget(arg == "eeprom");
        Click(app::CC_BTNGet, params::PANEL_BTNGET);
        Click(app::CC_BTNSend, params::PANEL_BTNSEND);
    } else if (cmd == "teach") {
        Click(app::CC_ButtonTeach, params::PANEL_BUTTONTEACH);
    } else if (cmd == "reset") {
        Click(app::CC_ButtonReset, params::PANEL_BUTTONRESET);
    } else if (cmd == "run") {
        framesLeft = std::atoi(std::string(arg).c_str());
        platform::InstallComCallback(link::com, link::eventMask, link::kFrameBytes, link::sync,
                                     CountingRx, nullptr);
        Click(app::CC_BTNRun, params::PANEL_BTNRUN);
    } else if (cmd == "data") {
        SelectSource(arg == "raw" ? 0 : 1);
        Click(app::CC_BTNData, params::PANEL_BTNDATA);
    } else if (cmd == "flash") {
        Flash(std::string(arg));
    } else {
        std::fprintf(stderr, "ovx_window_session: unknown command %s\n", cmd.data());
        return 2;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (argc < 2) {
        std::fprintf(stderr, "usage: ovx_window_session COMMAND [ARG]\n");
        return 2;
    }
    sim::HostOptions hostOptions;
    hostOptions.lineEmulation = false;
    sim::PtyHost host(hostOptions);
    std::string error;
    if (!host.Start(error)) {
        std::fprintf(stderr, "ovx_window_session: %s\n", error.c_str());
        return 1;
    }
    if (ui::InitEngine(argc, argv) < 0) {
        return 1;
    }
    app::RegisterAllCallbacks();
    app::panelHandle = ui::LoadPanel(0, params::kPanelFile, params::PANEL);
    app::panelPopUp = ui::LoadPanel(0, params::kPanelFile, params::POPUP);
    if (app::panelHandle < 0 || app::panelPopUp < 0) {
        return 1;
    }
    platform::RegisterPort(1, host.DevicePath());
    platform::EnableTrace(true);
    app::ShowStatusOnPanel();
    platform::GetProjectDir(app::proj_dir);
    app::InitVars();
    link::InitRS232(link::com);
    const int rc = Command(argv[1], argc > 2 ? argv[2] : "");
    platform::CloseCom(link::com);
    return rc;
}
