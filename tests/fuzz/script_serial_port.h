// A serial port whose far end says what a reply script says: writes go to
// the script as host bytes (and are kept), reads take the reply bytes on
// offer. Nothing
// waits: a wait for input with none on offer means the input is used up,
// and the port reports a hung-up device instead.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "fuzz/reply_script.h"
#include "drivers/smart_serial.h"
#include "ports/serial_port.h"

namespace fuzz {

class TScriptSerialPort : public zylisp::TSerialPort {
 public:
  explicit TScriptSerialPort(TReplyScript& script) : script_(script) {}

  void OpenPort() override { open_ = true; }
  void ClosePort() override { open_ = false; }
  void RaiseDTR() override {}
  void LowerDTR() override {}
  void RaiseRTS() override {}
  void LowerRTS() override {}
  void WriteData(const void* buffer, int32_t count, bool wait) override;
  void WriteText(const std::string& text) override;
  bool WaitForInput(std::chrono::milliseconds limit) override;
  bool WaitForOutputSent(std::chrono::milliseconds) override { return open_; }
  void PurgeInput() override { script_.Purge(); }
  int32_t ReadAvailable(void* buffer, int32_t max) override;

  const std::string& Written() const { return written_; }

 private:
  void RequireOpen() const;

  TReplyScript& script_;
  bool open_ = false;
  std::string written_;
};

// The serial driver on such a port, with its waits for the adapter's reset
// left out.
class TScriptSerial : public zylisp::TSmartSerial {
 public:
  explicit TScriptSerial(TReplyScript& script) : script_(script) {}
  void CreatePort() override;
  void Delay(unsigned) override {}
  // What the driver wrote to its port so far.
  const std::string& Written() const { return written_; }
  void FreePort() override;

 private:
  TReplyScript& script_;
  std::string written_;
};

}  // namespace fuzz
