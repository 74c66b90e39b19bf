#pragma once
// Text helpers standing in for the string class of the original framework: conversions
// between wide text and byte strings, and the few edits the wizard needs.
#include <windows.h>

#include <exception>
#include <string>
#include <string_view>

namespace win32 {

// Lenient conversions: characters the code page cannot express are replaced, never fatal.
std::wstring Widen(std::string_view text, UINT codePage);
std::string Narrow(std::wstring_view text, UINT codePage);

// Exception texts hold wide text narrowed with the system's ANSI code page, and are widened
// back with the same one.
constexpr UINT kExceptionCodePage = CP_ACP;
std::wstring ExceptionText(const std::exception& error);

// Strict UTF-8 conversions for package texts: invalid input raises std::runtime_error
// "MultiByteToWideChar() failed: <result>".
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// Replaces every occurrence; text inserted by a replacement is not searched again.
std::size_t ReplaceAll(std::wstring& text, std::wstring_view from, std::wstring_view to);
std::size_t ReplaceAll(std::string& text, std::string_view from, std::string_view to);

std::wstring GetWindowTextString(HWND window);

// The module that holds our resources (the executable itself).
HINSTANCE ModuleInstance() noexcept;

// Text of a string-table resource of this module; empty when absent.
std::wstring LoadStringResource(UINT id);

// The system's message for an error code, as it is (usually ending in a line break); empty
// when there is none. Inserts such as "%1" stay as they are.
std::wstring SystemErrorText(DWORD code);

}  // namespace win32
