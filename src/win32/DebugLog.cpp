#include "win32/DebugLog.h"

#include <windows.h>

namespace win32 {

void DebugLine(const std::string& line) { ::OutputDebugStringA((line + "\n").c_str()); }

}  // namespace win32
