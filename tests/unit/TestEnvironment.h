#pragma once
// What the harness tells a test about where it runs.
#include <cstdlib>
#include <string>

namespace testenv {

inline std::string PrefixArch() {
  const char* arch = std::getenv("BRINDLE_PREFIX_ARCH");
  return arch != nullptr ? arch : "win64";
}

// A 32-bit program in a 64-bit prefix runs under WOW64, as on most users' machines.
inline bool ExpectWow64() { return sizeof(void*) == 4 && PrefixArch() == "win64"; }

}  // namespace testenv
