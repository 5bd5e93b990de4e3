// Callbacks of the settings popup's parameter controls.
#pragma once

namespace ovx::app {

int CC_DropTrigmode(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_DROP_Diffbuff(int panel, int control, int event, void* cbData, int d1, int d2);

} // namespace ovx::app
