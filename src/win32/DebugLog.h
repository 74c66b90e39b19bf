#pragma once
// Diagnostics that are never shown to the user go to the debugger output.
#include <string>

namespace win32 {

void DebugLine(const std::string& line);

}  // namespace win32
