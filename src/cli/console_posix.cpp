#include "cli/console_os.h"

namespace ovx::cli {

// A POSIX terminal takes the bytes as they are; its own locale decides how they look.
void PrepareConsole() {}

} // namespace ovx::cli
