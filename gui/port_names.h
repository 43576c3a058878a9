// What a port name (LPTn, COMk) says: its programmer kind, its number and,
// for a serial port, the device behind it.
#pragma once

#include <QString>

namespace zylgui {

// ZYL_MODE_PARALLEL for LPTn, ZYL_MODE_SERIAL for COMk, 0 otherwise.
int portMode(const QString& port);
// n of LPTn or COMk; 0 when the name has no number.
int portNumber(const QString& port);
// The device path of COMk as the library finds it: the k-th entry of
// ZYLISP_SERIAL_PORTS when set, else the k-th of the machine's /dev/ttyS*
// with a UART, /dev/ttyUSB*, /dev/ttyACM*. Empty when unknown.
QString serialDevicePath(int k);

}  // namespace zylgui
