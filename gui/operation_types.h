// Values that travel between the window and the chip worker in queued
// signals.
#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

namespace zylgui {

// What the worker connects to: a port (LPTn or COMk) and a catalogue device.
struct ChipSelection {
  QString port;
  QString device;
};

// Programmer settings applied on every connection. -1 leaves the value the
// library chooses itself (the stored clock speed, the device's write time
// and page size, bus address 0xA0, the serial send-ahead of
// ZYLISP_SERIAL_WINDOW or 16 bytes).
struct ProgrammerSettings {
  int clockSpeed = -1;
  int eeDelay = -1;
  int pageSize = -1;
  int busAddress = -1;
  int progMode = 8;
  int resetPolarity = 0;
  // Bytes of commands the serial link sends ahead of their acknowledges,
  // 0 to 4096; the parallel link has none.
  int serialWindow = -1;
};

// One part of the library's table, as the device choice shows it.
struct PartEntry {
  QString name;
  QStringList aliases;
  int family = 0;   // ZYL_FAMILY_...
  int busKind = 0;  // ZYL_BUS_...
  int size = 0;     // bytes
  int pageSize = 0; // write page in bytes; 0 when not known
};

// What the chip on the port said it is.
struct DetectedChip {
  // The parts its ID belongs to, or the one the library made from its SFDP
  // table; empty when no part fits.
  QStringList names;
  // Of the first of names, as the library knows it.
  int size = 0;
  int pageSize = 0;
  int busKind = 0;
  QString text;  // the library's sentence of what was found
};

struct ByteDifference {
  int address = 0;
  quint8 chip = 0;
  quint8 image = 0;
};

enum class Operation {
  Connect,
  ListPorts,
  Settings,
  Open,
  Save,
  Read,
  Erase,
  BlankCheck,
  Program,
  Verify,
  EraseProgramVerify,
  ReadStatus,
  WriteStatus,
  Detect,
};

// The name of an operation in the log and the status bar.
QString operationName(Operation operation);

struct OperationResult {
  Operation operation = Operation::Connect;
  int code = 0;
  QString text;     // the library's result text, with its detail
  QString summary;  // what the operation found, such as "blank"
  QString file;     // the data file of Open and Save
  QDateTime started;
  qint64 milliseconds = 0;
};

// Registers the types above for queued connections.
void registerOperationTypes();

}  // namespace zylgui

Q_DECLARE_METATYPE(zylgui::ChipSelection)
Q_DECLARE_METATYPE(zylgui::ProgrammerSettings)
Q_DECLARE_METATYPE(zylgui::ByteDifference)
Q_DECLARE_METATYPE(zylgui::PartEntry)
Q_DECLARE_METATYPE(zylgui::DetectedChip)
Q_DECLARE_METATYPE(zylgui::OperationResult)
