// What the program remembers between runs: port, device, folder, window
// layout and programmer settings, in $XDG_CONFIG_HOME/norvex/zylisp-gui.ini,
// beside the library's own settings folder.
#pragma once

#include <QSettings>
#include <memory>

#include "operation_types.h"

namespace zylgui {

std::unique_ptr<QSettings> openAppSettings();
ProgrammerSettings loadProgrammerSettings(const QSettings& settings);
void saveProgrammerSettings(QSettings& settings, const ProgrammerSettings& values);

}  // namespace zylgui
