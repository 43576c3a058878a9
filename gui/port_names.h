// What a port name (LPTn, COMk) says: its programmer kind and its number.
#pragma once

#include <QString>

namespace zylgui {

// ZYL_MODE_PARALLEL for LPTn, ZYL_MODE_SERIAL for COMk, 0 otherwise.
int portMode(const QString& port);
// n of LPTn or COMk; 0 when the name has no number.
int portNumber(const QString& port);

}  // namespace zylgui
