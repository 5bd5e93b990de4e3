// Operator commands: send, get, teach, reset and port change.
#pragma once

namespace ovx::app {

extern char dir_fname[260]; // full path of "TARconfig.dat" in the program directory

// Builds the table from the measurement file file_name and programs it into flash pages 4 to 7,
// as the send command does for the configuration file.
void ProgramTable();

int CC_BTNSend(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_BTNGet(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_ButtonTeach(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_ButtonReset(int panel, int control, int event, void* cbData, int d1, int d2);
int CC_DropDCom(int panel, int control, int event, void* cbData, int d1, int d2);

} // namespace ovx::app
