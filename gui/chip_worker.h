// The one object that calls the library. It lives on a thread of its own,
// holds one library session, and runs one request at a time, in the order
// they were queued, so the window never waits for a chip.
//
// Every request but writeByte, setIgnoreChecksums and shutdown ends with exactly one
// operationFinished. The port is opened for each operation that needs the
// adapter and closed when it ends, so that other programs can use it while
// the window is idle. The worker keeps a copy of the image, and the
// session's image always holds the same bytes between requests: calls
// that replace it (a new device, a load or a read that failed) get the
// copy back in one block.
//
// The hex view reads the session's image from the window's thread through
// peekImage. The session is used by one thread at a time because each
// request holds sessionLock_ while it calls the library, and peekImage only
// tries the lock: a view that asked a blocking call of the worker, or
// waited for the lock, would freeze the window for the length of a chip
// operation, whereas a refused peek merely shows the bytes a moment later.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

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
  // length bytes of the session's image from offset, for the view; callable
  // from any thread. Empty while a request uses the session, or when the
  // session cannot give them.
  QByteArray peekImage(int offset, int length);

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
  // Asks the chip on the chosen port what it is; detected comes first when
  // it answered, or when the library could say what it heard.
  void detect();
  void shutdown();  // closes the connection

 signals:
  // Every part of the library's table, in its order.
  void partsListed(const QVector<zylgui::PartEntry>& parts);
  void libraryVersion(const QString& version);
  // The port names and, beside each, the device behind it ("" when the
  // library cannot tell).
  void portsListed(const QStringList& ports, const QStringList& devices);
  void operationStarted(zylgui::Operation operation);
  void stepStarted(const QString& step);
  void progress(int done, int total);
  void operationFinished(const zylgui::OperationResult& result);
  // The session's image has a new size or new contents (not after an
  // edit, which byteWritten reports).
  void imageChanged(int size);
  // The CRC-32 of the image, after it changed or was edited.
  void imageChecked(quint32 crc);
  // The value the library holds at address after an edit.
  void byteWritten(int address, int value);
  void editFailed(int address, const QString& text);
  // Every byte where chip and image differ, in address order.
  void differencesFound(const QVector<zylgui::ByteDifference>& differences);
  void connectionChanged(bool connected, const QString& description);
  void statusRead(int value);
  void detected(const zylgui::DetectedChip& chip);

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
  // start's work on the session, with sessionLock_ held.
  void prepare(const zylgui::ProgrammerSettings& settings, bool ignoreChecksums);
  // Tells the window that image_ changed, and its checksum.
  void announceImage();
  // Sends the checksum once the queued edits are done.
  void checkAfterEdits();

  ZylSession* session_ = nullptr;
  // Held while this thread calls the library with session_.
  std::mutex sessionLock_;
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
  bool checkQueued_ = false;
  // The image size the window was last told of.
  int shownSize_ = 0;
};

}  // namespace zylgui
