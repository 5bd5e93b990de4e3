// Inside the platform: where the program's own files lie. The panel file ships with the program:
// beside it in a build folder, in the data folder (bin/../share/ovextar) when installed. The
// program directory holds the operator's files: the program's folder in a build, a folder of the
// user's own when installed (the installed program's folder is read-only).
#pragma once

#include <string>
#include <vector>

namespace ovx::platform::detail {

// The folder of the running program (the OS file of files_os.h).
std::string BinaryDir();
// The user's documents folder: on POSIX as the XDG user-dirs file names it, else
// $HOME/Documents (/home/alice/Documents); on Windows the known Documents folder.
std::string DocumentsDir();
// $HOME, or "/" without one; on Windows the profile folder (C:\\Users\\alice).
std::string HomeDir();
// path without "." and ".." steps, doubled separators or a trailing separator.
std::string CleanPath(const std::string& path);

// The folders that may hold a file shipped with the program in binaryDir, in the order searched:
// binaryDir itself, then the installed data folder relative to it.
std::vector<std::string> ShippedFileDirs(const std::string& binaryDir);
// The first of dirs holding name, else name in workingDir (also when it is not there).
std::string FindShippedFile(const std::string& name, const std::vector<std::string>& dirs,
                            const std::string& workingDir);
// binaryDir when shippedName lies there (a build folder), else documentsDir/folder.
std::string ChooseProgramDir(const std::string& shippedName, const std::string& binaryDir,
                             const std::string& documentsDir, const std::string& folder);

} // namespace ovx::platform::detail
