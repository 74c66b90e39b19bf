#pragma once
#include <exception>

// Failure of the remote-service client that carries no text of its own.
class BrindleException : public std::exception {
 public:
  const char* what() const noexcept override { return "Unknown exception"; }
};
