#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace config {

// SHA-256 fed piece by piece, for data that never sits in memory whole (a download).
class Sha256 {
 public:
  Sha256() { Restart(); }
  void Restart();
  void Update(const void* data, std::size_t size);
  // Lower-case hex of everything fed since the last Restart(); the state is not changed.
  std::string HexDigest() const;

 private:
  std::array<std::uint32_t, 8> m_state{};
  std::array<unsigned char, 64> m_block{};
  std::size_t m_used = 0;  // bytes waiting in m_block
  std::uint64_t m_length = 0;
};

// Lower-case hex of raw bytes.
std::string HexText(const unsigned char* bytes, std::size_t size);

// Lowercase hex digests. Md5Hex hashes the text in the thread's ANSI code page and gives
// empty text when CryptoAPI fails.
std::string Sha256Hex(std::string_view bytes);
std::string Md5Hex(std::wstring_view text);

// Big-endian base-62 of the bytes; leading zero bytes are not represented.
std::string Base62Encode(std::string_view bytes);

}  // namespace config
