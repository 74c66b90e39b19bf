#pragma once
#include <string>
#include <string_view>

namespace config {

// Lowercase hex digests. Md5Hex hashes the text in the thread's ANSI code page and gives
// empty text when CryptoAPI fails.
std::string Sha256Hex(std::string_view bytes);
std::string Md5Hex(std::wstring_view text);

// Big-endian base-62 of the bytes; leading zero bytes are not represented.
std::string Base62Encode(std::string_view bytes);

}  // namespace config
