#include "app/paramfile.h"

#include "app/gui.h"
#include "link/com232.h"
#include "params/paramfile.h"
#include "platform/files.h"
#include "ui/file_dialogs.h"

namespace ovx::app {

char file_name[260];
char proj_dir[260];

int SendParaToFile() {
    app::GetPanelValues();
    link::CopyVarsToPP();
    char error[link::kStatusSize] = {};
    if (params::WriteParamFile(file_name, error, sizeof error) < 0) {
        link::SetStatus(error);
        return -1;
    }
    return 1;
}

int ReadParaFromFile() {
    const int chosen = ui::FileSelectPopup(proj_dir, kParamFileName, kParamFileFilter,
                                           kParamFileTitle, kPopupLoad, 0, 1, 1, 1, file_name);
    if (chosen < 0) {
        link::SetStatus(kPathTooLongText);
        return -1;
    }
    if (chosen == 0) {
        return 0;
    }
    char error[link::kStatusSize] = {};
    if (params::ReadParamFile(file_name, error, sizeof error) < 0) {
        link::SetStatus(error); // the parameters stay as they are
        return -1;
    }
    link::CopyVarsToPP(); // pp holds the file's words, as the variables do
    return 1;
}

} // namespace ovx::app
