#pragma once
#include <exception>
#include <string>

// A failure of the remote-service client, with its reason.
class BrindleException : public std::exception {
 public:
  explicit BrindleException(std::string reason) : m_reason(std::move(reason)) {}
  const char* what() const noexcept override { return m_reason.c_str(); }

 private:
  std::string m_reason;
};
