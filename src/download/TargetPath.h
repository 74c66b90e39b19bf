#pragma once
// Where a download lands: the file name taken from a URL or given by the caller; the caller
// checks it with config::FileNameProblem so that it names exactly one file in the folder.
#include <string>

namespace download {

// The last path segment of the URL; query and fragment are not part of a file name.
std::wstring FileNameFromUrl(const std::wstring& url);

}  // namespace download
