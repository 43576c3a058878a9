#include "app_settings.h"

#include <QStandardPaths>

namespace zylgui {

std::unique_ptr<QSettings> openAppSettings() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return std::make_unique<QSettings>(folder + QStringLiteral("/norvex/zylisp-gui.ini"),
                                     QSettings::IniFormat);
}

ProgrammerSettings loadProgrammerSettings(const QSettings& settings) {
  ProgrammerSettings v;
  const auto number = [&](const char* key, int fallback, int low, int high) {
    bool ok = false;
    const int n = settings.value(QLatin1String(key), fallback).toInt(&ok);
    return ok && n >= low && n <= high ? n : fallback;
  };
  v.clockSpeed = number("programmer/clockSpeed", v.clockSpeed, -1, 255);
  v.eeDelay = number("programmer/eeDelay", v.eeDelay, -1, 255);
  v.pageSize = number("programmer/pageSize", v.pageSize, -1, 255);
  v.busAddress = number("programmer/busAddress", v.busAddress, -1, 255);
  v.progMode = number("programmer/progMode", v.progMode, 8, 16) == 16 ? 16 : 8;
  v.resetPolarity = number("programmer/resetPolarity", v.resetPolarity, 0, 1);
  v.serialWindow = number("programmer/serialWindow", v.serialWindow, -1, 4096);
  return v;
}

void saveProgrammerSettings(QSettings& settings, const ProgrammerSettings& v) {
  settings.setValue(QStringLiteral("programmer/clockSpeed"), v.clockSpeed);
  settings.setValue(QStringLiteral("programmer/eeDelay"), v.eeDelay);
  settings.setValue(QStringLiteral("programmer/pageSize"), v.pageSize);
  settings.setValue(QStringLiteral("programmer/busAddress"), v.busAddress);
  settings.setValue(QStringLiteral("programmer/progMode"), v.progMode);
  settings.setValue(QStringLiteral("programmer/resetPolarity"), v.resetPolarity);
  settings.setValue(QStringLiteral("programmer/serialWindow"), v.serialWindow);
}

WindowPreferences loadWindowPreferences(const QSettings& settings) {
  WindowPreferences v;
  v.confirmChipWrites =
      settings.value(QStringLiteral("window/confirmChipWrites"), v.confirmChipWrites).toBool();
  v.ignoreChecksums =
      settings.value(QStringLiteral("files/ignoreChecksums"), v.ignoreChecksums).toBool();
  return v;
}

void saveWindowPreferences(QSettings& settings, const WindowPreferences& v) {
  settings.setValue(QStringLiteral("window/confirmChipWrites"), v.confirmChipWrites);
  settings.setValue(QStringLiteral("files/ignoreChecksums"), v.ignoreChecksums);
}

}  // namespace zylgui
