#include "app/panel_handles.h"

namespace ovx::app {

int panelHandle = 0;
int panelPopUp = 0;

} // namespace ovx::app
