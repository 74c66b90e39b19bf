#include "config/FileHasher.h"

#include <bcrypt.h>

#include <array>
#include <vector>

namespace config {

void BcryptAlgorithmTraits::Close(Type h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
void BcryptHashTraits::Close(Type h) noexcept { ::BCryptDestroyHash(h); }

FileHasher::FileHasher(HashEngine engine) : m_engine(engine) {
  if (m_engine != HashEngine::Cng) return;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(m_algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    m_engine = HashEngine::Own;
    return;
  }
  Restart();
}

void FileHasher::Restart() {
  m_own.Restart();
  if (m_engine != HashEngine::Cng || !m_algorithm) return;
  // A null object buffer lets the provider allocate it (Windows 7 and later).
  m_failed = !BCRYPT_SUCCESS(::BCryptCreateHash(m_algorithm.get(), m_hash.put(), nullptr, 0, nullptr, 0, 0));
}

void FileHasher::Update(const char* data, DWORD size) {
  if (m_engine == HashEngine::Own) {
    m_own.Update(data, size);
  } else if (m_engine == HashEngine::Cng && !m_failed) {
    auto* bytes = reinterpret_cast<PUCHAR>(const_cast<char*>(data));
    m_failed = !BCRYPT_SUCCESS(::BCryptHashData(m_hash.get(), bytes, size, 0));
  }
}

std::string FileHasher::HexDigest() {
  if (m_engine == HashEngine::Own) return m_own.HexDigest();
  if (m_engine == HashEngine::Off || m_failed) return {};
  // Finishing ends a CNG hash object, so the digest is taken from a copy.
  win32::UniqueResource<BcryptHashTraits> copy;
  if (!BCRYPT_SUCCESS(::BCryptDuplicateHash(m_hash.get(), copy.put(), nullptr, 0, 0))) return {};
  std::array<unsigned char, 32> digest{};
  if (!BCRYPT_SUCCESS(::BCryptFinishHash(copy.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) return {};
  return HexText(digest.data(), digest.size());
}

std::string HashOpenFile(HANDLE file) {
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return {};
  FileHasher hasher(HashEngine::Cng);
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return {};
    if (read == 0) return hasher.HexDigest();
    hasher.Update(buffer.data(), read);
  }
}

}  // namespace config
