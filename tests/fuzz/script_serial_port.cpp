#include "fuzz/script_serial_port.h"

#include <cerrno>

#include "ports/serial_error.h"

namespace fuzz {

void TScriptSerialPort::RequireOpen() const {
  if (!open_) throw zylisp::ESerialError(0, "Can't perform this operation on a closed port");
}

std::size_t TScriptSerialPort::Write(const void* data, std::size_t count, Milliseconds) {
  RequireOpen();
  if (written_) written_->append(static_cast<const char*>(data), count);
  for (std::size_t i = 0; i < count; ++i) script_.TakeHostByte();
  return count;
}

std::size_t TScriptSerialPort::Read(void* buffer, std::size_t max, Milliseconds limit) {
  RequireOpen();
  if (!script_.HasReply() && limit.count() > 0)
    throw zylisp::ESerialError(EIO, "the reply script is used up");
  auto* bytes = static_cast<uint8_t*>(buffer);
  std::size_t n = 0;
  while (n < max && script_.HasReply()) bytes[n++] = script_.TakeReply();
  return n;
}

}  // namespace fuzz
