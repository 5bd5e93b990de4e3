// How a test that runs the core's waits without an event hook puts back afterwards what the test
// program installed: the window's engine in a program with one; nothing in a core test program.
#pragma once

#include <functional>

namespace ovx::testing {

// Set by the test program's main; empty where it installed no hook.
inline std::function<void()>& RestoreEventHook() {
    static std::function<void()> restore;
    return restore;
}

} // namespace ovx::testing
