#include <windows.h>
#include <wincrypt.h>

#include <cmath>
#include <vector>

#include "config/Hashing.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

namespace config {

std::string Md5Hex(std::wstring_view text) {
  // No hash on a system without the provider: callers treat the empty text as "none".
  const std::string bytes = win32::Narrow(text, CP_THREAD_ACP);
  win32::UniqueCryptProv provider;
  win32::UniqueCryptHash hash;
  BYTE digest[16] = {};
  DWORD digestSize = sizeof(digest);
  if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) ||
      !::CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.put()) ||
      !::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) ||
      !::CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &digestSize, 0)) {
    return {};
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (DWORD i = 0; i < digestSize; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 0xF]);
  }
  return hex;
}

std::string Base62Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::size_t start = 0;
  while (start < bytes.size() && bytes[start] == '\0') ++start;
  const std::size_t n = bytes.size() - start;
  if (n == 0) return {};

  // One digit to spare over the exact bound, so rounding can never leave a carry over.
  const auto capacity =
      static_cast<std::size_t>(std::ceil(static_cast<double>(n) * std::log(256.0) / std::log(62.0))) + 1;
  std::vector<unsigned char> digits(capacity, 0);  // least significant digit last
  std::size_t used = 0;
  for (std::size_t i = start; i < bytes.size(); ++i) {
    unsigned carry = static_cast<unsigned char>(bytes[i]);
    std::size_t j = 0;
    for (auto it = digits.rbegin(); (carry != 0 || j < used) && it != digits.rend(); ++it, ++j) {
      carry += 256u * *it;
      *it = static_cast<unsigned char>(carry % 62);
      carry /= 62;
    }
    used = j;
  }
  auto it = digits.begin();
  while (it != digits.end() && *it == 0) ++it;
  std::string result;
  for (; it != digits.end(); ++it) result.push_back(kAlphabet[*it]);
  return result;
}

}  // namespace config
