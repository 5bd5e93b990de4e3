#include "app/commands.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/paramfile.h"
#include "link/com232.h"
#include "link/flash.h"
#include "params/gui.h"
#include "params/lintable.h"
#include "params/panels.h"
#include "params/variables.h"
#include "platform/events.h"
#include "platform/file_dialogs.h"
#include "platform/files.h"
#include "platform/panel.h"
#include "platform/serial.h"
#include "platform/timing.h"

namespace ovx::app {

char dir_fname[260];

namespace {

constexpr double kReplyWait = 2.0; // get
constexpr double kAckWait = 1.5;   // teach and reset

int WriteOrder() {
    return params::target == params::EEPROM ? link::kOrderWriteEeprom : link::kOrderWriteRam;
}

int ReadOrder() {
    return params::target == params::EEPROM ? link::kOrderReadEeprom : link::kOrderReadRam;
}

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
platform::SaveQuestion ConfigurationQuestion(const std::string& path) {
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
    platform::SetSaveQuestion(ConfigurationQuestion);
    const int chosen =
        platform::FileSelectPopup(proj_dir, kParamFileName, kParamFileFilter, kParamFileTitle,
                                  kPopupSave, 0, 1, 1, 1, file_name);
    platform::SetSaveQuestion({});
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
    params::GetPanelValues();
    link::CopyVarsToPP();
    if (link::SendRequest(WriteOrder(), link::pp)) {
        link::ShowStatus("Transmit Ok!");
    }
}

void GetFromFile() {
    const int loaded = ReadParaFromFile();
    params::SetPanelValues();
    if (loaded < 0) {
        link::ShowStatus(); // why the file was not loaded
    }
}

void GetFromController() {
    link::CopyVarsToPP();
    link::AwaitQuietLine();
    link::FlushQueues();
    link::rx_flag = 0;
    if (link::SendRequest(ReadOrder(), link::pp)) {
        link::ShowStatus("Transmit Ok!");
    }
    link::tstart = platform::Timer();
    for (;;) {
        if (link::rx_flag == 1) {
            link::GetRxBuf(link::PNUM);
            link::CopyPPtoVars();
            link::ShowStatus("Data Transfer Ok!");
            break;
        }
        link::tdiff = platform::Timer() - link::tstart;
        if (link::tdiff > kReplyWait) {
            link::ShowStatus("Timeout RS232-Line!");
            break;
        }
        platform::WaitForEvents(link::tstart + kReplyWait);
    }
    params::SetPanelValues();
}

// Teach and reset: the request carries the panel values; an acknowledgement within 1.5 s
// fetches the controller's parameters back.
void TeachOrReset(int orderCode, bool teach) {
    link::AwaitQuietLine();
    link::FlushQueues();
    params::GetPanelValues();
    link::CopyVarsToPP();
    link::rx_flag = 0;
    if (link::SendRequest(orderCode, link::pp)) {
        link::ShowStatus("Line Ok!");
    }
    if (teach) {
        link::ShowStatus("New setpoint value teached!");
    }
    link::tstart = platform::Timer();
    do {
        if (link::rx_flag == 1) {
            link::PushGET(params::RAM);
            return;
        }
        link::tdiff = platform::Timer() - link::tstart;
        platform::WaitForEvents(link::tstart + kAckWait);
    } while (link::tdiff < kAckWait);
    link::ShowStatus("Timeout RS-232!!");
}

} // namespace

// Builds the table from the file the operator chose and programs it. The chosen name matched
// the configuration file only without regard to case; on a case-sensitive file system
// dir_fname may name another file, so the chosen one is read when it exists, else the
// configuration file itself.
void ProgramTable() {
    char szError[link::kStatusSize] = {};
    const bool chosenExists = platform::FileExists(file_name);
    const char* source = chosenExists || !platform::FileExists(dir_fname) ? file_name : dir_fname;
    if (params::ReadCorrData(source, szError, sizeof szError) == 0) {
        link::ShowStatus(szError); // nothing is programmed from a file that failed
        return;
    }
    if (szError[0] != '\0') {
        // A repaired table, or a table file not written: the flash is programmed all the same.
        link::ShowStatus(szError);
    }
    link::SendCorrDataToFlash();
    if (szError[0] != '\0') {
        // The flash texts replaced it within 0.1 s: the last of them keeps it in view.
        char shown[2 * link::kStatusSize] = {};
        std::snprintf(shown, sizeof shown, "%s - %s", link::ShownStatus(), szError);
        link::ShowStatus(shown);
    }
}

int CC_BTNSend(int, int, int event, void*, int, int) {
    if (event != platform::kEventLeftClick) {
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
    if (event == platform::kEventLeftClick) {
        link::ShowStatus("Receive...");
    } else if (event == platform::kEventCommit) {
        if (params::target == params::DATFILE) {
            GetFromFile();
        } else {
            GetFromController();
        }
    }
    return 0;
}

int CC_ButtonTeach(int, int, int event, void*, int, int) {
    if (event == platform::kEventLeftClick) {
        link::ShowStatus("Teach new Reference-Value ...");
    } else if (event == platform::kEventCommit) {
        TeachOrReset(link::kOrderTeach, true);
    }
    return 0;
}

int CC_ButtonReset(int, int, int event, void*, int, int) {
    if (event == platform::kEventCommit) {
        TeachOrReset(link::kOrderReset, false);
    }
    return 0;
}

int CC_DropDCom(int, int, int event, void*, int, int) {
    if (event != platform::kEventCommit && event != platform::kEventValueChanged) {
        return 0;
    }
    platform::CloseCom(link::com);
    platform::GetCtrlVal(params::panelHandle, params::PANEL_DROPDCOM, &link::com);
    link::ShowStatus("Init COM-Port ...");
    link::InitRS232(link::com);
    return 0;
}

} // namespace ovx::app
