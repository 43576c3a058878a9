#include "status_register.h"

#include <QCoreApplication>

namespace zylgui {

namespace {

QString tr(const char* text) { return QCoreApplication::translate("zylgui", text); }

QString hexAddress(int address) {
  return QStringLiteral("0x") +
         QString::number(address, 16).rightJustified(4, QLatin1Char('0')).toUpper();
}

}  // namespace

QString protectionText(int status, int deviceSize) {
  const int bp = (status >> 2) & 3;
  if (bp == 0) return tr("BP1 BP0 = 00: no block is protected");
  // 01 the upper quarter, 10 the upper half, 11 all of it.
  const int protectedBytes = bp == 1 ? deviceSize / 4 : bp == 2 ? deviceSize / 2 : deviceSize;
  const QString which = bp == 1   ? tr("the upper quarter is protected")
                        : bp == 2 ? tr("the upper half is protected")
                                  : tr("the whole chip is protected");
  const QString bits = QStringLiteral("%1%2").arg(bp >> 1).arg(bp & 1);
  if (deviceSize <= 0) return tr("BP1 BP0 = %1: %2").arg(bits, which);
  return tr("BP1 BP0 = %1: %2 (%3 to %4)")
      .arg(bits, which, hexAddress(deviceSize - protectedBytes), hexAddress(deviceSize - 1));
}

QString statusFlagsText(int status) {
  return tr("WPEN %1, WEL %2 (%3), %4")
      .arg(status & kStatusWpen ? tr("set: the WP pin guards the status register") : tr("clear"))
      .arg(status & kStatusWel ? 1 : 0)
      .arg(status & kStatusWel ? tr("writes enabled") : tr("writes disabled"))
      .arg(status & kStatusBusy ? tr("busy with a write cycle") : tr("ready"));
}

}  // namespace zylgui
