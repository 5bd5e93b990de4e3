// Texts between the program and Windows: the program's strings are UTF-8 (the exe's manifest
// makes UTF-8 the process code page, so arguments and the C runtime agree); the system's wide
// calls take UTF-16.
#pragma once

#include <windows.h>

#include <string>

namespace ovx::platform::detail {

std::wstring WideFromText(const std::string& text);
std::string TextFromWide(const std::wstring& wide);
// The system's own text for an error code, without the line end ("Access is denied").
std::string SystemErrorText(DWORD error);

} // namespace ovx::platform::detail
