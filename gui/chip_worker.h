// The one object that calls the library. It lives on a thread of its own
// and runs one request at a time, in the order they were queued, so the
// library's one-caller rule holds and the window never waits for a chip.
//
// Every request but writeByte, setIgnoreChecksums and shutdown ends with exactly one
// operationFinished. The port is opened for each operation that needs the
// adapter and closed when it ends, so that other programs can use it while
// the window is idle. The worker keeps a copy of the image and puts it back
// into the library whenever a call has replaced it: after a new selection,
// after a port listing, and after the chip reads that verify and blank
// check make.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <functional>

#include "operation_types.h"

namespace zylgui {

class ChipWorker : public QObject {
  Q_OBJECT

 public:
  explicit ChipWorker(QObject* parent = nullptr);
  ~ChipWorker() override;

  // Asks the running operation to stop at its next page or block boundary;
  // callable from any thread.
  void requestStop();
  // Stops the running operation as requestStop does, and every request
  // queued after it ends cancelled without touching the chip: the window
  // is going away. Callable from any thread.
  void finish();
  // The library's progress callback lands here, on the worker thread.
  void reportProgress(int done, int total);

  // Requests; queue them onto the worker's thread.
  // The progress callback, the checksum rule, the catalogue and the port
  // list.
  void start(const zylgui::ProgrammerSettings& settings, bool ignoreChecksums);
  // Data files opened from now on load although a record checksum is wrong.
  // Ends with no operationFinished.
  void setIgnoreChecksums(bool ignore);
  void listPorts();
  void select(const zylgui::ChipSelection& selection);
  void applySettings(const zylgui::ProgrammerSettings& settings);
  void openFile(const QString& path);
  void saveFile(const QString& path, int format);
  void writeByte(int address, int value);
  void readChip();
  void erase();
  void blankCheck();
  void program();
  void verify();
  void eraseProgramVerify();
  void readStatus();
  void writeStatus(int value);
  void shutdown();  // closes the connection

 signals:
  // Device names by bus kind (I2C, SPI, Microwire), and each device's size
  // in bytes.
  void catalogueListed(const QList<QStringList>& devicesByBus, const QHash<QString, int>& sizes);
  void libraryVersion(const QString& version);
  // The port names and, beside each, the device behind it ("" when the
  // library cannot tell).
  void portsListed(const QStringList& ports, const QStringList& devices);
  void operationStarted(zylgui::Operation operation);
  void stepStarted(const QString& step);
  void progress(int done, int total);
  void operationFinished(const zylgui::OperationResult& result);
  void imageChanged(const QByteArray& image);
  // The value the library holds at address after an edit.
  void byteWritten(int address, int value);
  void editFailed(int address, const QString& text);
  // Every byte where chip and image differ, in address order.
  void differencesFound(const QVector<zylgui::ByteDifference>& differences);
  void connectionChanged(bool connected, const QString& description);
  void statusRead(int value);

 private:
  struct Outcome {
    int code = 0;
    QString text;
    QString summary;
  };

  // Runs one operation: announces it, times it, reports its outcome. file
  // is the data file it works on, if any.
  void run(Operation operation, const QString& file, const std::function<Outcome()>& body);
  void run(Operation operation, const std::function<Outcome()>& body) { run(operation, {}, body); }
  Outcome outcome(int code) const;
  Outcome connectAdapter();
  void closeConnection();
  // Device, kind and port without a connection, so that the image calls
  // work; the image is put back. The result of Zyl_SetDevice.
  int selectOffline();
  // Runs one chip call on the connection, announcing the step.
  Outcome chipCall(const QString& step, const std::function<int32_t()>& call);
  Outcome programStep();
  Outcome verifyStep();
  // Reads the chip without keeping it as the image: its bytes, and the
  // outcome of the read.
  Outcome readChipAside(const QString& step, QByteArray& chip);
  QByteArray fetchImage() const;
  // Writes image_ into the library, which holds libraryHolds now.
  void restoreImage(const QByteArray& libraryHolds);
  Outcome cancelledBeforeCall() const;

  ChipSelection selection_;
  // The device behind each serial port of the last listing.
  QHash<QString, QString> portDevices_;
  ProgrammerSettings settings_;
  QByteArray image_;
  bool connected_ = false;
  QString okText_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> finishing_{false};
  QElapsedTimer sinceProgress_;
};

}  // namespace zylgui
