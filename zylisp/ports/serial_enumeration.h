// The machine's serial ports and their names COM1, COM2, ...: the k-th
// device of the port list is COMk.
#pragma once

#include <string>
#include <vector>

namespace zylisp {

// The port list. When ZYLISP_SERIAL_PORTS is set, exactly its colon-separated
// device paths in that order; otherwise ScanSerialDevices("/dev",
// "/sys/class/tty").
std::vector<std::string> SerialDevicePaths();

// The serial devices under devDir: ttyS<n> that sysTtyDir shows to have a
// real UART (a "device" link and a non-zero "type"), then ttyUSB<n>, then
// ttyACM<n>, each group in numeric order.
std::vector<std::string> ScanSerialDevices(const std::string& devDir,
                                           const std::string& sysTtyDir);

// The device path of "COMk" (letters in either case; a leading "\\.\" is
// ignored). Raises ESerialError (ENODEV) for a name that is not COM and a
// number, or whose number is not in the port list.
std::string SerialDevicePath(const std::string& comName);

}  // namespace zylisp
