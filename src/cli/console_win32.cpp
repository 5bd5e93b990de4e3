#include <windows.h>

#include "cli/console_os.h"

namespace ovx::cli {

// The exe's manifest makes UTF-8 the process code page; the console has a code page of its own.
void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

} // namespace ovx::cli
