// The programmer's window: device and port choice, the hex view of the
// image, the chip actions, progress, the differences of a verify and a log.
// Everything that touches the library goes to the chip worker's thread.
#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <functional>
#include <memory>

#include "app_settings.h"
#include "operation_types.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSettings;

namespace zylgui {

class ChipWorker;
class DifferencePanel;
class HexModel;
class HexView;
class PartChooser;
class ProgressPanel;
class SettingsDialog;

// What the command line asks for; empty fields leave the remembered choice.
struct LaunchOptions {
  QString port;
  QString device;
  QString file;
};

enum class FileDialogKind { Open, Save };

struct FileChoice {
  QString path;    // empty: the user gave up
  int format = 0;  // Save: the chosen format, 0 for the one of the extension
};

// Asks the user for a file; the window's file dialogs by default. folder
// is where to start, suggested the name offered for saving.
using FileChooser =
    std::function<FileChoice(FileDialogKind kind, const QString& folder, const QString& suggested)>;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(const LaunchOptions& options, FileChooser chooser = {},
                      QWidget* parent = nullptr);
  ~MainWindow() override;

  // The image as the window shows it, read through the hex view's model.
  QByteArray image() const;
  // The image calls made between the library and the window so far.
  int imageCalls() const;

 signals:
  // Each operation of the worker, when it has ended.
  void operationFinished(const QString& operation, int code, const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void createActions();
  void createWidgets();
  void connectWorker();
  // Queues a request that ends with one operationFinished.
  void send(const std::function<void()>& request);
  void updateActions();
  void updateStatus();
  void log(const QString& line, const QDateTime& when = QDateTime::currentDateTime());

  void onPartsListed(const QVector<PartEntry>& parts);
  void onPortsListed(const QStringList& ports, const QStringList& devices);
  void onOperationStarted(Operation operation);
  void onOperationFinished(const OperationResult& result);
  void onDifferencesFound(const QVector<ByteDifference>& differences);

  void selectionChanged();
  // Makes the chosen port and device the worker's.
  void applySelection();
  // Shows the port and device in use again.
  void revertSelection();
  // The bytes other than FF that a device of that name has no room for.
  int bytesLostTo(const QString& device) const;
  void clearDifferences();
  // The session's image has size bytes, perhaps new ones: the view reads
  // them again.
  void showImage(int size);
  // What the last detection found, once it has ended.
  void onDetectFinished(int code, const QString& text);
  // Makes the part the chosen one, as the user would choose it.
  void choosePart(const QString& name);
  // Shows what a detection said, in a box that does not block.
  void tellDetection(QMessageBox::Icon icon, const QString& text);

  // What the user answered about work that would drop the image.
  enum class Unsaved { Proceed, AfterSave, Keep };
  // Asks Save / Discard / Cancel. Proceed: go on now; AfterSave: a save was
  // queued, and then runs after it succeeded, otherwise runs after it
  // failed; Keep: leave everything as it is.
  Unsaved askAboutUnsaved(const QString& text, std::function<void()> then,
                          std::function<void()> otherwise = {});
  // Asks before work that writes the chip, unless the user said not to.
  bool confirmChipWrite(const QString& text);
  QString currentDevice() const;
  QString currentPort() const;

  void openFile();
  // Opens the file once unsaved changes are settled.
  void requestOpen(const QString& path);
  void openPath(const QString& path);
  // false when no save was queued.
  bool saveImage();
  void goToAddress();
  void showSettings();
  void showAbout();
  void shutdownWorker();
  // A stop signal: the running operation ends at its next page, queued
  // work does not start, then the window closes without asking.
  void stopBySignal(int sig);
  void closeBySignal();
  // A line for the log and for standard error, which outlives the window.
  void tell(const QString& line);

  FileChooser chooser_;
  LaunchOptions launch_;
  std::unique_ptr<QSettings> settings_;
  ProgrammerSettings programmer_;
  WindowPreferences preferences_;
  QThread thread_;
  ChipWorker* worker_ = nullptr;
  int pending_ = 0;
  bool portsListedOnce_ = false;
  bool connected_ = false;
  bool modified_ = false;
  // A stop signal came: the window closes once the worker is idle.
  bool stoppingBySignal_ = false;
  // The last connection the log named, and whether the chosen port was
  // opened since it was chosen.
  QString connectionLogged_;
  bool portOpened_ = false;
  QString fileName_;
  QString libraryVersion_;
  // The selection the worker has.
  ChipSelection selected_;
  // The CRC-32 of the image, as the worker last computed it.
  quint32 crc_ = 0;
  DetectedChip detection_;
  // What runs when the save asked for by askAboutUnsaved ends.
  std::function<void()> afterSave_;
  std::function<void()> afterFailedSave_;

  HexModel* model_ = nullptr;
  HexView* view_ = nullptr;
  ProgressPanel* progress_ = nullptr;
  DifferencePanel* differences_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  PartChooser* parts_ = nullptr;
  QComboBox* port_ = nullptr;
  QLabel* deviceLabel_ = nullptr;
  QLabel* sizeLabel_ = nullptr;
  QLabel* fileLabel_ = nullptr;
  QLabel* crcLabel_ = nullptr;
  QLabel* connectionLabel_ = nullptr;
  QMenu* viewMenu_ = nullptr;
  QPointer<SettingsDialog> settingsDialog_;

  QAction* openAction_ = nullptr;
  QAction* saveAction_ = nullptr;
  QAction* readAction_ = nullptr;
  QAction* eraseAction_ = nullptr;
  QAction* blankAction_ = nullptr;
  QAction* programAction_ = nullptr;
  QAction* verifyAction_ = nullptr;
  QAction* allAction_ = nullptr;
  QAction* detectAction_ = nullptr;
  QAction* cancelAction_ = nullptr;
  QAction* quitAction_ = nullptr;
  QAction* goToAction_ = nullptr;
  QAction* refreshAction_ = nullptr;
  QAction* settingsAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
};

}  // namespace zylgui
