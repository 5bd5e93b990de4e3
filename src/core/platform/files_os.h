// The small OS interface under the file services: a file is judged by what was opened, not by a
// name looked up a moment before the open, so nothing can be swapped in between. One file per
// OS implements this (files_posix.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ovx::platform::detail {

// Opens path for reading, or for writing (made when absent, emptied when present), without ever
// waiting in the open: a FIFO with no peer, or a device that waits for a carrier, would block an
// ordinary open for ever. The descriptor is kept only when it is a regular file (links
// followed) and then blocks as usual. Returns 0 with fd set, or kFileNotRegular or
// kFileCannotOpen with fd untouched.
int OpenRegularFile(const char* path, bool forWriting, int& fd);
void CloseFile(int fd);
// Reads from fd until limit bytes or the end of the file; false on a read error.
bool ReadUpTo(int fd, std::size_t limit, std::string& text);
// Writes all of bytes at fd's position; a write cut short (a full disk, a size limit) is taken
// back, so the file ends where it ended before. false then.
bool WriteWhole(int fd, std::string_view bytes);

// Replaces path (a link: the file it names) with bytes, atomically: they go to a temporary file
// beside it, named path + "." + six letters and digits that mix upper and lower case, which is
// flushed to the disk and renamed over path; the permissions of an existing file are kept. On
// any failure the temporary file is removed and the old file stays. Where no temporary file can
// be made beside path (a folder that is not writable) and inPlaceFallback, path is written in
// place. Returns 0, kFileCannotOpen or kFileWriteFailed.
int ReplaceFile(const char* path, std::string_view bytes, bool inPlaceFallback);

// The six letters and digits of a temporary file's name, upper and lower case mixed
// (files.cpp, the same on every OS).
std::string TemporarySuffix();

} // namespace ovx::platform::detail
