// Read first in every translation unit (CMakeLists.txt). libstdc++ switches on MinGW's own
// printf and scanf for every file that includes it, and they add about 30 KB to the stub; read
// here first, stdio.h declares msvcrt.dll's instead, for us, for nlohmann::json and for
// std::to_wstring. Keep to formats msvcrt knows: %d %u %x %s %ls %lld %llu; no %zu, and in a
// wide format %s is a wide string.
#pragma once
#define __USE_MINGW_ANSI_STDIO 0
#include <stdio.h>
