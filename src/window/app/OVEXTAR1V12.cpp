// Program entry, start state, title text and the panels' own callbacks.
#include "app/OVEXTAR1V12.h"

#include <cstdio>

#include "app/about.h"
#include "app/commands.h"
#include "app/datacurve.h"
#include "app/gui.h"
#include "app/inspect.h"
#include "app/leds.h"
#include "app/monitor.h"
#include "app/panel_handles.h"
#include "app/paramfile.h"
#include "app/portring.h"
#include "app/runloop.h"
#include "app/strip.h"
#include "app/window_state.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "link/operations.h"
#include "live/exchange.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/trace.h"
#include "ui/help.h"
#include "ui/panel.h"

namespace ovx::app {

namespace {

constexpr const char* kTitle = "O-VEX-TAR-Zidoz V1.2 ";
constexpr int kTitleLeft = 30;
constexpr int kTitleTop = 19;
constexpr int kTitlePointSize = 18;
constexpr int kTitleBackground = 0x0080FF;
constexpr int kTitleText = 0xFFFFFF;
constexpr const char* kUserFolder = "ovextar"; // under the documents folder, when installed

// The engine keeps a reference to argc for the life of the application.
int InitEngineOnce() {
    static int argc = 1;
    static char name[] = "ovextar";
    static char* argv[] = {name, nullptr};
    return ui::InitEngine(argc, argv);
}

int LoadPanelOrReport(int resourceId) {
    const int handle = ui::LoadPanel(0, params::kPanelFile, resourceId);
    if (handle < 0) {
        std::fprintf(stderr, "ovextar: cannot load panel file %s: %s\n", params::kPanelFile,
                     platform::ErrorText(handle));
    }
    return handle;
}

void ApplyOptions(const Options& options) {
    for (const auto& [port, device] : options.ports) {
        platform::RegisterPort(port, device);
    }
    if (options.trace) {
        platform::EnableTrace(true);
    }
    InstallMonitor();
    simulatorPortNumber = options.simulator ? 1 : 0;
    AddRememberedAddresses(options);
    FillPortRing(app::panelHandle, params::PANEL_DROPDCOM, simulatorPortNumber);
}

// A build runs beside its panel file and keeps the program's folder; an installed program's
// folder is read-only, so the operator's files go to a folder of the user's own.
void ChooseProgramDirectory() {
    if (platform::ChooseProjectDir(params::kPanelFile, kUserFolder) < 0) {
        char dir[260] = {};
        platform::GetProjectDir(dir);
        std::fprintf(stderr,
                     "ovextar: cannot create the folder %s in the documents folder; the program "
                     "directory is %s\n",
                     kUserFolder, dir);
    }
}

void InitCurveArrays() {
    for (int i = 0; i < link::kCurveArrayPoints; ++i) {
        app::xArray[i] = static_cast<std::uint16_t>(i);
        link::yArrayA[i] = 0;
        link::yArrayB[i] = 0;
    }
}

void RegisterCommandCallbacks() {
    ui::RegisterCallback("CC_BTNSend", CC_BTNSend);
    ui::RegisterCallback("CC_BTNGet", CC_BTNGet);
    ui::RegisterCallback("CC_ButtonTeach", CC_ButtonTeach);
    ui::RegisterCallback("CC_ButtonReset", CC_ButtonReset);
    ui::RegisterCallback("CC_DropDCom", CC_DropDCom);
    ui::RegisterCallback("CC_TOGBTNMonitor", CC_TOGBTNMonitor);
    ui::RegisterCallback("CC_TOGBTNPause", CC_TOGBTNPause);
    ui::RegisterCallback("CC_BTNExport", CC_BTNExport);
    ui::RegisterCallback("CC_BTNRefreshPorts", CC_BTNRefreshPorts);
    InstallPortHooks();
}

} // namespace

int WinMain(const Options& options) {
    if (InitEngineOnce() < 0) {
        std::fprintf(stderr, "ovextar: cannot initialise the user interface\n");
        return -1;
    }
    RegisterAllCallbacks();
    app::panelHandle = LoadPanelOrReport(params::PANEL);
    if (app::panelHandle < 0) {
        return -1;
    }
    app::panelPopUp = LoadPanelOrReport(params::POPUP);
    if (app::panelPopUp < 0) {
        return -1;
    }
    ShowStatusOnPanel();
    ApplyOptions(options);
    ChooseProgramDirectory();
    platform::GetProjectDir(proj_dir);
    ui::SetPanelShortcut(app::panelHandle, "F1", ShowAbout);
    InitVars();
    RestoreWindowState(options);
    link::OpenController(link::com);
    ui::DisplayPanel(app::panelHandle);
    ui::RunUserInterface();
    SaveWindowState();
    platform::CloseCom(link::com);
    ui::DiscardPanel(app::panelPopUp);
    ui::DiscardPanel(app::panelHandle);
    return 0;
}

void InitVars() {
    live::SetStartState();
    ShowInfoText(kTitle, kTitleLeft, kTitleTop, kTitlePointSize);
    link::ShowStatus();
    app::GetPanelValues();
    app::FillarrayRAW(0, 0);
    app::FillarrayNORM(params::tol10Bit, params::ref10Bit, 0);
    InitCurveArrays();
}

void ShowStatusOnPanel() {
    link::SetStatusSink(
        [](const char* text) { ui::SetCtrlVal(app::panelHandle, params::PANEL_STATUS, text); });
}

void ShowInfoText(const char* text, int left, int top, int pointSize) {
    const int panel = app::panelHandle;
    const int id = ui::NewCtrl(panel, ui::kCtrlTextMsg, "", top, left);
    ui::SetCtrlAttribute(panel, id, ui::kAttrTextFont, ui::kAppFont);
    ui::SetCtrlAttribute(panel, id, ui::kAttrTextBgColor, kTitleBackground);
    ui::SetCtrlAttribute(panel, id, ui::kAttrTextColor, kTitleText);
    ui::SetCtrlAttribute(panel, id, ui::kAttrTextPointSize, pointSize);
    ui::SetCtrlVal(panel, id, text);
}

int CC_PANEL(int /*panel*/, int event, void* /*cbData*/, int /*d1*/, int /*d2*/) {
    if (event == ui::kEventClose) {
        platform::CloseCom(link::com);
        ui::QuitUserInterface(0);
    }
    return 0;
}

int CC_POPUP(int /*panel*/, int event, void* /*cbData*/, int /*d1*/, int /*d2*/) {
    if (event == ui::kEventClose) {
        ui::HidePanel(app::panelPopUp);
        ui::SetCtrlVal(app::panelHandle, params::PANEL_TOGBTNPARAII, 0);
    }
    return 0;
}

void RegisterAllCallbacks() {
    ui::RegisterPanelCallback("CC_PANEL", CC_PANEL);
    ui::RegisterPanelCallback("CC_POPUP", CC_POPUP);
    app::RegisterParamCallbacks();
    app::RegisterLiveCallbacks();
    RegisterCommandCallbacks();
    ui::RequireControls(params::PANEL, params::kPanelControls.data(),
                        static_cast<int>(params::kPanelControls.size()));
    ui::RequireControls(params::POPUP, params::kPopupControls.data(),
                        static_cast<int>(params::kPopupControls.size()));
    ShowLinkOnPanels();
}

void ShowLinkOnPanels() {
    params::SetValuesChangedHook(app::SetPanelValues);
    link::SetFlashDisplay({
        [](int blocksDone, int /*blocksTotal*/, const char* text) {
            ui::SetCtrlVal(app::panelHandle, params::PANEL_FLASHPROGRESS, blocksDone);
            ui::SetCtrlAttribute(app::panelHandle, params::PANEL_FLASHPROGRESS,
                                 ui::kAttrProgressText, text);
        },
        [](int wordsStaged) {
            ui::SetCtrlVal(app::panelHandle, params::PANEL_VALNORM, wordsStaged);
        },
    });
}

} // namespace ovx::app
