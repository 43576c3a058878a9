// The one object that calls the library. It lives on a thread of its own,
// holds one library session, and runs one request at a time, in the order
// they were queued, so the session is only ever used by one thread and the
// window never waits for a chip.
//
// Every request but writeByte, setIgnoreChecksums and shutdown ends with exactly one
// operationFinished. The port is opened for each operation that needs the
// adapter and closed when it ends, so that other programs can use it while
// the window is idle. The worker keeps a copy of the image, and the
// session's image always holds the same bytes between requests: calls
// that replace it (a new device, a load or a read that failed) get the
// copy back in one block.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

#include "image_transfer.h"
#include "operation_types.h"
#include "zylisp.h"

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
  // The session's progress handler lands here, on the worker thread.
  void reportProgress(int done, int total);
  // Image calls made between the session and the window so far; readable
  // from any thread.
  int imageCalls() const { return transfer_->calls(); }

  // Requests; queue them onto the worker's thread.
  // The progress handler, the settings, the checksum rule, the catalogue
  // and the port list.
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
  // The outcome of a session call that returned code.
  Outcome outcome(int code) const;
  Outcome connectAdapter();
  void closeConnection();
  // Hands the programmer settings to the session; the page size is
  // checked against the device selected.
  void applyToSession();
  // Selects the chosen port in the session by its name.
  Outcome selectPort();
  // Runs one chip call on the connection, announcing the step.
  Outcome chipCall(const QString& step, const std::function<int32_t()>& call);
  Outcome programStep();
  Outcome verifyStep();
  // The differences of the session's last verify or blank check.
  QVector<ByteDifference> differences() const;
  // Makes the session's image the window's after a load or a read; the
  // image stays as it was when it cannot be fetched.
  Outcome takeImage();
  // Puts image_ back into the session after a call that replaced its image.
  void restoreImage();
  Outcome cancelledBeforeCall() const;

  ZylSession* session_ = nullptr;
  std::unique_ptr<ImageTransfer> transfer_;
  ChipSelection selection_;
  // The chosen port is selected in the session; after a failure or a new
  // listing it is looked up again by name on the next connection.
  bool portSelected_ = false;
  // The device behind each serial port of the last listing.
  QHash<QString, QString> portDevices_;
  ProgrammerSettings settings_;
  // The send-ahead the session takes until one is set (-1 when
  // ZYLISP_SERIAL_WINDOW is no window), and whether one was set since.
  int defaultWindow_ = -1;
  bool windowSet_ = false;
  QByteArray image_;
  bool connected_ = false;
  QString okText_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> finishing_{false};
  QElapsedTimer sinceProgress_;
};

}  // namespace zylgui
