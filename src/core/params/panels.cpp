#include "params/panels.h"

namespace ovx::params {

int panelHandle = 0;
int panelPopUp = 0;

} // namespace ovx::params
