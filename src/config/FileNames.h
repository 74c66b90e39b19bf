#pragma once
// Rules for one component of a path the wizard writes (a downloaded file, an entry of an
// unpacked archive), shared by the download engine and the installer helpers.
#include <optional>
#include <string>

namespace config {

// Why `name` cannot be used as a plain file name inside a folder (empty, "." or "..",
// separators, drive colons, characters or device names Windows refuses, trailing dots or
// spaces that Windows would silently strip); nothing when it can.
std::optional<std::wstring> FileNameProblem(const std::wstring& name);

// A name given by the caller (a product title, say) made into one Windows accepts: forbidden
// and control characters and separators become '_', trailing dots and spaces go, a device name
// gets a '_' in front. Empty when nothing is left.
std::wstring CleanFileName(const std::wstring& name);

}  // namespace config
