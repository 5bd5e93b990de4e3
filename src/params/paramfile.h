// The parameter file: 16 integers, the words of the parameter block.
#pragma once

namespace ovx::params {

constexpr const char* kParamFileName = "TARpara.dat";
constexpr const char* kParamFileFilter = "*.dat";
constexpr const char* kParamFileTitle = "O-VEX-TAR Parameter File";

extern char file_name[260]; // path chosen in the last parameter-file popup
extern char proj_dir[260];  // the program directory, filled at start-up

// Both return 1 on success, 0 on failure (with a reason in szStatus of the link module).
int SendParaToFile();
int ReadParaFromFile();

} // namespace ovx::params
