#include "app/commands.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/gui.h"
#include "app/panel_handles.h"
#include "app/paramfile.h"
#include "link/com232.h"
#include "link/operations.h"
#include "params/lintable.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "ui/file_dialogs.h"
#include "ui/panel.h"

namespace ovx::app {

char dir_fname[260];

namespace {

bool SameTextIgnoringCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == *b;
}

// Choosing the configuration file reads it: the dialog asks about programming the flash from
// it, not about replacing it.
ui::SaveQuestion ConfigurationQuestion(const std::string& path) {
    char config[260] = {};
    platform::GetFullPathFromProject(params::kMeasurementFile, config);
    if (!SameTextIgnoringCase(path.c_str(), config)) {
        return {};
    }
    return {std::string("Program the linearisation table from ") + params::kMeasurementFile +
                " into the controller's flash?",
            "Program", "Cancel"};
}

void SendToFile() {
    ui::SetSaveQuestion(ConfigurationQuestion);
    const int chosen = ui::FileSelectPopup(proj_dir, kParamFileName, kParamFileFilter,
                                           kParamFileTitle, kPopupSave, 0, 1, 1, 1, file_name);
    ui::SetSaveQuestion({});
    if (chosen < 0) {
        link::ShowStatus(kPathTooLongText);
        return;
    }
    if (chosen == 0) {
        return;
    }
    platform::GetFullPathFromProject(params::kMeasurementFile, dir_fname);
    if (SameTextIgnoringCase(file_name, dir_fname)) {
        ProgramTable();
    } else if (SendParaToFile() < 0) {
        link::ShowStatus();
    }
}

void SendToController() {
    app::GetPanelValues();
    link::SendParameters(params::target);
}

void GetFromFile() {
    const int loaded = ReadParaFromFile();
    app::SetPanelValues();
    if (loaded < 0) {
        link::ShowStatus(); // why the file was not loaded
    }
}

// The variables are written to the panels whether the reply came or not.
void GetFromController() {
    link::GetParameters(params::target);
    app::SetPanelValues();
}

} // namespace

// Builds the table from the file the operator chose and programs it. The chosen name matched
// the configuration file only without regard to case; on a case-sensitive file system
// dir_fname may name another file, so the chosen one is read when it exists, else the
// configuration file itself.
void ProgramTable() {
    const bool chosenExists = platform::FileExists(file_name);
    const char* source = chosenExists || !platform::FileExists(dir_fname) ? file_name : dir_fname;
    link::ProgramTable(source, {});
}

int CC_BTNSend(int, int, int event, void*, int, int) {
    if (event != ui::kEventLeftClick) {
        return 0; // a commit alone (keyboard) sends nothing
    }
    link::ShowStatus("Transmit...");
    if (params::target == params::DATFILE) {
        SendToFile();
    } else {
        SendToController();
    }
    return 0;
}

int CC_BTNGet(int, int, int event, void*, int, int) {
    if (event == ui::kEventLeftClick) {
        link::ShowStatus("Receive...");
    } else if (event == ui::kEventCommit) {
        if (params::target == params::DATFILE) {
            GetFromFile();
        } else {
            GetFromController();
        }
    }
    return 0;
}

int CC_ButtonTeach(int, int, int event, void*, int, int) {
    if (event == ui::kEventLeftClick) {
        link::ShowStatus("Teach new Reference-Value ...");
    } else if (event == ui::kEventCommit) {
        app::GetPanelValues(); // the teach frame carries the panel's parameters
        link::Teach();
    }
    return 0;
}

int CC_ButtonReset(int, int, int event, void*, int, int) {
    if (event == ui::kEventCommit) {
        app::GetPanelValues();
        link::Reset();
    }
    return 0;
}

int CC_DropDCom(int, int, int event, void*, int, int) {
    if (event != ui::kEventCommit && event != ui::kEventValueChanged) {
        return 0;
    }
    platform::CloseCom(link::com);
    ui::GetCtrlVal(app::panelHandle, params::PANEL_DROPDCOM, &link::com);
    link::ShowStatus("Init COM-Port ...");
    link::OpenController(link::com);
    return 0;
}

} // namespace ovx::app
