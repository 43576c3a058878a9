// What the program remembers between runs: port, device, folder, window
// layout, the window's own choices and programmer settings, in
// $XDG_CONFIG_HOME/norvex/zylisp-gui.ini, beside the library's own settings folder.
#pragma once

#include <QSettings>
#include <memory>

#include "operation_types.h"

namespace zylgui {

// Choices of the window itself, made in the settings dialog.
struct WindowPreferences {
  // Erase, Program and Erase+Program+Verify ask before they touch the chip.
  bool confirmChipWrites = true;
  // Text data files load although a record checksum is wrong.
  bool ignoreChecksums = false;
};

std::unique_ptr<QSettings> openAppSettings();
WindowPreferences loadWindowPreferences(const QSettings& settings);
void saveWindowPreferences(QSettings& settings, const WindowPreferences& values);
ProgrammerSettings loadProgrammerSettings(const QSettings& settings);
void saveProgrammerSettings(QSettings& settings, const ProgrammerSettings& values);

}  // namespace zylgui
