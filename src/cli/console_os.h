// What the command line needs of the system's console before it prints: one file per OS
// (console_posix.cpp).
#pragma once

namespace ovx::cli {

// Makes the console show the program's UTF-8 texts (file names in messages) as they are, and
// stderr take a line in one write. Every line the program writes to stderr is flushed whole.
void PrepareConsole();

} // namespace ovx::cli
