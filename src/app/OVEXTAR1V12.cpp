// Program entry, start state, title text and the panels' own callbacks.
#include "app/OVEXTAR1V12.h"

#include <cstdio>

#include "app/about.h"
#include "app/commands.h"
#include "app/inspect.h"
#include "app/monitor.h"
#include "app/paramfile.h"
#include "app/portring.h"
#include "app/window_state.h"
#include "link/com232.h"
#include "link/datablock.h"
#include "link/operations.h"
#include "live/datacurve.h"
#include "live/leds.h"
#include "live/runloop.h"
#include "live/strip.h"
#include "params/gui.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/help.h"
#include "platform/panel.h"
#include "platform/serial.h"
#include "platform/trace.h"

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
    return platform::InitEngine(argc, argv);
}

int LoadPanelOrReport(int resourceId) {
    const int handle = platform::LoadPanel(0, params::kPanelFile, resourceId);
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
    FillPortRing(params::panelHandle, params::PANEL_DROPDCOM, simulatorPortNumber);
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
        live::xArray[i] = static_cast<std::uint16_t>(i);
        link::yArrayA[i] = 0;
        link::yArrayB[i] = 0;
    }
}

void RegisterCommandCallbacks() {
    platform::RegisterCallback("CC_BTNSend", CC_BTNSend);
    platform::RegisterCallback("CC_BTNGet", CC_BTNGet);
    platform::RegisterCallback("CC_ButtonTeach", CC_ButtonTeach);
    platform::RegisterCallback("CC_ButtonReset", CC_ButtonReset);
    platform::RegisterCallback("CC_DropDCom", CC_DropDCom);
    platform::RegisterCallback("CC_TOGBTNMonitor", CC_TOGBTNMonitor);
    platform::RegisterCallback("CC_TOGBTNPause", CC_TOGBTNPause);
    platform::RegisterCallback("CC_BTNExport", CC_BTNExport);
    platform::RegisterCallback("CC_BTNRefreshPorts", CC_BTNRefreshPorts);
    InstallPortHooks();
}

} // namespace

int WinMain(const Options& options) {
    if (InitEngineOnce() < 0) {
        std::fprintf(stderr, "ovextar: cannot initialise the user interface\n");
        return -1;
    }
    RegisterAllCallbacks();
    params::panelHandle = LoadPanelOrReport(params::PANEL);
    if (params::panelHandle < 0) {
        return -1;
    }
    params::panelPopUp = LoadPanelOrReport(params::POPUP);
    if (params::panelPopUp < 0) {
        return -1;
    }
    ShowStatusOnPanel();
    ApplyOptions(options);
    ChooseProgramDirectory();
    platform::GetProjectDir(proj_dir);
    platform::SetPanelShortcut(params::panelHandle, "F1", ShowAbout);
    InitVars();
    RestoreWindowState(options);
    link::OpenController(link::com);
    platform::DisplayPanel(params::panelHandle);
    platform::RunUserInterface();
    SaveWindowState();
    platform::CloseCom(link::com);
    platform::DiscardPanel(params::panelPopUp);
    platform::DiscardPanel(params::panelHandle);
    return 0;
}

void InitVars() {
    params::SetParameterStartValues();
    live::InitThresholds();
    link::InitLinkVars();
    params::target = params::RAM;
    params::type = 1;
    live::stop_flag = 1;
    link::SetStatus("InitVars");
    ShowInfoText(kTitle, kTitleLeft, kTitleTop, kTitlePointSize);
    link::ShowStatus();
    params::GetPanelValues();
    live::FillarrayRAW(0, 0);
    live::FillarrayNORM(params::tol10Bit, params::ref10Bit, 0);
    InitCurveArrays();
}

void ShowStatusOnPanel() {
    link::SetStatusSink([](const char* text) {
        platform::SetCtrlVal(params::panelHandle, params::PANEL_STATUS, text);
    });
}

void ShowInfoText(const char* text, int left, int top, int pointSize) {
    const int panel = params::panelHandle;
    const int id = platform::NewCtrl(panel, platform::kCtrlTextMsg, "", top, left);
    platform::SetCtrlAttribute(panel, id, platform::kAttrTextFont, platform::kAppFont);
    platform::SetCtrlAttribute(panel, id, platform::kAttrTextBgColor, kTitleBackground);
    platform::SetCtrlAttribute(panel, id, platform::kAttrTextColor, kTitleText);
    platform::SetCtrlAttribute(panel, id, platform::kAttrTextPointSize, pointSize);
    platform::SetCtrlVal(panel, id, text);
}

int CC_PANEL(int /*panel*/, int event, void* /*cbData*/, int /*d1*/, int /*d2*/) {
    if (event == platform::kEventClose) {
        platform::CloseCom(link::com);
        platform::QuitUserInterface(0);
    }
    return 0;
}

int CC_POPUP(int /*panel*/, int event, void* /*cbData*/, int /*d1*/, int /*d2*/) {
    if (event == platform::kEventClose) {
        platform::HidePanel(params::panelPopUp);
        platform::SetCtrlVal(params::panelHandle, params::PANEL_TOGBTNPARAII, 0);
    }
    return 0;
}

void RegisterAllCallbacks() {
    platform::RegisterPanelCallback("CC_PANEL", CC_PANEL);
    platform::RegisterPanelCallback("CC_POPUP", CC_POPUP);
    params::RegisterParamCallbacks();
    live::RegisterLiveCallbacks();
    RegisterCommandCallbacks();
    platform::RequireControls(params::PANEL, params::kPanelControls.data(),
                              static_cast<int>(params::kPanelControls.size()));
    platform::RequireControls(params::POPUP, params::kPopupControls.data(),
                              static_cast<int>(params::kPopupControls.size()));
    ShowLinkOnPanels();
}

void ShowLinkOnPanels() {
    params::SetValuesChangedHook(params::SetPanelValues);
    link::SetFlashDisplay({
        [](int blocksDone, int /*blocksTotal*/, const char* text) {
            platform::SetCtrlVal(params::panelHandle, params::PANEL_FLASHPROGRESS, blocksDone);
            platform::SetCtrlAttribute(params::panelHandle, params::PANEL_FLASHPROGRESS,
                                       platform::kAttrProgressText, text);
        },
        [](int wordsStaged) {
            platform::SetCtrlVal(params::panelHandle, params::PANEL_VALNORM, wordsStaged);
        },
    });
}

} // namespace ovx::app
