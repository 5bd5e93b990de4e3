// The live run loop behind the run and stop buttons.
#pragma once

#include "live/exchange.h"

namespace ovx::app {

int CC_BTNRun(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_BTNStop(int panel, int control, int event, void* cbData, int d1, int d2);

} // namespace ovx::app
