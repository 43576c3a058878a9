#include "port_names.h"

#include "zylisp.h"

namespace zylgui {

int portMode(const QString& port) {
  if (port.startsWith(QLatin1String("LPT"), Qt::CaseInsensitive)) return ZYL_MODE_PARALLEL;
  if (port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) return ZYL_MODE_SERIAL;
  return 0;
}

int portNumber(const QString& port) {
  bool ok = false;
  const int n = port.mid(3).toInt(&ok);
  return ok && n > 0 ? n : 0;
}

}  // namespace zylgui
