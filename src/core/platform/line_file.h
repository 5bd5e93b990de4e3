// Files written a line at a time (recordings) and text files written whole (exports).
#pragma once

namespace ovx::platform {

// Creates (or truncates) file for writing lines; a handle > 0, or kFileCannotOpen, or
// kFileNotRegular for a FIFO (whose open would wait for a reader), a device or a directory.
int OpenLineFile(const char* file);
// Writes line and a newline straight to the OS, unbuffered: a line written is in the file even
// if the program then ends abruptly. 0, or kFileWriteFailed (nothing more should be written),
// kFileInvalidArgument for a handle that is not open.
int WriteLine(int handle, const char* line);
// Closes the file; 0, or kFileInvalidArgument.
int CloseLineFile(int handle);

// Writes text as the whole content of file, replacing it only when every byte was written.
// 0, kFileCannotOpen, kFileWriteFailed (the old file is kept) or kFileNotRegular: a FIFO, a
// device or a link to one is never replaced by a regular file.
int WriteTextFile(const char* file, const char* text);

} // namespace ovx::platform
