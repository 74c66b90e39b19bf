#pragma once
// Folder tokens such as {commonpf} or {localappdata} in paths from the configuration, so one
// document fits 32-bit and 64-bit Windows.
#include <windows.h>
#include <shtypes.h>

#include <string>
#include <utility>
#include <vector>

namespace config {

// Name (without braces) -> value, in insertion order; the order matters because the value of
// "commonpf" is itself a token resolved by a later entry.
using PathTokenTable = std::vector<std::pair<std::wstring, std::wstring>>;

PathTokenTable BuildPathTokenTable();
std::wstring ExpandPathTokens(std::wstring path, const PathTokenTable& table);
std::wstring GetKnownFolder(REFKNOWNFOLDERID folder);

}  // namespace config
