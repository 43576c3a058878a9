#include "operation_types.h"

#include <QCoreApplication>

namespace zylgui {

QString operationName(Operation operation) {
  switch (operation) {
    case Operation::Connect: return QCoreApplication::translate("zylgui", "Connect");
    case Operation::ListPorts: return QCoreApplication::translate("zylgui", "Refresh ports");
    case Operation::Settings: return QCoreApplication::translate("zylgui", "Settings");
    case Operation::Open: return QCoreApplication::translate("zylgui", "Open");
    case Operation::Save: return QCoreApplication::translate("zylgui", "Save");
    case Operation::Read: return QCoreApplication::translate("zylgui", "Read chip");
    case Operation::Erase: return QCoreApplication::translate("zylgui", "Erase");
    case Operation::BlankCheck: return QCoreApplication::translate("zylgui", "Blank check");
    case Operation::Program: return QCoreApplication::translate("zylgui", "Program");
    case Operation::Verify: return QCoreApplication::translate("zylgui", "Verify");
    case Operation::EraseProgramVerify:
      return QCoreApplication::translate("zylgui", "Erase+Program+Verify");
    case Operation::ReadStatus: return QCoreApplication::translate("zylgui", "Read status");
    case Operation::WriteStatus: return QCoreApplication::translate("zylgui", "Write status");
    case Operation::Detect: return QCoreApplication::translate("zylgui", "Detect");
  }
  return {};
}

void registerOperationTypes() {
  qRegisterMetaType<ChipSelection>();
  qRegisterMetaType<ProgrammerSettings>();
  qRegisterMetaType<ByteDifference>();
  qRegisterMetaType<QVector<ByteDifference>>();
  qRegisterMetaType<OperationResult>();
  qRegisterMetaType<PartEntry>();
  qRegisterMetaType<QVector<PartEntry>>();
  qRegisterMetaType<DetectedChip>();
}

}  // namespace zylgui
