// Everything a programmer is told when its connection is made: built once
// by the API layer and handed down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zylisp {

class TLptAccess;
struct TDevice;

// The commands of one read block (about 13 bytes for I2C), with room for
// the next command: at most this many bytes wait in the adapter.
constexpr std::size_t kDefaultSerialWindow = 16;
// The largest window a client may ask for.
constexpr std::size_t kMaxSerialWindow = 4096;

struct TConnectionParams {
  std::string Kind;  // "Zyl ISP (LPT)" or "Zyl ISP (COM)"
  const TDevice* Device = nullptr;
  // Serial link: the port's number k of COMk and its device path (empty
  // when the port list has no such port).
  int32_t SerialPort = 0;
  std::string SerialPath;
  // Bytes the serial link may send ahead of the replies inside a pass
  // (0: every command waits for its acknowledge).
  std::size_t SerialWindow = kDefaultSerialWindow;
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
