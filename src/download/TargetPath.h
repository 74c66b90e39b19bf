#pragma once
// Where a download lands: the file name taken from a URL (refused when unusable) or given by the
// caller (made usable), so that it names exactly one file inside the target folder.
#include <optional>
#include <string>

namespace download {

// The last path segment of the URL; query and fragment are not part of a file name.
std::wstring FileNameFromUrl(const std::wstring& url);

// Why `name` cannot be used as a plain file name inside a folder (empty, "." or "..",
// separators, drive colons, characters or device names Windows refuses, trailing dots or
// spaces that Windows would silently strip); nothing when it can.
std::optional<std::wstring> FileNameProblem(const std::wstring& name);

// A name given by the caller (a product title, say) made into one Windows accepts: forbidden
// and control characters and separators become '_', trailing dots and spaces go, a device name
// gets a '_' in front. Empty when nothing is left.
std::wstring CleanFileName(const std::wstring& name);

}  // namespace download
