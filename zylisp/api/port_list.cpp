#include "api/port_list.h"

#include "ports/lpt_access.h"
#include "ports/serial_enumeration.h"
#include "zylisp.h"

namespace zylisp {

std::vector<TPortInfo> ScanSerialPorts() {
  std::vector<TPortInfo> ports;
  const std::vector<std::string> paths = SerialDevicePaths();
  for (std::size_t i = 0; i < paths.size(); ++i)
    ports.push_back({"COM" + std::to_string(i + 1), paths[i], ZYL_MODE_SERIAL,
                     static_cast<int32_t>(i + 1)});
  return ports;
}

std::vector<TPortInfo> ScanParallelPorts(TLptAccess& lpt) {
  std::vector<TPortInfo> ports;
  lpt.SelectPort(1);
  lpt.SetActive(1);
  lpt.WriteECR(0);
  const uint8_t count = lpt.PortCount();
  for (uint8_t i = 1; i <= count; ++i) {
    lpt.SelectPort(i);
    if (lpt.PortAvailable()) ports.push_back({"LPT" + std::to_string(i), {}, ZYL_MODE_PARALLEL, i});
  }
  lpt.SetActive(0);
  return ports;
}

}  // namespace zylisp
