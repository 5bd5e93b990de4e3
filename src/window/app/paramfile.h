// The parameter file on the window's side: its dialog, and the transfer between the panels and
// the file (params/paramfile.h reads and writes it).
#pragma once

#include "params/paramfile.h"

namespace ovx::app {

constexpr const char* kParamFileName = "TARpara.dat";
constexpr const char* kParamFileFilter = "*.dat";
constexpr const char* kParamFileTitle = "O-VEX-TAR Parameter File";
constexpr int kParamFileWords = params::kParamFileWords;
// Button-label codes of the parameter-file popup.
constexpr int kPopupSave = 0;
constexpr int kPopupLoad = 3;
// Shown when the file dialog returns a path that does not fit the 260-byte path buffers.
constexpr const char* kPathTooLongText =
    "error : the chosen path is too long (259 characters at most) - nothing done!";

extern char file_name[260]; // path chosen in the last parameter-file popup
extern char proj_dir[260];  // the program directory, filled at start-up

// Reads the panels (with the interlock) and saves the parameter block to file_name.
// 1 when saved; -1 when the file cannot be written (the old file is kept, szStatus names the
// cause).
int SendParaToFile();
// Lets the operator choose a file and loads it into pp and the sixteen variables.
// 1 when loaded; 0 when the popup was cancelled; -1 when the file cannot be read or holds
// another count of integers than 16 (pp and the variables keep their values, szStatus names the
// cause and the count).
// The panels are not written.
int ReadParaFromFile();

} // namespace ovx::app
