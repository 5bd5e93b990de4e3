// The small OS interface under the file services: a file is judged by what was opened, not by a
// name looked up a moment before the open, so nothing can be swapped in between. One file per
// OS implements this (files_posix.cpp).
#pragma once

namespace ovx::platform::detail {

// Opens path for reading, or for writing (made when absent, emptied when present), without ever
// waiting in the open: a FIFO with no peer, or a device that waits for a carrier, would block an
// ordinary open for ever. The descriptor is kept only when it is a regular file (links
// followed) and then blocks as usual. Returns 0 with fd set, or kFileNotRegular or
// kFileCannotOpen with fd untouched.
int OpenRegularFile(const char* path, bool forWriting, int& fd);
void CloseFile(int fd);

} // namespace ovx::platform::detail
