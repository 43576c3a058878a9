// The failure raised by serial-port access. It is not part of the library's
// failure family: the serial driver turns it into its own messages.
#pragma once

#include <stdexcept>
#include <string>

namespace zylisp {

class ESerialError : public std::runtime_error {
 public:
  // code: the system's errno, or 0 for the port's own failures.
  ESerialError(int code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  int ErrorCode() const { return code_; }

 private:
  int code_;
};

}  // namespace zylisp
