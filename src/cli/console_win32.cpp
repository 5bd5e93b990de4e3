#include <windows.h>

#include <cstdio>

#include "cli/console_os.h"

namespace ovx::cli {

// The exe's manifest makes UTF-8 the process code page; the console has a code page of its own.
// The C runtime writes an unbuffered stderr a character at a time, one system call each: with a
// buffer, every line (written whole and flushed by the program) is one write.
void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
    std::setvbuf(stderr, nullptr, _IOFBF, 1 << 14);
}

} // namespace ovx::cli
