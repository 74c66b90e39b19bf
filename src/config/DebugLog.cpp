#include "config/DebugLog.h"

#include <windows.h>

namespace config {

void DebugLine(const std::string& line) { ::OutputDebugStringA((line + "\n").c_str()); }

}  // namespace config
