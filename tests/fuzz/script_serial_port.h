// A serial port whose far end says what a reply script says: writes go to
// the script as host bytes (and to written, when given), reads take the
// reply bytes on offer. Nothing waits: a read that may wait, with no reply on offer, means
// the input is used up, and the port reports a hung-up device instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "drivers/smart_serial.h"
#include "fuzz/reply_script.h"
#include "ports/serial_port.h"

namespace fuzz {

class TScriptSerialPort : public zylisp::TSerialPort {
 public:
  explicit TScriptSerialPort(TReplyScript& script, std::string* written = nullptr)
      : script_(script), written_(written) {}

  void Open(const std::string&, uint32_t) override { open_ = true; }
  void Close() override { open_ = false; }
  void SetModemLines(bool, bool) override {}
  std::size_t Write(const void* data, std::size_t count, Milliseconds) override;
  std::size_t Read(void* buffer, std::size_t max, Milliseconds limit) override;
  bool Drain(Milliseconds) override { return open_; }
  void PurgeInput() override { script_.Purge(); }

 private:
  void RequireOpen() const;

  TReplyScript& script_;
  std::string* written_;
  bool open_ = false;
};

// The serial link on a port of the test's own, with its waits for the
// adapter's reset left out.
class TQuickSerial : public zylisp::TSmartSerial {
 public:
  TQuickSerial(const zylisp::TConnectionParams& params, std::unique_ptr<zylisp::TSerialPort> port)
      : TSmartSerial(params, std::move(port)) {}
  void Delay(unsigned) override {}
};

}  // namespace fuzz
