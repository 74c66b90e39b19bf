#pragma once
// The SHA-256 of a file computed while it is written. The system's CNG provider is the one used:
// `./brindle bench` measured it slowing a download less than our own config::Sha256, which
// stays selectable so the bench can keep comparing the two (and hashing left out), and which
// takes over when the provider cannot be opened.
#include <windows.h>

#include <string>

#include "config/Hashing.h"
#include "win32/UniqueResource.h"

namespace config {

enum class HashEngine {
  Own,  // config::Sha256
  Cng,  // BCrypt's SHA-256 provider
  Off,  // no digest; benchmarks only
};

struct BcryptAlgorithmTraits {
  using Type = void*;  // BCRYPT_ALG_HANDLE
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept;
};
struct BcryptHashTraits {
  using Type = void*;  // BCRYPT_HASH_HANDLE
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type h) noexcept;
};

class FileHasher {
 public:
  explicit FileHasher(HashEngine engine);
  void Update(const char* data, DWORD size);
  void Restart();
  // Lower-case hex of everything since the last Restart(); empty with HashEngine::Off or when
  // the CNG provider failed.
  std::string HexDigest();

 private:
  HashEngine m_engine;
  Sha256 m_own;
  win32::UniqueResource<BcryptAlgorithmTraits> m_algorithm;
  win32::UniqueResource<BcryptHashTraits> m_hash;
  bool m_failed = false;
};

// Lower-case hex SHA-256 of an open file's content from its first byte; empty when it cannot be
// read. The handle's file position is left at the end.
std::string HashOpenFile(HANDLE file);

}  // namespace config
