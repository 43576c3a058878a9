#include "port_names.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <algorithm>

#include "zylisp.h"

namespace zylgui {

namespace {

// A ttyS the kernel lists without a UART has type 0.
bool hasUart(const QString& name) {
  QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(name));
  if (!QDir(QStringLiteral("/sys/class/tty/%1/device").arg(name)).exists()) return false;
  if (!type.open(QIODevice::ReadOnly)) return false;
  return type.readAll().trimmed().toInt() != 0;
}

QStringList machineSerialDevices() {
  QStringList paths;
  const QDir dev(QStringLiteral("/dev"));
  for (const QString& prefix :
       {QStringLiteral("ttyS"), QStringLiteral("ttyUSB"), QStringLiteral("ttyACM")}) {
    QStringList names = dev.entryList({prefix + QLatin1Char('*')}, QDir::System);
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const QString& n) {
                                 bool digits = false;
                                 n.mid(prefix.size()).toUInt(&digits);
                                 return !digits || (prefix == QLatin1String("ttyS") && !hasUart(n));
                               }),
                names.end());
    std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) {
      return a.mid(prefix.size()).toUInt() < b.mid(prefix.size()).toUInt();
    });
    for (const QString& n : names) paths << dev.filePath(n);
  }
  return paths;
}

}  // namespace

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

QString serialDevicePath(int k) {
  const QByteArray configured = qgetenv("ZYLISP_SERIAL_PORTS");
  const QStringList paths =
      qEnvironmentVariableIsSet("ZYLISP_SERIAL_PORTS")
          ? QString::fromLocal8Bit(configured).split(QLatin1Char(':'), Qt::SkipEmptyParts)
          : machineSerialDevices();
  return k >= 1 && k <= paths.size() ? paths.at(k - 1) : QString();
}

}  // namespace zylgui
