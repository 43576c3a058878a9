// Everything a programmer is told when its connection is made: built once
// by the API layer and handed down.
#pragma once

#include <cstdint>
#include <string>

namespace zylisp {

class TLptAccess;
struct TDevice;

struct TConnectionParams {
  std::string Kind;  // "Zyl ISP (LPT)" or "Zyl ISP (COM)"
  const TDevice* Device = nullptr;
  // Serial link: the port's number k of COMk and its device path (empty
  // when the port list has no such port).
  int32_t SerialPort = 0;
  std::string SerialPath;
  // Parallel link: the port access object and the slot (1..3) to use.
  TLptAccess* Lpt = nullptr;
  uint8_t LptSlot = 1;
  // The values a client may change on a held connection.
  int32_t PageSize = 0;  // write page and read block
  uint8_t BusAddress = 0xA0;
  uint8_t ProgMode = 0;  // Microwire organisation: 8 or 16
  uint8_t ResetPolarity = 0;
  uint8_t WriteTime = 0;   // write-cycle time handed to the adapter
  uint8_t ClockSpeed = 1;  // adapter clock setting
};

}  // namespace zylisp
