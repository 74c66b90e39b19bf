#include <windows.h>
#include <wincrypt.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include "config/Hashing.h"
#include "win32/Strings.h"
#include "win32/UniqueResource.h"

namespace config {

std::string Md5Hex(std::wstring_view text) {
  try {
    const std::string bytes = win32::Narrow(text, CP_THREAD_ACP);
    win32::UniqueCryptProv provider;
    if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
      throw std::runtime_error("CryptAcquireContext failed");
    }
    win32::UniqueCryptHash hash;
    if (!::CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.put())) {
      throw std::runtime_error("CryptCreateHash failed");
    }
    if (!::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                         0)) {
      throw std::runtime_error("CryptHashData failed");
    }
    BYTE digest[16] = {};
    DWORD digestSize = sizeof(digest);
    if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &digestSize, 0)) {
      throw std::runtime_error("CryptGetHashParam failed");
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (DWORD i = 0; i < digestSize; ++i) {
      hex.push_back(kHex[digest[i] >> 4]);
      hex.push_back(kHex[digest[i] & 0xF]);
    }
    return hex;
  } catch (const std::exception&) {
    return {};
  }
}

std::string Base62Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::size_t start = 0;
  while (start < bytes.size() && bytes[start] == '\0') ++start;
  const std::size_t n = bytes.size() - start;
  if (n == 0) return {};

  const auto capacity = static_cast<std::size_t>(std::ceil(static_cast<double>(n) * std::log(256.0) / std::log(62.0)));
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
    if (carry != 0) throw std::runtime_error("Non-zero carry");
    used = j;
  }
  auto it = digits.begin();
  while (it != digits.end() && *it == 0) ++it;
  std::string result;
  for (; it != digits.end(); ++it) result.push_back(kAlphabet[*it]);
  return result;
}

}  // namespace config
