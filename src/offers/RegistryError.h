#pragma once
// The one failure type of the registry helpers; the eligibility rules catch it and count the
// key or value as absent.
#include <windows.h>

#include <exception>

namespace win32 {

class RegistryError : public std::exception {
 public:
  RegistryError(const char* message, LONG code) noexcept : code(code), m_message(message) {}
  const char* what() const noexcept override { return m_message; }

  LONG code;  // result of the failing registry function

 private:
  const char* m_message;  // always a string literal
};

}  // namespace win32
