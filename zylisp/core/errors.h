// The failure exceptions raised inside the library. The exports turn them
// into result codes; none of them ever crosses the exported boundary.
#pragma once

#include <stdexcept>
#include <string>

namespace zylisp {

// Common base of the failure family: carries the message.
class EZylError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  std::string Message() const { return what(); }
};

// A failure of the programmer, the port or the memory image. Source names
// the programmer kind that raised it (empty when none applies).
class EISPException : public EZylError {
 public:
  explicit EISPException(const std::string& message, std::string source = {})
      : EZylError(message), source_(std::move(source)) {}
  const std::string& Source() const { return source_; }

 private:
  std::string source_;
};

// The adapter answers, but the chip on the bus does not answer as the
// selected device would: its control byte is not acknowledged, or a
// Microwire exchange is out of step. The message names the likely cause.
class EDeviceNotResponding : public EISPException {
 public:
  using EISPException::EISPException;
};

class EFirmwareMisMatch : public EZylError {
 public:
  using EZylError::EZylError;
};

class EVerifyError : public EZylError {
 public:
  using EZylError::EZylError;
};

// An operation the selected device has no use for, such as the status
// register of a part that has none.
class ENotSupported : public EZylError {
 public:
  ENotSupported() : EZylError("Function not supported on this device") {}
};

// A chip operation that stopped at a boundary because a stop was requested.
class ECancelled : public EZylError {
 public:
  ECancelled() : EZylError("Operation cancelled") {}
};

// Writes the chip would silently drop: its status register protects blocks
// that the data covers.
class EWriteProtected : public EZylError {
 public:
  using EZylError::EZylError;
};

// The settings store's file cannot be read or written. The message names
// the path and the system's reason.
class ESettingsFileError : public EZylError {
 public:
  using EZylError::EZylError;
};

// A port set up in a way that cannot work, such as an emulated adapter
// whose configuration text is unusable. The message names the setting.
class EPortConfigError : public EZylError {
 public:
  using EZylError::EZylError;
};

// The chip behind the port is known to be another part than the device
// selected. The message names both.
class EDeviceMismatch : public EZylError {
 public:
  using EZylError::EZylError;
};

}  // namespace zylisp
