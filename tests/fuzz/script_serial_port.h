// A serial port whose far end says what a reply script says: writes go to
// the script as host bytes (and are kept), reads take the reply bytes on
// offer. Nothing waits: a read that may wait, with no reply on offer, means
// the input is used up, and the port reports a hung-up device instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/reply_script.h"
#include "drivers/smart_serial.h"
#include "ports/serial_port.h"

namespace fuzz {

class TScriptSerialPort : public zylisp::TSerialPort {
 public:
  explicit TScriptSerialPort(TReplyScript& script) : script_(script) {}

  void Open(const std::string&, uint32_t) override { open_ = true; }
  void Close() override { open_ = false; }
  void SetModemLines(bool, bool) override {}
  std::size_t Write(const void* data, std::size_t count, Milliseconds) override;
  std::size_t Read(void* buffer, std::size_t max, Milliseconds limit) override;
  bool Drain(Milliseconds) override { return open_; }
  void PurgeInput() override { script_.Purge(); }

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
