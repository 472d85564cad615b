// The one base of every error the program raises. Messages are UTF-8 and are shown to the
// user as they stand by the application's error box.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A file could not be opened for reading.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

// A file could not be created or written.
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
};

// The silent cancel signal: a progress handler raises it to stop a long step quietly.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};
