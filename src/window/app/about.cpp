#include "app/about.h"

#include "app/paramfile.h"
#include "build_info.h"
#include "params/lintable.h"
#include "ui/help.h"

namespace ovx::app {

std::string AboutText() {
    return std::string("O-VEX-TAR service tool, version ") + kVersion + "\n\nProgram directory:\n" +
           proj_dir + "\n\nThe measurement file " + params::kMeasurementFile +
           " belongs here, and the parameter-file dialogs open here.";
}

void ShowAbout(int /*panel*/) {
    ui::MessagePopup("About ovextar", AboutText().c_str());
}

} // namespace ovx::app
