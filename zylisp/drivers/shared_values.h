// Values the API layer and the drivers share directly.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zylisp {

class TLptAccess;

constexpr int kPortNameSlots = 127;

struct TSharedValues {
  int32_t PageSize = 0;       // transfer block of reads and page writes
  uint8_t BusAddress = 0xA0;  // I2C control byte base
  int32_t ClockSpeed = 0;     // adapter clock setting, 0..255
  std::array<std::string, kPortNameSlots> PortNames;
  int32_t PortCount = 0;
  std::string RequiredFirmware = "000A";
  // The one parallel-port access object; owned by the API layer while a
  // connection or a port enumeration needs it.
  TLptAccess* Lpt = nullptr;
};

TSharedValues& Shared();

}  // namespace zylisp
