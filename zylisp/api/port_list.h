// The machine's programmer ports as one scan finds them: name, device path
// and kind, so that nothing later has to look a name up again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zylisp {

class TLptAccess;

struct TPortInfo {
  std::string Name;  // "COM1", "LPT1"; empty for a slot no scan filled
  std::string Path;  // the serial device; empty for a parallel port
  int32_t Kind = 0;  // ZYL_MODE_SERIAL or ZYL_MODE_PARALLEL
  int32_t Number = 0;  // k of COMk or LPTk
};

// The serial ports COM1 .. COMn with their device paths.
std::vector<TPortInfo> ScanSerialPorts();
// The parallel ports that lpt reaches, LPTk for slot k; leaves lpt inactive.
std::vector<TPortInfo> ScanParallelPorts(TLptAccess& lpt);

}  // namespace zylisp
