#include "fuzz/script_serial_port.h"

#include <cerrno>
#include <memory>

#include "ports/serial_error.h"

namespace fuzz {

void TScriptSerialPort::RequireOpen() const {
  if (!open_) throw zylisp::ESerialError(0, "Can't perform this operation on a closed port");
}

void TScriptSerialPort::WriteData(const void* buffer, int32_t count, bool) {
  RequireOpen();
  written_.append(static_cast<const char*>(buffer), static_cast<std::size_t>(count));
  for (int32_t i = 0; i < count; ++i) script_.TakeHostByte();
}

void TScriptSerialPort::WriteText(const std::string& text) {
  WriteData(text.data(), static_cast<int32_t>(text.size()), false);
}

bool TScriptSerialPort::WaitForInput(std::chrono::milliseconds) {
  RequireOpen();
  if (!script_.HasReply()) throw zylisp::ESerialError(EIO, "the reply script is used up");
  return true;
}

int32_t TScriptSerialPort::ReadAvailable(void* buffer, int32_t max) {
  RequireOpen();
  auto* bytes = static_cast<uint8_t*>(buffer);
  int32_t n = 0;
  while (n < max && script_.HasReply()) bytes[n++] = script_.TakeReply();
  return n;
}

void TScriptSerial::CreatePort() {
  if (PortCreated) return;
  Port = std::make_unique<TScriptSerialPort>(script_);
  PortCreated = true;
}

void TScriptSerial::FreePort() {
  if (Port) written_ += static_cast<const TScriptSerialPort&>(*Port).Written();
  TSmartSerial::FreePort();
}

}  // namespace fuzz
