// One connection of a driver as the API layer makes it, chosen by a
// three-byte header:
//   byte 0: bit 0 the link (0 parallel, 1 serial), bits 1-3 the operation
//           (open only, program, verify, read, erase, read status, write
//           status, program then verify), bit 4 Microwire organisation 16;
//   byte 1: the device: a catalogue part, or a DataFlash part after them;
//   byte 2: the status byte to write, and the seed of the image.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "drivers/adapter_link.h"
#include "drivers/connection_params.h"

namespace zylisp {
struct TDevice;
}  // namespace zylisp

namespace zylsim {
class TConnectorDevice;
}  // namespace zylsim

namespace fuzz {

struct TSessionHeader {
  TSessionHeader(uint8_t link, uint8_t device, uint8_t value)
      : Serial((link & 1) != 0),
        Operation((link >> 1) & 7),
        ProgMode((link & 0x10) != 0 ? 16 : 8),
        Device(device),
        Value(value) {}
  bool Serial;
  int Operation;
  uint8_t ProgMode;
  uint8_t Device;
  uint8_t Value;
};

// The part byte 1 picks; the catalogue has no DataFlash part, so a small
// AT45DB011 of this file's own stands in after the catalogue's.
const zylisp::TDevice& SessionDevice(uint8_t pick);

// Makes the link of a session's programmer from the session's values.
using TLinkMaker =
    std::function<std::unique_ptr<zylisp::TAdapterLink>(const zylisp::TConnectionParams&)>;

// Opens a programmer on the link makeLink makes, with the values the API
// layer would give it for the header's part, runs the operation and closes
// it. The library's own failures and the serial port's end the operation
// quietly; anything else escapes.
void RunSession(const TSessionHeader& header, const TLinkMaker& makeLink);

// RunSession with the values' parallel port a simulated LPT1 with
// connector plugged into it.
void RunParallelSession(const TSessionHeader& header, zylsim::TConnectorDevice& connector,
                        const TLinkMaker& makeLink);

}  // namespace fuzz
