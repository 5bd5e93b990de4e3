// File services: file arrays, atomic saves, the program directory. The file-selection popup is
// the window's (file_dialogs.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ovx::platform {

// Text file arrays. dataType: kTypeInt (1) or kTypeUInt (7). Elements form numGroups groups of
// numElements/numGroups; arrayOrder 0 = groups lie one after the other in the array.
// fileLayout 0 = groups as columns (one line per index, one field per group),
// 1 = groups as rows. colSep 0 = tab. Fields are right-aligned to fieldWidth, never cut: wider
// values are written in full. fileAction 0 = replace (written to a temporary file that is then
// renamed over the old one, so a failed write leaves the old file). fileType must be 1 (text).
// Reading takes integers separated by any whitespace or commas (CRLF or not, last newline or
// not); values outside the element type are bad values. Returns 0, or kFileCannotOpen,
// kFileWriteFailed, kFileTooFewValues, kFileBadValue, kFileInvalidArgument. On any failure of
// FileToArray the array is left unchanged.
// Only regular files are read or replaced (kFileNotRegular for a FIFO, a device, a directory or
// a link to one); a file longer than kMaxFieldBytes a value plus kFileSlackBytes is not read
// (kFileTooLarge). Where no temporary file can be made beside the target (a folder that is not
// writable), the text is written in place.
constexpr int kMaxFieldBytes = 64;
constexpr int kFileSlackBytes = 4096;
int ArrayToFile(const char* file, const void* array, int dataType, int numElements, int numGroups,
                int arrayOrder, int fileLayout, int colSep, int fieldWidth, int fileType,
                int fileAction);
int FileToArray(const char* file, void* array, int dataType, int numElements, int numGroups,
                int arrayOrder, int fileLayout, int fileType);
// Reads a text file line by line: the integers of each line (separated by blanks, tabs or
// commas; CR before the line end ignored) as one row; blank lines at the end are dropped, blank
// lines elsewhere give empty rows. The file is read as one that holds up to maxValues values
// (regular files only, kFileTooLarge beyond). Returns 0, kFileCannotOpen, kFileNotRegular,
// kFileTooLarge, kFileBadValue or kFileInvalidArgument.
int FileToRows(const char* file, int dataType, int maxValues,
               std::vector<std::vector<std::int64_t>>& rows);

// An atomic save writes a temporary file beside its target, named target + "." + six letters or
// digits, and renames it over the target; a save killed at that rename leaves the temporary.
// Removes such leftovers of target: regular files (not links) in target's folder whose name is
// exactly that pattern with both upper- and lower-case letters (an operator's own
// "TARpara.dat.backup" is kept); nothing else. Every atomic save calls it before it writes.
void RemoveSaveLeftovers(const char* target);

// 0 when file names nothing yet or a regular file (links followed), else kFileNotRegular: a FIFO
// blocks an open until a peer comes, a device never ends, and a save must replace neither.
// kFileInvalidArgument for no name.
int RegularFileOrNone(const char* file);
// Reads a whole regular file of at most maxBytes into text, never more than maxBytes + 1 bytes of
// it. Returns 0, kFileCannotOpen, kFileNotRegular, kFileTooLarge or kFileInvalidArgument (text
// then unchanged).
int ReadWholeFile(const char* file, long long maxBytes, std::string& text);

// True when path names an existing file (links followed).
bool FileExists(const char* path);

// Chooses the program directory once, at start-up: the program's own folder when shipped (a
// file that ships with the program, its panel file) lies there, as in a build folder; else the
// per-user folder <documents>/folder, created here (an installed program's folder is read-only).
// Returns 0, or kFileWriteFailed when that folder cannot be created: the program directory is
// then the home folder.
int ChooseProjectDir(const char* shipped, const char* folder);
// The program directory, without trailing separator (capacity 260): as chosen above, else the
// directory of the running program.
// Both return 0, or kFileInvalidArgument (buffer left empty) when the path does not fit.
int GetProjectDir(char* dir);
// dir of the program + "/" + name (capacity 260).
int GetFullPathFromProject(const char* name, char* fullPath);
// Tests may point the program directory elsewhere.
void SetProjectDirForTesting(const std::string& dir);

} // namespace ovx::platform
