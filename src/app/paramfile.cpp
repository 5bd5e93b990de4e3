#include "app/paramfile.h"

#include "link/com232.h"
#include "params/gui.h"
#include "params/paramfile.h"
#include "platform/file_dialogs.h"
#include "platform/files.h"

namespace ovx::app {

char file_name[260];
char proj_dir[260];

int SendParaToFile() {
    params::GetPanelValues();
    link::CopyVarsToPP();
    char error[link::kStatusSize] = {};
    if (params::WriteParamFile(file_name, error, sizeof error) < 0) {
        link::SetStatus(error);
        return -1;
    }
    return 1;
}

int ReadParaFromFile() {
    const int chosen =
        platform::FileSelectPopup(proj_dir, kParamFileName, kParamFileFilter, kParamFileTitle,
                                  kPopupLoad, 0, 1, 1, 1, file_name);
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
