#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <utility>

#include "app_settings.h"
#include "chip_worker.h"
#include "detected_parts_dialog.h"
#include "difference_panel.h"
#include "file_formats.h"
#include "hex_model.h"
#include "hex_view.h"
#include "part_chooser.h"
#include "progress_panel.h"
#include "settings_dialog.h"
#include "stop_signals.h"
#include "zylisp.h"

namespace zylgui {

namespace {

// The bytes bytesLostTo looks at in one read.
constexpr int kScanBytes = 1 << 20;

FileChoice askWithDialogs(QWidget* parent, FileDialogKind kind, const QString& folder,
                          const QString& suggested) {
  if (kind == FileDialogKind::Open)
    return {QFileDialog::getOpenFileName(parent, MainWindow::tr("Open data file"), folder,
                                         openFilters()),
            0};
  QString filter = filterOfFormat(formatForFileName(suggested, 0));
  const QString path =
      QFileDialog::getSaveFileName(parent, MainWindow::tr("Save image as"),
                                   QDir(folder).filePath(suggested), saveFilters(), &filter);
  return {path, formatOfFilter(filter)};
}

// A dialog that does not block the event loop, so that the worker's
// signals keep coming.
void showFileError(QWidget* parent, const QString& title, const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
  box->setObjectName(QStringLiteral("fileError"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

}  // namespace

MainWindow::MainWindow(const LaunchOptions& options, FileChooser chooser, QWidget* parent)
    : QMainWindow(parent),
      chooser_(std::move(chooser)),
      launch_(options),
      settings_(openAppSettings()) {
  if (!chooser_) {
    chooser_ = [this](FileDialogKind kind, const QString& folder, const QString& suggested) {
      return askWithDialogs(this, kind, folder, suggested);
    };
  }
  programmer_ = loadProgrammerSettings(*settings_);
  preferences_ = loadWindowPreferences(*settings_);
  if (launch_.port.isEmpty()) launch_.port = settings_->value(QStringLiteral("port")).toString();
  if (launch_.device.isEmpty())
    launch_.device = settings_->value(QStringLiteral("device")).toString();

  createActions();
  createWidgets();
  setAcceptDrops(true);
  setWindowTitle(QStringLiteral("zylisp-gui[*]"));
  resize(1120, 700);
  restoreGeometry(settings_->value(QStringLiteral("window/geometry")).toByteArray());
  restoreState(settings_->value(QStringLiteral("window/state")).toByteArray());

  worker_ = new ChipWorker;
  worker_->moveToThread(&thread_);
  connectWorker();
  connect(new StopSignals(this), &StopSignals::stopRequested, this, &MainWindow::stopBySignal);
  thread_.start();
  send([w = worker_, s = programmer_, ignore = preferences_.ignoreChecksums] {
    w->start(s, ignore);
  });
  updateActions();
  updateStatus();
}

MainWindow::~MainWindow() { shutdownWorker(); }

QByteArray MainWindow::image() const { return model_->bytes(0, model_->imageSize()); }

// The worker is gone once its thread has ended.
int MainWindow::imageCalls() const { return thread_.isRunning() ? worker_->imageCalls() : 0; }

void MainWindow::createActions() {
  const auto make = [this](const char* name, const QString& text, const QKeySequence& keys,
                           QStyle::StandardPixmap icon) {
    auto* action = new QAction(style()->standardIcon(icon), text, this);
    action->setObjectName(QLatin1String(name));
    action->setShortcut(keys);
    const QString plain = QString(text).remove(QLatin1Char('&')).remove(QStringLiteral("..."));
    action->setToolTip(keys.isEmpty() ? plain
                                      : QStringLiteral("%1 (%2)").arg(
                                            plain, keys.toString(QKeySequence::NativeText)));
    return action;
  };
  openAction_ = make("actionOpen", tr("&Open file..."), QKeySequence(tr("Ctrl+O")),
                     QStyle::SP_DialogOpenButton);
  saveAction_ = make("actionSave", tr("&Save image as..."), QKeySequence(tr("Ctrl+S")),
                     QStyle::SP_DialogSaveButton);
  quitAction_ =
      make("actionQuit", tr("&Quit"), QKeySequence(tr("Ctrl+Q")), QStyle::SP_DialogCloseButton);
  readAction_ =
      make("actionRead", tr("&Read chip"), QKeySequence(tr("Ctrl+R")), QStyle::SP_ArrowDown);
  eraseAction_ =
      make("actionErase", tr("&Erase"), QKeySequence(tr("Ctrl+E")), QStyle::SP_TrashIcon);
  blankAction_ = make("actionBlankCheck", tr("&Blank check"), QKeySequence(tr("Ctrl+B")),
                      QStyle::SP_FileDialogContentsView);
  programAction_ =
      make("actionProgram", tr("&Program"), QKeySequence(tr("Ctrl+P")), QStyle::SP_ArrowUp);
  verifyAction_ =
      make("actionVerify", tr("&Verify"), QKeySequence(tr("Ctrl+Y")), QStyle::SP_DialogApplyButton);
  allAction_ = make("actionEraseProgramVerify", tr("Erase+Program+Verify"),
                    QKeySequence(tr("Ctrl+Shift+P")), QStyle::SP_MediaPlay);
  detectAction_ = make("actionDetect", tr("&Detect"), QKeySequence(tr("Ctrl+D")),
                       QStyle::SP_MessageBoxQuestion);
  cancelAction_ =
      make("actionCancel", tr("&Cancel"), QKeySequence(Qt::Key_Escape), QStyle::SP_BrowserStop);
  goToAction_ = make("actionGoTo", tr("&Go to address..."), QKeySequence(tr("Ctrl+G")),
                     QStyle::SP_ArrowForward);
  refreshAction_ = make("actionRefreshPorts", tr("Refresh &ports"), QKeySequence(Qt::Key_F5),
                        QStyle::SP_BrowserReload);
  settingsAction_ = make("actionSettings", tr("Programmer &settings..."), QKeySequence(),
                         QStyle::SP_FileDialogDetailedView);
  aboutAction_ = make("actionAbout", tr("&About zylisp-gui"), QKeySequence(),
                      QStyle::SP_MessageBoxInformation);

  const auto chip = [this](void (ChipWorker::*request)()) {
    return [this, request] { send([w = worker_, request] { (w->*request)(); }); };
  };
  connect(openAction_, &QAction::triggered, this, &MainWindow::openFile);
  // Asks first; the texts name the chip when the question comes.
  const auto writing = [this, chip](void (ChipWorker::*request)(), const char* text) {
    return [this, request, text, run = chip(request)] {
      if (confirmChipWrite(tr(text).arg(currentDevice(), currentPort()))) run();
    };
  };
  connect(saveAction_, &QAction::triggered, this, [this] { saveImage(); });
  connect(quitAction_, &QAction::triggered, this, &MainWindow::close);
  connect(readAction_, &QAction::triggered, this, chip(&ChipWorker::readChip));
  connect(eraseAction_, &QAction::triggered, this,
          writing(&ChipWorker::erase,
                  QT_TR_NOOP("Erase the %1 on %2? Every byte of the chip becomes FF.")));
  connect(blankAction_, &QAction::triggered, this, chip(&ChipWorker::blankCheck));
  connect(programAction_, &QAction::triggered, this,
          writing(&ChipWorker::program,
                  QT_TR_NOOP("Program the image into the %1 on %2? What the chip holds now is "
                             "overwritten.")));
  connect(verifyAction_, &QAction::triggered, this, chip(&ChipWorker::verify));
  connect(allAction_, &QAction::triggered, this,
          writing(&ChipWorker::eraseProgramVerify,
                  QT_TR_NOOP("Erase the %1 on %2, program the image into it and verify it? What "
                             "the chip holds now is overwritten.")));
  connect(detectAction_, &QAction::triggered, this, chip(&ChipWorker::detect));
  connect(refreshAction_, &QAction::triggered, this, chip(&ChipWorker::listPorts));
  connect(goToAction_, &QAction::triggered, this, &MainWindow::goToAddress);
  connect(settingsAction_, &QAction::triggered, this, &MainWindow::showSettings);
  connect(aboutAction_, &QAction::triggered, this, &MainWindow::showAbout);
  // The session's stop request is safe from this thread.
  connect(cancelAction_, &QAction::triggered, this, [this] {
    worker_->requestStop();
    statusBar()->showMessage(tr("Stopping at the next page..."));
  });

  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addActions({openAction_, saveAction_});
  file->addSeparator();
  file->addAction(quitAction_);
  QMenu* chipMenu = menuBar()->addMenu(tr("&Chip"));
  chipMenu->addActions({detectAction_, readAction_, eraseAction_, blankAction_, programAction_,
                        verifyAction_, allAction_});
  chipMenu->addSeparator();
  chipMenu->addAction(cancelAction_);
  chipMenu->addSeparator();
  chipMenu->addActions({refreshAction_, settingsAction_});
  viewMenu_ = menuBar()->addMenu(tr("&View"));
  viewMenu_->addAction(goToAction_);
  QMenu* help = menuBar()->addMenu(tr("&Help"));
  help->addAction(aboutAction_);
}

void MainWindow::createWidgets() {
  model_ = new HexModel(this);
  view_ = new HexView(this);
  view_->setObjectName(QStringLiteral("hexView"));
  view_->setHexModel(model_);
  setCentralWidget(view_);

  parts_ = new PartChooser(this);
  port_ = new QComboBox(this);
  port_->setObjectName(QStringLiteral("portChoice"));
  port_->setMinimumContentsLength(18);
  port_->setSizeAdjustPolicy(QComboBox::AdjustToContents);

  QToolBar* selection = addToolBar(tr("Selection"));
  selection->setObjectName(QStringLiteral("selectionToolBar"));
  selection->addWidget(new QLabel(tr(" Device "), this));
  selection->addWidget(parts_);
  selection->addWidget(new QLabel(tr(" Port "), this));
  selection->addWidget(port_);
  selection->addAction(refreshAction_);
  selection->addAction(settingsAction_);
  addToolBarBreak();
  QToolBar* actions = addToolBar(tr("Actions"));
  actions->setObjectName(QStringLiteral("actionToolBar"));
  actions->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  actions->addActions({openAction_, saveAction_});
  actions->addSeparator();
  actions->addActions({detectAction_, readAction_, eraseAction_, blankAction_, programAction_,
                       verifyAction_, allAction_});
  actions->addSeparator();
  actions->addAction(cancelAction_);

  log_ = new QPlainTextEdit(this);
  log_->setObjectName(QStringLiteral("log"));
  log_->setReadOnly(true);
  log_->setMaximumBlockCount(5000);
  auto* logDock = new QDockWidget(tr("Log"), this);
  logDock->setObjectName(QStringLiteral("logDock"));
  logDock->setWidget(log_);
  addDockWidget(Qt::BottomDockWidgetArea, logDock);

  differences_ = new DifferencePanel(this);
  auto* differenceDock = new QDockWidget(tr("Differences"), this);
  differenceDock->setObjectName(QStringLiteral("differenceDock"));
  differenceDock->setWidget(differences_);
  addDockWidget(Qt::RightDockWidgetArea, differenceDock);
  viewMenu_->addSeparator();
  viewMenu_->addActions({logDock->toggleViewAction(), differenceDock->toggleViewAction()});

  progress_ = new ProgressPanel(this);
  auto* cancel = new QToolButton(progress_);
  cancel->setDefaultAction(cancelAction_);
  progress_->layout()->addWidget(cancel);
  deviceLabel_ = new QLabel(this);
  sizeLabel_ = new QLabel(this);
  fileLabel_ = new QLabel(this);
  crcLabel_ = new QLabel(this);
  connectionLabel_ = new QLabel(this);
  statusBar()->addPermanentWidget(progress_);
  for (QLabel* label : {connectionLabel_, deviceLabel_, sizeLabel_, fileLabel_, crcLabel_})
    statusBar()->addPermanentWidget(label);

  connect(parts_, &PartChooser::deviceChosen, this, &MainWindow::selectionChanged);
  connect(parts_, &PartChooser::nothingFound, this, [this](const QString& text) {
    statusBar()->showMessage(tr("No part is named %1, nor sold as it").arg(text));
  });
  connect(port_, &QComboBox::activated, this, &MainWindow::selectionChanged);
  connect(differences_, &DifferencePanel::addressChosen, view_, &HexView::goToAddress);
  connect(model_, &HexModel::byteEdited, this, [this](int address, int value) {
    modified_ = true;
    clearDifferences();
    updateStatus();
    QMetaObject::invokeMethod(
        worker_, [w = worker_, address, value] { w->writeByte(address, value); },
        Qt::QueuedConnection);
  });
}

void MainWindow::connectWorker() {
  connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
  connect(worker_, &ChipWorker::partsListed, this, &MainWindow::onPartsListed);
  connect(worker_, &ChipWorker::libraryVersion, this,
          [this](const QString& version) { libraryVersion_ = version; });
  connect(worker_, &ChipWorker::portsListed, this, &MainWindow::onPortsListed);
  connect(worker_, &ChipWorker::operationStarted, this, &MainWindow::onOperationStarted);
  connect(worker_, &ChipWorker::stepStarted, progress_, &ProgressPanel::step);
  connect(worker_, &ChipWorker::progress, progress_, &ProgressPanel::progress);
  connect(worker_, &ChipWorker::operationFinished, this, &MainWindow::onOperationFinished);
  connect(worker_, &ChipWorker::imageChanged, this, &MainWindow::showImage);
  connect(worker_, &ChipWorker::imageChecked, this, [this](quint32 crc) {
    crc_ = crc;
    updateStatus();
  });
  connect(worker_, &ChipWorker::detected, this,
          [this](const DetectedChip& chip) { detection_ = chip; });
  connect(worker_, &ChipWorker::byteWritten, this, [this](int address, int value) {
    model_->retryMissing();
    model_->setByte(address, static_cast<quint8>(value));
    updateStatus();
  });
  connect(worker_, &ChipWorker::editFailed, this, [this](int address, const QString& text) {
    const QString line = tr("Edit at 0x%1: %2").arg(QString::number(address, 16).toUpper(), text);
    log(line);
    statusBar()->showMessage(line);
  });
  connect(worker_, &ChipWorker::differencesFound, this, &MainWindow::onDifferencesFound);
  connect(worker_, &ChipWorker::connectionChanged, this,
          [this](bool connected, const QString& description) {
            connected_ = connected;
            // The port is opened for each operation: the log names the
            // connection when it is a new one.
            if (connected && description != connectionLogged_) {
              log(tr("Connected: %1").arg(description));
              connectionLogged_ = description;
            }
            if (connected) portOpened_ = true;
            updateStatus();
          });
  connect(worker_, &ChipWorker::statusRead, this, [this](int value) {
    if (settingsDialog_) settingsDialog_->showStatus(value);
  });
}

void MainWindow::send(const std::function<void()>& request) {
  ++pending_;
  updateActions();
  QMetaObject::invokeMethod(worker_, request, Qt::QueuedConnection);
}

void MainWindow::updateActions() {
  const bool idle = pending_ == 0;
  const bool device = !currentDevice().isEmpty();
  const bool chip = idle && device && !currentPort().isEmpty();
  openAction_->setEnabled(idle && device);
  saveAction_->setEnabled(idle && model_->imageSize() > 0);
  for (QAction* a :
       {readAction_, eraseAction_, blankAction_, programAction_, verifyAction_, allAction_})
    a->setEnabled(chip);
  detectAction_->setEnabled(idle && !currentPort().isEmpty());
  cancelAction_->setEnabled(!idle);
  refreshAction_->setEnabled(idle);
  settingsAction_->setEnabled(idle);
  goToAction_->setEnabled(model_->imageSize() > 0);
  parts_->setEnabled(idle);
  port_->setEnabled(idle);
  model_->setEditable(idle);
  if (settingsDialog_) settingsDialog_->setBusy(!idle);
}

void MainWindow::updateStatus() {
  const QString device = currentDevice();
  deviceLabel_->setText(device.isEmpty() ? tr("No device") : device);
  sizeLabel_->setText(tr("%1 bytes").arg(model_->imageSize()));
  fileLabel_->setText((fileName_.isEmpty() ? tr("(no file)") : QFileInfo(fileName_).fileName()) +
                      (modified_ ? tr(" (modified)") : QString()));
  fileLabel_->setToolTip(fileName_);
  crcLabel_->setText(
      tr("CRC-32 %1")
          .arg(QString::number(crc_, 16).rightJustified(8, QLatin1Char('0')).toUpper()));
  connectionLabel_->setText(connected_     ? tr("%1 connected").arg(currentPort())
                            : portOpened_ ? tr("%1 free while idle").arg(currentPort())
                                          : tr("Not connected"));
  setWindowModified(modified_);
  setWindowTitle(fileName_.isEmpty()
                     ? QStringLiteral("zylisp-gui[*]")
                     : QStringLiteral("%1[*] - zylisp-gui").arg(QFileInfo(fileName_).fileName()));
}

void MainWindow::log(const QString& line, const QDateTime& when) {
  log_->appendPlainText(
      QStringLiteral("%1  %2").arg(when.toString(QStringLiteral("HH:mm:ss")), line));
}

void MainWindow::onPartsListed(const QVector<PartEntry>& parts) {
  parts_->setParts(parts);
  if (!launch_.device.isEmpty() && !parts_->setDevice(launch_.device))
    log(tr("Device %1 is not in the catalogue; choose one from the list").arg(launch_.device));
}

void MainWindow::onPortsListed(const QStringList& ports, const QStringList& devices) {
  const QString current = portsListedOnce_ ? currentPort() : launch_.port.toUpper();
  port_->clear();
  for (int i = 0; i < ports.size(); ++i) {
    const QString& device = devices.value(i);
    port_->addItem(device.isEmpty() ? ports[i] : ports[i] + QStringLiteral("  ") + device, ports[i]);
  }
  int at = port_->findData(current);
  // A port named on the command line stays a choice even when the list
  // lacks it: connecting then says why it cannot be used.
  if (at < 0 && !current.isEmpty() && !portsListedOnce_) {
    port_->addItem(current, current);
    at = port_->count() - 1;
  }
  port_->setCurrentIndex(std::max(at, 0));
  const bool first = !portsListedOnce_;
  portsListedOnce_ = true;
  if (first || currentPort() != current) selectionChanged();
  if (first && !launch_.file.isEmpty()) openPath(launch_.file);
}

void MainWindow::selectionChanged() {
  if (!portsListedOnce_) return;
  const QString device = currentDevice();
  const int lost = device == selected_.device ? 0 : bytesLostTo(device);
  if (lost > 0) {
    const int size = parts_->find(device)->size;
    const Unsaved answer = askAboutUnsaved(
        tr("The %1 holds %2 bytes: choosing it cuts the image, and the %3 bytes from 0x%4 on are "
           "lost (%5 of them other than FF).")
            .arg(device)
            .arg(size)
            .arg(model_->imageSize() - size)
            .arg(QString::number(size, 16).toUpper().rightJustified(4, QLatin1Char('0')))
            .arg(lost),
        [this] { applySelection(); }, [this] { revertSelection(); });
    if (answer == Unsaved::Keep) revertSelection();
    if (answer != Unsaved::Proceed) return;
  }
  applySelection();
}

void MainWindow::applySelection() {
  // The image that is left is no longer the one of its file.
  if (bytesLostTo(currentDevice()) > 0) modified_ = true;
  selected_ = {currentPort(), currentDevice()};
  portOpened_ = false;
  connectionLogged_.clear();
  settings_->setValue(QStringLiteral("port"), selected_.port);
  settings_->setValue(QStringLiteral("device"), selected_.device);
  clearDifferences();
  send([w = worker_, s = selected_] { w->select(s); });
  updateStatus();
}

void MainWindow::revertSelection() {
  parts_->setDevice(selected_.device);
  port_->setCurrentIndex(std::max(port_->findData(selected_.port), 0));
  updateStatus();
}

int MainWindow::bytesLostTo(const QString& device) const {
  const PartEntry* part = parts_->find(device);
  if (!part) return 0;
  // Read in runs: the end of a large image is never held whole.
  int lost = 0;
  for (int at = part->size; at < model_->imageSize(); at += kScanBytes) {
    const QByteArray dropped = model_->bytes(at, kScanBytes);
    lost += int(dropped.size() - dropped.count('\xFF'));
  }
  return lost;
}

void MainWindow::clearDifferences() {
  differences_->clear();
  model_->setDifferences({});
}

void MainWindow::showImage(int size) {
  if (size == model_->imageSize()) {
    model_->invalidate();
  } else {
    // The worker's thread ends before the window does: after it, there is
    // no session to read.
    model_->setSource(size, [this](int offset, int length) {
      return thread_.isRunning() ? worker_->peekImage(offset, length) : QByteArray();
    });
  }
  clearDifferences();
  updateStatus();
}

void MainWindow::onDetectFinished(int code, const QString& text) {
  const DetectedChip found = std::exchange(detection_, {});
  if (code != ZYL_OK && code != ZYL_ERR_DEVICE_UNKNOWN) {
    tellDetection(QMessageBox::Warning, text);
    return;
  }
  if (code != ZYL_OK || found.names.isEmpty()) {
    // The library says what can and cannot be detected.
    tellDetection(QMessageBox::Information, found.text.isEmpty() ? text : found.text);
    return;
  }
  if (found.names.size() == 1) {
    // A part known by its SFDP table alone is not in the table.
    if (!parts_->find(found.names.front())) {
      PartEntry made;
      made.name = found.names.front();
      made.busKind = found.busKind;
      made.family =
          found.busKind == ZYL_BUS_DATAFLASH ? ZYL_FAMILY_DATAFLASH : ZYL_FAMILY_SPI_FLASH;
      made.size = found.size;
      made.pageSize = found.pageSize;
      parts_->addPart(made);
    }
    choosePart(found.names.front());
    return;
  }
  auto* dialog = new DetectedPartsDialog(found.text, found.names, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    if (!dialog->chosen().isEmpty()) choosePart(dialog->chosen());
  });
  dialog->open();
}

void MainWindow::choosePart(const QString& name) {
  if (!parts_->setDevice(name)) {
    tellDetection(QMessageBox::Warning,
                  tr("The library named a part it does not list: %1").arg(name));
    return;
  }
  if (name == selected_.device) {
    statusBar()->showMessage(tr("The %1 is the device chosen").arg(name));
    return;
  }
  selectionChanged();
}

void MainWindow::tellDetection(QMessageBox::Icon icon, const QString& text) {
  auto* box = new QMessageBox(icon, tr("Detect"), text, QMessageBox::Ok, this);
  box->setObjectName(QStringLiteral("detectResult"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

MainWindow::Unsaved MainWindow::askAboutUnsaved(const QString& text, std::function<void()> then,
                                                std::function<void()> otherwise) {
  QMessageBox box(QMessageBox::Warning, tr("Unsaved changes"), text,
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
  box.setObjectName(QStringLiteral("unsavedChanges"));
  box.setDefaultButton(QMessageBox::Save);
  const int answer = box.exec();
  if (answer == QMessageBox::Discard) return Unsaved::Proceed;
  if (answer != QMessageBox::Save || !saveImage()) return Unsaved::Keep;
  afterSave_ = std::move(then);
  afterFailedSave_ = std::move(otherwise);
  return Unsaved::AfterSave;
}

bool MainWindow::confirmChipWrite(const QString& text) {
  if (!preferences_.confirmChipWrites) return true;
  QMessageBox box(QMessageBox::Question, tr("Write the chip"), text,
                  QMessageBox::Yes | QMessageBox::Cancel, this);
  box.setObjectName(QStringLiteral("confirmChipWrite"));
  box.setDefaultButton(QMessageBox::Yes);
  // Owned by the box.
  auto* dontAsk = new QCheckBox(tr("Don't ask again"));
  box.setCheckBox(dontAsk);
  if (box.exec() != QMessageBox::Yes) return false;
  if (dontAsk->isChecked()) {
    preferences_.confirmChipWrites = false;
    saveWindowPreferences(*settings_, preferences_);
  }
  return true;
}

QString MainWindow::currentDevice() const { return parts_->device(); }

QString MainWindow::currentPort() const { return port_->currentData().toString(); }

void MainWindow::onOperationStarted(Operation operation) {
  progress_->begin(operationName(operation));
  // What a verify found no longer holds once the chip is written.
  if (operation == Operation::Verify || operation == Operation::Erase ||
      operation == Operation::Program || operation == Operation::EraseProgramVerify ||
      operation == Operation::WriteStatus)
    clearDifferences();
}

void MainWindow::onOperationFinished(const OperationResult& result) {
  pending_ = std::max(pending_ - 1, 0);
  // The worker has let go of the session: what the view could not read
  // while it ran can be read now.
  model_->retryMissing();
  if (pending_ == 0) progress_->end();
  const QString name = operationName(result.operation);
  QString line = name;
  if (!result.file.isEmpty()) line += QStringLiteral(" ") + QFileInfo(result.file).fileName();
  line += QStringLiteral(": ") + result.text;
  if (!result.summary.isEmpty()) line += QStringLiteral(" - ") + result.summary;
  line += tr(" (%1 s)").arg(double(result.milliseconds) / 1000.0, 0, 'f', 2);
  log(line, result.started);
  statusBar()->showMessage(
      QStringLiteral("%1: %2").arg(name, result.summary.isEmpty() ? result.text : result.summary));

  const bool ok = result.code == ZYL_OK;
  std::function<void()> next;
  switch (result.operation) {
    case Operation::Open:
      if (ok) {
        fileName_ = result.file;
        modified_ = false;
      } else {
        showFileError(this, tr("Cannot open %1").arg(result.file),
                      tr("%1\n\nThe image stays as it was.").arg(result.text));
      }
      break;
    case Operation::Save:
      if (ok) {
        fileName_ = result.file;
        modified_ = false;
      } else {
        showFileError(this, tr("Cannot save %1").arg(result.file), result.text);
      }
      next = ok ? std::move(afterSave_) : std::move(afterFailedSave_);
      afterSave_ = {};
      afterFailedSave_ = {};
      break;
    case Operation::Read:
      if (ok) {
        fileName_.clear();
        modified_ = false;
      }
      break;
    case Operation::Detect:
      // After the window's state is up to date: choosing a part queues work.
      next = [this, code = result.code, text = result.text] { onDetectFinished(code, text); };
      break;
    default: break;
  }
  updateStatus();
  updateActions();
  emit operationFinished(name, result.code, result.text);
  if (stoppingBySignal_) {
    if (pending_ == 0) closeBySignal();
    return;
  }
  // The work that waited for this save.
  if (next) next();
}

void MainWindow::onDifferencesFound(const QVector<ByteDifference>& differences) {
  differences_->setDifferences(differences);
  model_->setDifferences(differences);
  // Shown, not selected: the selection would hide the first highlight.
  if (!differences.isEmpty()) view_->scrollTo(model_->indexOfAddress(differences.front().address));
}

void MainWindow::openFile() {
  const FileChoice choice =
      chooser_(FileDialogKind::Open, settings_->value(QStringLiteral("folder")).toString(), {});
  if (!choice.path.isEmpty()) requestOpen(choice.path);
}

void MainWindow::requestOpen(const QString& path) {
  if (modified_ &&
      askAboutUnsaved(tr("The image has changes that are not saved. Opening %1 replaces them.")
                          .arg(QFileInfo(path).fileName()),
                      [this, path] { openPath(path); }) != Unsaved::Proceed)
    return;
  openPath(path);
}

void MainWindow::openPath(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  settings_->setValue(QStringLiteral("folder"), QFileInfo(absolute).absolutePath());
  send([w = worker_, absolute] { w->openFile(absolute); });
}

bool MainWindow::saveImage() {
  const QString suggested = fileName_.isEmpty() ? currentDevice() + QStringLiteral(".hex")
                                                : QFileInfo(fileName_).fileName();
  const FileChoice choice = chooser_(
      FileDialogKind::Save, settings_->value(QStringLiteral("folder")).toString(), suggested);
  if (choice.path.isEmpty()) return false;
  int format = choice.format;
  if (format == 0) format = formatForFileName(choice.path, model_->imageSize());
  if (format == 0) format = ZYL_FMT_BINARY;
  const QString absolute = QFileInfo(choice.path).absoluteFilePath();
  settings_->setValue(QStringLiteral("folder"), QFileInfo(absolute).absolutePath());
  send([w = worker_, absolute, format] { w->saveFile(absolute, format); });
  return true;
}

void MainWindow::goToAddress() {
  bool ok = false;
  QString text = QInputDialog::getText(this, tr("Go to address"), tr("Address (hexadecimal):"),
                                       QLineEdit::Normal, {}, &ok)
                     .trimmed();
  if (!ok) return;
  if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) text = text.mid(2);
  const int address = text.toInt(&ok, 16);
  if (!ok || address < 0 || address >= model_->imageSize()) {
    statusBar()->showMessage(
        tr("No address %1 in an image of %2 bytes").arg(text).arg(model_->imageSize()));
    return;
  }
  view_->goToAddress(address);
}

void MainWindow::showSettings() {
  const PartEntry* part = parts_->find(currentDevice());
  const bool spi = part && part->busKind == ZYL_BUS_SPI;
  auto* dialog = new SettingsDialog(programmer_, preferences_, currentDevice(), spi,
                                    model_->imageSize(), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  settingsDialog_ = dialog;
  connect(dialog, &SettingsDialog::readStatusRequested, this,
          [this] { send([w = worker_] { w->readStatus(); }); });
  connect(dialog, &SettingsDialog::writeStatusRequested, this,
          [this](int value) { send([w = worker_, value] { w->writeStatus(value); }); });
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    programmer_ = dialog->settings();
    saveProgrammerSettings(*settings_, programmer_);
    preferences_ = dialog->preferences();
    saveWindowPreferences(*settings_, preferences_);
    // Queued ahead of any later open.
    QMetaObject::invokeMethod(
        worker_,
        [w = worker_, ignore = preferences_.ignoreChecksums] { w->setIgnoreChecksums(ignore); },
        Qt::QueuedConnection);
    send([w = worker_, s = programmer_] { w->applySettings(s); });
  });
  dialog->open();
}

void MainWindow::showAbout() {
  QMessageBox::about(this, tr("About zylisp-gui"),
                     tr("<p><b>zylisp-gui</b> %1</p><p>Reads, programs and verifies serial EEPROMs "
                        "through the in-system programmer adapter.</p><p>zylisp library %2</p>")
                         .arg(QCoreApplication::applicationVersion(), libraryVersion_));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // After a save the window closes again, then with nothing unsaved. A
  // stop signal never waits for an answer.
  if (modified_ && !stoppingBySignal_ &&
      askAboutUnsaved(tr("The image has changes that are not saved. Quitting loses them."),
                      [this] { close(); }) != Unsaved::Proceed) {
    event->ignore();
    return;
  }
  settings_->setValue(QStringLiteral("window/geometry"), saveGeometry());
  settings_->setValue(QStringLiteral("window/state"), saveState());
  shutdownWorker();
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (urls.size() == 1 && urls.front().isLocalFile() && openAction_->isEnabled())
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  requestOpen(event->mimeData()->urls().front().toLocalFile());
}

void MainWindow::shutdownWorker() {
  if (!thread_.isRunning()) return;
  // A running operation stops at its next page, queued ones do not start;
  // then the connection closes.
  worker_->finish();
  QMetaObject::invokeMethod(
      worker_, [w = worker_] { w->shutdown(); }, Qt::BlockingQueuedConnection);
  thread_.quit();
  thread_.wait();
}

void MainWindow::stopBySignal(int sig) {
  stoppingBySignal_ = true;
  // After the window closed, the worker and its session are gone.
  if (thread_.isRunning()) worker_->finish();
  const QString name = StopSignals::name(sig);
  if (pending_ == 0) {
    tell(tr("%1: quitting").arg(name));
    closeBySignal();
    return;
  }
  tell(tr("%1: stopping at the next page, then quitting; a second signal ends at once").arg(name));
  statusBar()->showMessage(tr("Stopping at the next page, then quitting..."));
}

void MainWindow::closeBySignal() {
  if (modified_) tell(tr("The changes to the image were not saved"));
  // A question still open gets no answer: it is cancelled.
  for (QDialog* dialog : findChildren<QDialog*>())
    if (dialog->isVisible()) dialog->reject();
  close();
}

void MainWindow::tell(const QString& line) {
  log(line);
  std::fprintf(stderr, "zylisp-gui: %s\n", qPrintable(line));
}

}  // namespace zylgui
