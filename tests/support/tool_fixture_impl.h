// WaitUntil of the window's tests is the core's: with the engine's hook installed each turn
// processes the window's events.
#pragma once

#include "support/wait_until.h"
