// An adapter on the simulated parallel port's connector that keeps the
// adapter's pin handshake but says what a reply script says. Bit p of a pin
// word is connector pin p: the host drives 16 DataOut, 14 Clock and 1 Run;
// the adapter drives 10 Ready and 11 DataIn.
//
// Idle, Ready is high and DataIn low when a reply byte is on offer. Each
// Clock rise moves one bit, most significant first: the next bit of the
// reply byte, or, while the host sends, the next bit of the echo; Ready
// goes low and rises again when Clock falls. Unlike the adapter it never
// holds Ready low for work, and while Run holds it in reset it shows Ready
// high and nothing to send, so that the host never waits out a deadline.
#pragma once

#include <cstdint>

#include "fuzz/reply_script.h"
#include "zylsim/connector_device.h"

namespace fuzz {

class TScriptConnector : public zylsim::TConnectorDevice {
 public:
  explicit TScriptConnector(TReplyScript& script) : script_(script) {}

  void HostPins(uint32_t levels) override;
  uint32_t DevicePins() override;

 private:
  void ClockRise();

  TReplyScript& script_;
  uint32_t host_ = 0;
  bool running_ = false;
  bool bitPhase_ = false;  // Clock high: Ready low for the bit
  bool sending_ = false;   // the current byte goes to the host
  int bit_ = 0;            // bits of the current byte done
  uint8_t shift_ = 0;      // reply byte or echo being clocked out
  bool dataIn_ = true;
};

}  // namespace fuzz
