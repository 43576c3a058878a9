// The main window driven through its actions, as a user drives it, over the
// emulated adapter: the simulated LPT1 inside the library and zylsim on a
// pseudo-terminal as COM1.
#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <csignal>
#include <memory>

#include "app_settings.h"
#include "hex_model.h"
#include "image_transfer.h"
#include "settings_dialog.h"
#include "support/child_process.h"
#include "support/zylsim_process.h"

using zylgui::LaunchOptions;
using zylgui::MainWindow;

namespace {

// Neighbouring bytes differ, and none is 0x00 or blank.
QByteArray pattern(int size) {
  QByteArray data(size, '\0');
  for (int a = 0; a < size; ++a) data[a] = static_cast<char>((a * 7 + 3) % 254 + 1);
  return data;
}

QByteArray intelHex(const QByteArray& data) {
  QByteArray text;
  for (int a = 0; a < data.size(); a += 16) {
    QByteArray record;
    record.append(char(std::min(16, int(data.size()) - a)));
    record.append(char(a >> 8)).append(char(a)).append('\0').append(data.mid(a, 16));
    quint8 sum = 0;
    for (const char c : record) sum = quint8(sum + quint8(c));
    record.append(char(quint8(0x100 - sum)));
    text += ':' + record.toHex().toUpper() + '\n';
  }
  return text + ":00000001FF\n";
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Finished {
  int code = -1;
  QString text;
};

// How a user answers a message box of the window.
struct Answer {
  QMessageBox::StandardButton button;
  bool dontAskAgain = false;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase();
  void init();
  void roundTrip_data();
  void roundTrip();
  void verifyListsStuckCell_data();
  void verifyListsStuckCell();
  void cancelStopsProgramAndReadKeepsWindowResponsive();
  void typedBytesReachTheChip();
  void imageMovesInBlocks();
  void savedImageOpensAgain_data();
  void savedImageOpensAgain();
  void statusRegisterGuardsTheChip();
  void imageIsKeptUntilLetGo_data();
  void imageIsKeptUntilLetGo();
  void chipWritesAskOnce_data();
  void chipWritesAskOnce();
  void stopSignalClosesTheWindow_data();
  void stopSignalClosesTheWindow();
  void failuresNameTheirCause_data();
  void failuresNameTheirCause();
  void largeImageShowsThroughBlockReads();
  void searchFindsPartsByAlias_data();
  void searchFindsPartsByAlias();
  void detectChoosesThePart_data();
  void detectChoosesThePart();
  void loadedImageShowsToItsEnd();

 private:
  // Serves the chip on a zylsim pseudo-terminal as COM1.
  void serveOnCom1(const QStringList& options);
  // Plugs a chip kept in the file name into the simulated LPT1.
  void useLpt1(const QString& device, const QString& name);
  std::unique_ptr<MainWindow> openWindow(const QString& port, const QString& device,
                                         const QString& file = {});
  // The next operation of that name that the window finishes.
  Finished waitFor(const QString& operation, int limitMs = 120000);
  // Triggers the action once it is enabled; false when it never is.
  bool press(MainWindow& window, const char* action);
  Finished trigger(MainWindow& window, const char* action, const QString& operation);
  // Sets a check box of the settings dialog, which showed it the other way,
  // and accepts the dialog.
  void setSetting(MainWindow& window, const char* box, bool on);
  // The settings dialog, opened, and its serial send-ahead box.
  QSpinBox* sendAheadBox(MainWindow& window, QPointer<zylgui::SettingsDialog>& dialog);

  QTemporaryDir dir_;
  std::unique_ptr<testing_support::Zylsim> zylsim_;
  QString zylsimPath_;
  // What the window's open and save dialogs answer.
  zylgui::FileChoice chosen_;
  zylgui::FileChoice saveAs_;
  // The answers to the window's message boxes, by the box's object name; a
  // box of another name is closed. Each box answered adds "name: text".
  QHash<QString, Answer> answers_;
  QStringList asked_;
  QTimer answerer_;
  std::unique_ptr<QSignalSpy> finished_;
};

void MainWindowTest::initTestCase() {
  // Polls for the boxes, which may block in their own event loop.
  answerer_.setInterval(5);
  connect(&answerer_, &QTimer::timeout, this, [this] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (!box || !box->isVisible()) continue;
      asked_ << box->objectName() + QStringLiteral(": ") + box->text();
      const Answer answer = answers_.value(box->objectName(), {QMessageBox::NoButton});
      if (box->checkBox()) box->checkBox()->setChecked(answer.dontAskAgain);
      box->button(answer.button) ? box->button(answer.button)->click() : box->reject();
    }
  });
  answerer_.start();
}

void MainWindowTest::init() {
  // Every case starts with the window's defaults.
  zylgui::saveWindowPreferences(*zylgui::openAppSettings(), {});
  zylgui::saveProgrammerSettings(*zylgui::openAppSettings(), {});
  answers_ = {{QStringLiteral("confirmChipWrite"), {QMessageBox::Yes}},
              {QStringLiteral("fileError"), {QMessageBox::Ok}}};
  asked_.clear();
}

void MainWindowTest::serveOnCom1(const QStringList& options) {
  std::vector<std::string> args;
  for (const QString& o : options) args.push_back(o.toStdString());
  zylsim_ = std::make_unique<testing_support::Zylsim>(args);
  const std::string path = zylsim_->FirstLine();
  QVERIFY2(path.rfind("/dev/", 0) == 0, path.c_str());
  zylsimPath_ = QString::fromStdString(path);
  qputenv("ZYLISP_SERIAL_PORTS", QByteArray::fromStdString(path));
}

void MainWindowTest::useLpt1(const QString& device, const QString& name) {
  qputenv("ZYLISP_LPT_SIM", ("device=" + device + ",image=" + dir_.filePath(name)).toLocal8Bit());
}

std::unique_ptr<MainWindow> MainWindowTest::openWindow(const QString& port, const QString& device,
                                                       const QString& file) {
  auto window = std::make_unique<MainWindow>(
      LaunchOptions{port, device, file},
      [this](zylgui::FileDialogKind kind, const QString&, const QString&) {
        return kind == zylgui::FileDialogKind::Save ? saveAs_ : chosen_;
      });
  finished_ = std::make_unique<QSignalSpy>(window.get(), &MainWindow::operationFinished);
  window->show();
  return window;
}

Finished MainWindowTest::waitFor(const QString& operation, int limitMs) {
  Finished found;
  // found stays at code -1 when the time runs out.
  (void)QTest::qWaitFor(
      [&] {
        while (!finished_->isEmpty()) {
          const QList<QVariant> args = finished_->takeFirst();
          if (args.at(0).toString() == operation) {
            found = {args.at(1).toInt(), args.at(2).toString()};
            return true;
          }
        }
        return false;
      },
      limitMs);
  return found;
}

bool MainWindowTest::press(MainWindow& window, const char* action) {
  QAction* a = window.findChild<QAction*>(QLatin1String(action));
  if (!a || !QTest::qWaitFor([a] { return a->isEnabled(); }, 60000)) return false;
  a->trigger();
  return true;
}

Finished MainWindowTest::trigger(MainWindow& window, const char* action, const QString& operation) {
  return press(window, action) ? waitFor(operation) : Finished{};
}

void MainWindowTest::setSetting(MainWindow& window, const char* box, bool on) {
  QVERIFY(press(window, "actionSettings"));
  // The dialog deletes itself once closed.
  QPointer<zylgui::SettingsDialog> dialog = window.findChild<zylgui::SettingsDialog*>();
  auto* check = dialog ? dialog->findChild<QCheckBox*>(QLatin1String(box)) : nullptr;
  QVERIFY(check && check->isChecked() != on);
  check->setChecked(on);
  dialog->accept();
  QCOMPARE(waitFor(QStringLiteral("Settings")).code, 0);
  delete dialog;
}

QSpinBox* MainWindowTest::sendAheadBox(MainWindow& window,
                                       QPointer<zylgui::SettingsDialog>& dialog) {
  dialog = press(window, "actionSettings") ? window.findChild<zylgui::SettingsDialog*>() : nullptr;
  return dialog ? dialog->findChild<QSpinBox*>(QStringLiteral("serialWindow")) : nullptr;
}

void MainWindowTest::roundTrip_data() {
  QTest::addColumn<QString>("port");
  QTest::addColumn<int>("sendAhead");  // set in the first window's settings; -1: left as it was
  QTest::newRow("simulated LPT1") << QStringLiteral("LPT1") << -1;
  QTest::newRow("zylsim on COM1") << QStringLiteral("COM1") << -1;
  QTest::newRow("zylsim on COM1, lockstep") << QStringLiteral("COM1") << 0;
  QTest::newRow("zylsim on COM1, send-ahead 64") << QStringLiteral("COM1") << 64;
}

void MainWindowTest::roundTrip() {
  QFETCH(QString, port);
  QFETCH(int, sendAhead);
  if (port == QLatin1String("LPT1"))
    useLpt1(QStringLiteral("24C16"), QStringLiteral("round-trip.bin"));
  else
    serveOnCom1({QStringLiteral("--device=24C16")});
  const QByteArray data = pattern(2048);
  const QString hex = dir_.filePath(QStringLiteral("data.hex"));
  writeFile(hex, intelHex(data));
  {
    auto window = openWindow(port, QStringLiteral("24C16"), hex);
    QCOMPARE(waitFor(QStringLiteral("Open")).code, 0);
    QCOMPARE(window->image(), data);
    if (port == QLatin1String("COM1")) {
      const auto* ports = window->findChild<QComboBox*>(QStringLiteral("portChoice"));
      QVERIFY2(ports->currentText().endsWith(zylsimPath_), qPrintable(ports->currentText()));
    }
    if (sendAhead >= 0) {
      QPointer<zylgui::SettingsDialog> dialog;
      QSpinBox* box = sendAheadBox(*window, dialog);
      QVERIFY(box && box->value() == -1);
      box->setValue(sendAhead);
      dialog->accept();
      QCOMPARE(waitFor(QStringLiteral("Settings")).code, 0);
      delete dialog;
    }
    QCOMPARE(trigger(*window, "actionProgram", QStringLiteral("Program")).code, 0);
    QCOMPARE(trigger(*window, "actionVerify", QStringLiteral("Verify")).code, 0);
    QCOMPARE(window->findChild<QTreeWidget*>(QStringLiteral("differenceList"))->topLevelItemCount(),
             0);
  }
  // A new window with an empty image reads the chip back, with the
  // send-ahead remembered.
  auto window = openWindow(port, QStringLiteral("24C16"));
  QPointer<zylgui::SettingsDialog> dialog;
  const QSpinBox* box = sendAheadBox(*window, dialog);
  QVERIFY(box);
  QCOMPARE(box->value(), sendAhead);
  delete dialog;
  QCOMPARE(trigger(*window, "actionRead", QStringLiteral("Read chip")).code, 0);
  QCOMPARE(window->image(), data);
  // The session tells the send-ahead it uses; the parallel link has none.
  const QString log = window->findChild<QPlainTextEdit*>(QStringLiteral("log"))->toPlainText();
  const QString used = QStringLiteral("send-ahead %1 bytes").arg(sendAhead < 0 ? 16 : sendAhead);
  QVERIFY2(port == QLatin1String("COM1") ? log.contains(used)
                                          : !log.contains(QLatin1String("send-ahead")),
           qPrintable(log));
}

void MainWindowTest::verifyListsStuckCell_data() {
  QTest::addColumn<QString>("action");  // what follows the verify; empty: a typed byte
  QTest::addColumn<QString>("operation");
  QTest::addColumn<int>("listed");  // by the Differences pane afterwards
  QTest::newRow("verify again") << "actionVerify" << "Verify" << 1;
  QTest::newRow("erase") << "actionErase" << "Erase" << 0;
  QTest::newRow("program") << "actionProgram" << "Program" << 0;
  QTest::newRow("read") << "actionRead" << "Read chip" << 0;
  QTest::newRow("typed byte") << QString() << QString() << 0;
}

void MainWindowTest::verifyListsStuckCell() {
  QFETCH(QString, action);
  QFETCH(QString, operation);
  QFETCH(int, listed);
  serveOnCom1({QStringLiteral("--device=24C16"), QStringLiteral("--fault=stuck:0x10:0xff:0x00")});
  const QByteArray data = pattern(2048);
  const QString hex = dir_.filePath(QStringLiteral("stuck.hex"));
  writeFile(hex, intelHex(data));
  auto window = openWindow(QStringLiteral("COM1"), QStringLiteral("24C16"), hex);
  QCOMPARE(waitFor(QStringLiteral("Open")).code, 0);
  QCOMPARE(trigger(*window, "actionProgram", QStringLiteral("Program")).code, 0);
  QCOMPARE(trigger(*window, "actionVerify", QStringLiteral("Verify")).code, 10);

  const auto* list = window->findChild<QTreeWidget*>(QStringLiteral("differenceList"));
  QCOMPARE(list->topLevelItemCount(), 1);
  const QTreeWidgetItem* row = list->topLevelItem(0);
  QCOMPARE(row->text(0), QStringLiteral("000010"));
  QCOMPARE(row->text(1), QStringLiteral("00"));
  QCOMPARE(row->text(2), QString::number(quint8(data[0x10]), 16).toUpper().rightJustified(2, '0'));
  QVERIFY(window->grab().save(QStringLiteral(GUI_SCREENSHOT)));
  // The chip was read for the list: the image is the user's again, in the
  // window and in the library, so a second verify finds the same byte.
  QCOMPARE(window->image(), data);
  QAbstractItemModel* model = window->findChild<QTableView*>(QStringLiteral("hexView"))->model();
  const QModelIndex stuck = model->index(1, 0);
  QVERIFY(model->data(stuck, Qt::BackgroundRole).isValid());
  if (action.isEmpty())
    QVERIFY(model->setData(model->index(0x10, 0), QStringLiteral("A5")));
  else
    QCOMPARE(trigger(*window, qPrintable(action), operation).code, listed ? 10 : 0);
  QCOMPARE(list->topLevelItemCount(), listed);
  QCOMPARE(model->data(stuck, Qt::BackgroundRole).isValid(), listed == 1);
  QCOMPARE(trigger(*window, "actionRead", QStringLiteral("Read chip")).code, 0);
  QByteArray chip = operation == QLatin1String("Erase") ? QByteArray(2048, '\xFF') : data;
  chip[0x10] = '\0';
  QCOMPARE(window->image(), chip);
}

void MainWindowTest::cancelStopsProgramAndReadKeepsWindowResponsive() {
  serveOnCom1({QStringLiteral("--device=24C1024"), QStringLiteral("--pace=1")});
  const QByteArray data = pattern(128 * 1024);
  const QString bin = dir_.filePath(QStringLiteral("big.bin"));
  writeFile(bin, data);
  auto window = openWindow(QStringLiteral("COM1"), QStringLiteral("24C1024"), bin);
  QCOMPARE(waitFor(QStringLiteral("Open")).code, 0);

  window->findChild<QAction*>(QStringLiteral("actionProgram"))->trigger();
  const auto* bar = window->findChild<QProgressBar*>(QStringLiteral("progressBar"));
  QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 60000);
  QElapsedTimer sinceCancel;
  sinceCancel.start();
  window->findChild<QAction*>(QStringLiteral("actionCancel"))->trigger();
  const Finished cancelled = waitFor(QStringLiteral("Program"), 30000);
  QCOMPARE(cancelled.code, 18);
  // The detail says how far the write got.
  QVERIFY2(cancelled.text.startsWith(QStringLiteral("Operation cancelled")),
           qPrintable(cancelled.text));
  QVERIFY2(sinceCancel.elapsed() < 2000, qPrintable(QString::number(sinceCancel.elapsed())));

  // The event loop keeps answering while the paced read runs.
  QElapsedTimer sinceTick;
  qint64 largestGap = 0;
  QTimer ticker;
  ticker.setInterval(10);
  connect(&ticker, &QTimer::timeout,
          [&] { largestGap = std::max(largestGap, sinceTick.restart()); });
  sinceTick.start();
  ticker.start();
  QCOMPARE(trigger(*window, "actionRead", QStringLiteral("Read chip")).code, 0);
  ticker.stop();
  // A blocked loop would stall for the whole read; a loaded machine may
  // delay a tick by far less than that.
  QVERIFY2(largestGap < 1000, qPrintable(QString::number(largestGap)));
  // The pages written before the stop are on the chip.
  QCOMPARE(window->image().left(256), data.left(256));
}

void MainWindowTest::typedBytesReachTheChip() {
  serveOnCom1({QStringLiteral("--device=24C16")});
  auto window = openWindow(QStringLiteral("COM1"), QStringLiteral("24C16"));
  QCOMPARE(trigger(*window, "actionBlankCheck", QStringLiteral("Blank check")).code, 0);
  QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Blank check: blank"));

  auto* view = window->findChild<QTableView*>(QStringLiteral("hexView"));
  QVERIFY(QTest::qWaitForWindowActive(window.get()));
  view->setFocus();
  view->setCurrentIndex(view->model()->index(0x10, 0));
  // Two digits make a byte and move on; a letter that is no digit is lost.
  for (const char key : QByteArray("a5x5a")) QTest::keyClick(QApplication::focusWidget(), key);
  QTRY_COMPARE(window->image().mid(0x100, 3), QByteArray("\xA5\x5A\xFF"));

  QCOMPARE(trigger(*window, "actionProgram", QStringLiteral("Program")).code, 0);
  QCOMPARE(trigger(*window, "actionBlankCheck", QStringLiteral("Blank check")).code, 0);
  QCOMPARE(
      window->statusBar()->currentMessage(),
      QStringLiteral("Blank check: not blank: the first byte other than FF is at 0x0100 (A5)"));
  // The idle window leaves the port to others: velkoisp reads the chip back.
  const QString back = dir_.filePath(QStringLiteral("typed-back.bin"));
  testing_support::ChildProcess velkoisp(
      VELKOISP_PATH,
      {"--port=COM1", "--device=24C16", "--binary", "--readeeprom=" + back.toStdString()});
  const testing_support::RunResult read = velkoisp.Finish();
  QVERIFY2(read.status == 0, (read.out + read.err).c_str());
  QByteArray expected(2048, '\xFF');
  expected[0x100] = '\xA5';
  expected[0x101] = '\x5A';
  QCOMPARE(readFile(back), expected);
  // And the window opens it again for its next operation.
  QCOMPARE(trigger(*window, "actionVerify", QStringLiteral("Verify")).code, 0);
}

void MainWindowTest::imageMovesInBlocks() {
  useLpt1(QStringLiteral("24C1024"), QStringLiteral("blocks.chip"));
  const QByteArray data = pattern(128 * 1024);
  chosen_ = {dir_.filePath(QStringLiteral("blocks.bin")), 0};
  writeFile(chosen_.path, data);
  // A handful of image calls per step, not one per byte.
  int calls = 0;
  {
    auto window = openWindow(QStringLiteral("LPT1"), QStringLiteral("24C1024"));
    QCOMPARE(waitFor(QStringLiteral("Connect")).code, 0);
    calls = window->imageCalls();
    QCOMPARE(trigger(*window, "actionOpen", QStringLiteral("Open")).code, 0);
    calls = window->imageCalls() - calls;
    QVERIFY2(calls <= 4, qPrintable(QString::number(calls)));
    QCOMPARE(window->image(), data);
    QCOMPARE(trigger(*window, "actionProgram", QStringLiteral("Program")).code, 0);
  }
  // Another window reads the chip back.
  auto window = openWindow(QStringLiteral("LPT1"), QStringLiteral("24C1024"));
  QCOMPARE(waitFor(QStringLiteral("Connect")).code, 0);
  calls = window->imageCalls();
  QCOMPARE(trigger(*window, "actionRead", QStringLiteral("Read chip")).code, 0);
  calls = window->imageCalls() - calls;
  QVERIFY2(calls <= 4, qPrintable(QString::number(calls)));
  QCOMPARE(window->image(), data);
}

void MainWindowTest::savedImageOpensAgain_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("format");  // as chosen in the dialog; 0 for none
  QTest::addColumn<QByteArray>("start");
  QTest::newRow("Intel HEX by its extension") << "out.hex" << 0 << QByteArray(":10000000");
  QTest::newRow("S1 by its extension") << "out.s19" << 0 << QByteArray("S1130000");
  QTest::newRow("extended Tektronix as chosen") << "out.txt" << 7 << QByteArray("%");
  QTest::newRow("binary for an unknown extension") << "out.dat" << 0 << pattern(2048).left(16);
}

void MainWindowTest::savedImageOpensAgain() {
  QFETCH(QString, name);
  QFETCH(int, format);
  QFETCH(QByteArray, start);
  useLpt1(QStringLiteral("24C16"), QStringLiteral("save.bin"));
  const QByteArray data = pattern(2048);
  const QString source = dir_.filePath(QStringLiteral("source.bin"));
  writeFile(source, data);
  auto window = openWindow(QStringLiteral("LPT1"), QStringLiteral("24C16"), source);
  QCOMPARE(waitFor(QStringLiteral("Open")).code, 0);

  const QString saved = dir_.filePath(name);
  saveAs_ = {saved, format};
  QCOMPARE(trigger(*window, "actionSave", QStringLiteral("Save")).code, 0);
  QFile file(saved);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QByteArray written = file.readAll();
  QVERIFY2(written.startsWith(start), written.left(40).constData());

  chosen_ = {saved, 0};
  QCOMPARE(trigger(*window, "actionOpen", QStringLiteral("Open")).code, 0);
  QCOMPARE(window->image(), data);
}

void MainWindowTest::statusRegisterGuardsTheChip() {
  useLpt1(QStringLiteral("25C040"), QStringLiteral("spi.bin"));
  const QString bin = dir_.filePath(QStringLiteral("spi-data.bin"));
  writeFile(bin, pattern(512));
  auto window = openWindow(QStringLiteral("LPT1"), QStringLiteral("25C040"), bin);
  QCOMPARE(waitFor(QStringLiteral("Open")).code, 0);
  // Writes the status byte the dialog's boxes make, and reads it back.
  const auto writeStatus = [&](bool protect) {
    window->findChild<QAction*>(QStringLiteral("actionSettings"))->trigger();
    auto* dialog = window->findChild<zylgui::SettingsDialog*>();
    QVERIFY(dialog);
    dialog->findChild<QCheckBox*>(QStringLiteral("bp1Bit"))->setChecked(protect);
    dialog->findChild<QCheckBox*>(QStringLiteral("bp0Bit"))->setChecked(protect);
    dialog->findChild<QPushButton*>(QStringLiteral("writeStatus"))->click();
    QCOMPARE(waitFor(QStringLiteral("Write status")).code, 0);
    dialog->findChild<QPushButton*>(QStringLiteral("readStatus"))->click();
    QCOMPARE(waitFor(QStringLiteral("Read status")).code, 0);
    QCOMPARE(dialog->findChild<QLabel*>(QStringLiteral("statusValue"))->text(),
             protect ? QStringLiteral("Status: 0x0C") : QStringLiteral("Status: 0x00"));
    delete dialog;
  };
  writeStatus(true);
  QCOMPARE(trigger(*window, "actionProgram", QStringLiteral("Program")).code, 19);
  writeStatus(false);
  QCOMPARE(trigger(*window, "actionProgram", QStringLiteral("Program")).code, 0);
  QCOMPARE(trigger(*window, "actionVerify", QStringLiteral("Verify")).code, 0);
}

void MainWindowTest::imageIsKeptUntilLetGo_data() {
  QTest::addColumn<QString>("step");        // open, device (24C04) or quit
  QTest::addColumn<QByteArray>("content");  // of the file opened
  QTest::addColumn<int>("answer");          // to unsaved changes; 0: no byte was typed
  QTest::addColumn<QString>("said");        // of a refused file or in the question
  QTest::addColumn<QByteArray>("after");    // the image; empty: the window closed
  const QByteArray wrongSum(":040000001122334400\n:00000001FF\n"), other(2048, '\x42');
  QByteArray kept = pattern(2048), edited = kept;
  edited[0x100] = '\xA5';
  const int cancel = QMessageBox::Cancel, discard = QMessageBox::Discard, save = QMessageBox::Save;
  QTest::newRow("larger than the device")
      << "open" << QByteArray(4096, 'x') << 0 << "only 2048" << kept;
  QTest::newRow("wrong checksum ignored as set")
      << "open" << wrongSum << 0 << QString() << "\x11\x22\x33\x44" + QByteArray(2044, '\xFF');
  QTest::newRow("edited, open cancelled") << "open" << other << cancel << "not saved" << edited;
  QTest::newRow("edited, open saved first") << "open" << other << save << "not saved" << other;
  QTest::newRow("edited, smaller device cancelled")
      << "device" << QByteArray() << cancel << "1536 bytes" << edited;
  QTest::newRow("edited, smaller device discarded")
      << "device" << QByteArray() << discard << "1536 bytes" << edited.left(512);
  QTest::newRow("edited, quit cancelled")
      << "quit" << QByteArray() << cancel << "not saved" << edited;
  QTest::newRow("edited, quit discarded")
      << "quit" << QByteArray() << discard << "not saved" << QByteArray();
}

void MainWindowTest::imageIsKeptUntilLetGo() {
  QFETCH(QString, step);
  QFETCH(QByteArray, content);
  QFETCH(int, answer);
  QFETCH(QString, said);
  QFETCH(QByteArray, after);
  useLpt1(QStringLiteral("24C16"), QStringLiteral("kept.chip"));
  const QString kept = dir_.filePath(QStringLiteral("kept.bin"));
  writeFile(kept, pattern(2048));
  chosen_ = {dir_.filePath(QStringLiteral("next.hex")), 0};
  writeFile(chosen_.path, content);
  saveAs_ = {dir_.filePath(QStringLiteral("saved.bin")), 0};
  QFile::remove(saveAs_.path);
  auto window = openWindow(QStringLiteral("LPT1"), QStringLiteral("24C16"), kept);
  QCOMPARE(waitFor(QStringLiteral("Open")).code, 0);
  if (said.isEmpty()) setSetting(*window, "ignoreChecksums", true);
  QAbstractItemModel* model = window->findChild<QTableView*>(QStringLiteral("hexView"))->model();
  if (answer) {
    QVERIFY(model->setData(model->index(0x10, 0), QStringLiteral("A5")));
    QTRY_COMPARE(quint8(window->image().at(0x100)), quint8(0xA5));
  }
  const QByteArray edited = window->image();
  answers_.insert(QStringLiteral("unsavedChanges"), {QMessageBox::StandardButton(answer)});

  auto* devices = window->findChild<QComboBox*>(QStringLiteral("deviceChoice"));
  if (step == QLatin1String("open")) {
    QVERIFY(press(*window, "actionOpen"));
  } else if (step == QLatin1String("device")) {
    devices->setCurrentIndex(devices->findText(QStringLiteral("24C04")));
    emit devices->activated(devices->currentIndex());
  } else {
    window->close();
  }
  if (answer == QMessageBox::Save) QCOMPARE(waitFor(QStringLiteral("Save")).code, 0);
  QCOMPARE(readFile(saveAs_.path), answer == QMessageBox::Save ? edited : QByteArray());
  Finished opened;
  // The emulated chip may refuse another device: the image is cut all the same.
  if (answer != QMessageBox::Cancel && step != QLatin1String("quit"))
    opened = waitFor(step == QLatin1String("open") ? QStringLiteral("Open")
                                                   : QStringLiteral("Connect"));
  const QString log = window->findChild<QPlainTextEdit*>(QStringLiteral("log"))->toPlainText();
  if (answer)
    QVERIFY2(asked_.size() == 1 && asked_.front().startsWith(QStringLiteral("unsavedChanges:")) &&
                 asked_.front().contains(said),
             qPrintable(asked_.join('|')));
  else
    QVERIFY2(opened.text.contains(said) && (opened.code == 0) == said.isEmpty() &&
                 log.contains(said),
             qPrintable(opened.text));
  QTRY_COMPARE(asked_.filter(QStringLiteral("fileError:")).filter(said).size(),
               !answer && !said.isEmpty() ? 1 : 0);
  QTRY_COMPARE(window->isVisible(), !after.isEmpty());
  if (after.isEmpty()) return;
  QCOMPARE(window->image(), after);
  const bool replaced = step == QLatin1String("open") && opened.code == 0;
  const char* title = replaced                      ? "next.hex"
                      : answer == QMessageBox::Save ? "saved.bin"
                                                    : "kept.bin";
  QVERIFY2(window->windowTitle().startsWith(title), qPrintable(window->windowTitle()));
  QCOMPARE(window->isWindowModified(), answer && !replaced);
  QCOMPARE(devices->currentText(), after.size() == 512 ? "24C04" : "24C16");
  if (answer) return;
  // What Program writes is the image shown.
  QCOMPARE(trigger(*window, "actionProgram", QStringLiteral("Program")).code, 0);
  QCOMPARE(trigger(*window, "actionRead", QStringLiteral("Read chip")).code, 0);
  QCOMPARE(window->image(), after);
}

void MainWindowTest::chipWritesAskOnce_data() {
  QTest::addColumn<QString>("action");
  QTest::addColumn<QString>("operation");
  QTest::newRow("erase") << "actionErase" << "Erase";
  QTest::newRow("program") << "actionProgram" << "Program";
  QTest::newRow("erase, program, verify") << "actionEraseProgramVerify" << "Erase+Program+Verify";
}

void MainWindowTest::chipWritesAskOnce() {
  QFETCH(QString, action);
  QFETCH(QString, operation);
  const QString chip = QStringLiteral("confirm-%1.chip").arg(action);
  writeFile(dir_.filePath(chip), QByteArray(128, '\x33'));
  useLpt1(QStringLiteral("93C46"), chip);
  writeFile(dir_.filePath(QStringLiteral("confirm.bin")), pattern(128));
  auto window = openWindow(QStringLiteral("LPT1"), QStringLiteral("93C46"),
                           dir_.filePath(QStringLiteral("confirm.bin")));
  QCOMPARE(waitFor(QStringLiteral("Open")).code, 0);
  const QByteArray name = action.toLatin1();

  answers_[QStringLiteral("confirmChipWrite")] = {QMessageBox::Cancel};
  QVERIFY(press(*window, name.constData()));
  // Asked, and nothing was queued.
  QVERIFY(asked_.size() == 1 &&
          !window->findChild<QAction*>(QStringLiteral("actionCancel"))->isEnabled());
  answers_[QStringLiteral("confirmChipWrite")] = {QMessageBox::Yes, true};
  for (int i = 0; i < 2; ++i) QCOMPARE(trigger(*window, name.constData(), operation).code, 0);
  QCOMPARE(asked_.size(), 2);
  setSetting(*window, "confirmChipWrites", true);
  QCOMPARE(trigger(*window, name.constData(), operation).code, 0);
  QCOMPARE(asked_.filter(QStringLiteral("confirmChipWrite:")).size(), 3);
  QCOMPARE(trigger(*window, "actionRead", QStringLiteral("Read chip")).code, 0);
  QCOMPARE(window->image(),
           operation == QLatin1String("Erase") ? QByteArray(128, '\xFF') : pattern(128));
}

void MainWindowTest::stopSignalClosesTheWindow_data() {
  QTest::addColumn<int>("sig");
  QTest::addColumn<bool>("busy");  // programming; otherwise idle with a typed byte
  QTest::newRow("SIGTERM while programming") << int(SIGTERM) << true;
  QTest::newRow("SIGINT while programming") << int(SIGINT) << true;
  QTest::newRow("SIGHUP while idle with unsaved edits") << int(SIGHUP) << false;
}

void MainWindowTest::stopSignalClosesTheWindow() {
  QFETCH(int, sig);
  QFETCH(bool, busy);
  serveOnCom1({QStringLiteral("--device=24C1024"), QStringLiteral("--pace=1")});
  const QByteArray data = pattern(128 * 1024);
  const QString bin = dir_.filePath(QStringLiteral("signal.bin"));
  writeFile(bin, data);
  auto window = openWindow(QStringLiteral("COM1"), QStringLiteral("24C1024"), bin);
  QCOMPARE(waitFor(QStringLiteral("Open")).code, 0);
  const auto* bar = window->findChild<QProgressBar*>(QStringLiteral("progressBar"));
  QAbstractItemModel* model = window->findChild<QTableView*>(QStringLiteral("hexView"))->model();
  if (busy) {
    QVERIFY(press(*window, "actionProgram"));
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 60000);
  } else {
    QVERIFY(model->setData(model->index(0x10, 0), QStringLiteral("A5")));
    QTRY_COMPARE(quint8(window->image().at(0x100)), quint8(0xA5));
  }
  const int shown = bar->value();
  // The window installed the handler in this process.
  QCOMPARE(raise(sig), 0);
  if (busy) QCOMPARE(waitFor(QStringLiteral("Program")).code, 18);
  QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 60000);
  const QString log = window->findChild<QPlainTextEdit*>(QStringLiteral("log"))->toPlainText();
  QVERIFY2(asked_.filter(QStringLiteral("unsavedChanges")).isEmpty() &&
               log.contains(busy ? "stopping at the next page" : "were not saved"),
           qPrintable(log));
  if (!busy) return;
  window.reset();
  // The chip holds the pages written before the stop, and is blank after.
  auto reader = openWindow(QStringLiteral("COM1"), QStringLiteral("24C1024"));
  QCOMPARE(trigger(*reader, "actionRead", QStringLiteral("Read chip")).code, 0);
  const QByteArray chip = reader->image();
  int end = 0;
  while (end < chip.size() && chip[end] == data[end]) ++end;
  QVERIFY2(end >= shown && end < chip.size() && end % 128 == 0, qPrintable(QString::number(end)));
  QCOMPARE(chip.mid(end), QByteArray(chip.size() - end, '\xFF'));
}

void MainWindowTest::failuresNameTheirCause_data() {
  QTest::addColumn<QString>("port");
  QTest::addColumn<QString>("chip");  // on the simulated LPT1
  QTest::addColumn<QString>("action");
  QTest::addColumn<QString>("operation");
  QTest::addColumn<QString>("said");  // in the log
  QTest::newRow("a port that is not there")
      << "COM7" << "24C16" << "" << "Connect" << "there is no port COM7 here";
  QTest::newRow("a status read the adapter refuses")
      << "LPT1" << "25C640,fault=error:r:1:T" << "readStatus" << "Read status"
      << "Communications with ISP failed during this operation";
}

void MainWindowTest::failuresNameTheirCause() {
  QFETCH(QString, port);
  QFETCH(QString, chip);
  QFETCH(QString, action);
  QFETCH(QString, operation);
  QFETCH(QString, said);
  useLpt1(chip, QStringLiteral("failing.chip"));
  auto window = openWindow(port, chip.section(',', 0, 0));
  if (action == QLatin1String("readStatus")) {
    QVERIFY(press(*window, "actionSettings"));
    auto* dialog = window->findChild<zylgui::SettingsDialog*>();
    QVERIFY(dialog);
    dialog->findChild<QPushButton*>(QStringLiteral("readStatus"))->click();
  } else if (!action.isEmpty()) {
    QVERIFY(press(*window, qPrintable(action)));
  }
  const Finished failed = waitFor(operation);
  const QString log = window->findChild<QPlainTextEdit*>(QStringLiteral("log"))->toPlainText();
  QVERIFY2(failed.code > 0 && log.contains(said), qPrintable(log));
}

void MainWindowTest::largeImageShowsThroughBlockReads() {
  // A 64 MiB image is shown from the session's image a block at a time.
  ZylSession* session = nullptr;
  QCOMPARE(Zyl_SessionCreate(&session), 0);
  QCOMPARE(Zyl_SessionSetDevice(session, "W25Q512JV"), 0);
  zylgui::ImageTransfer transfer(session);
  const int size = transfer.size();
  QCOMPARE(size, 64 << 20);
  const int addresses[] = {0, size / 2 + 5, size - 1};
  for (int a : addresses) {
    const uint8_t byte = static_cast<uint8_t>(0x41 + (a & 7));
    QCOMPARE(Zyl_SessionWriteImage(session, a, &byte, 1), 0);
  }
  zylgui::HexModel model;
  model.setSource(size, [&](int offset, int length) { return transfer.read(offset, length); });
  QCOMPARE(model.rowCount(), size / zylgui::HexModel::kBytesPerRow);
  const int before = transfer.calls();
  for (int pass = 0; pass < 2; ++pass) {
    for (int a : addresses) {
      const QModelIndex cell = model.indexOfAddress(a);
      const QString expected = QString::number(0x41 + (a & 7), 16).toUpper();
      QCOMPARE(model.data(cell, Qt::DisplayRole).toString(), expected);
      const QString ascii =
          model.data(model.index(cell.row(), zylgui::HexModel::kAsciiColumn), Qt::DisplayRole).toString();
      QCOMPARE(ascii.at(cell.column()), QChar(0x41 + (a & 7)));
    }
  }
  // One read per block shown, the second look served from the cache.
  QCOMPARE(transfer.calls() - before, 3);
  model.setByte(size - 1, 0x7E);
  QCOMPARE(model.data(model.indexOfAddress(size - 1), Qt::DisplayRole).toString(), QStringLiteral("7E"));
  Zyl_SessionDestroy(session);
}

void MainWindowTest::searchFindsPartsByAlias_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("part");
  QTest::addColumn<int>("size");
  QTest::addColumn<QString>("shown");  // first in the search's list
  QTest::newRow("I2C alias") << "cat24c256" << "24C256" << 32768
                             << "24C256 \u2014 I2C EEPROM, 32 KiB, page 64";
  QTest::newRow("SPI alias, partly typed") << "M9564" << "25C640" << 8192
                                           << "25C640 \u2014 SPI EEPROM, 8 KiB, page 32";
}

void MainWindowTest::searchFindsPartsByAlias() {
  QFETCH(QString, typed);
  QFETCH(QString, part);
  QFETCH(int, size);
  QFETCH(QString, shown);
  const QString chip = QStringLiteral("alias-%1.chip").arg(part);
  writeFile(dir_.filePath(chip), pattern(size));
  useLpt1(part, chip);
  auto window = openWindow(QStringLiteral("LPT1"), QStringLiteral("24C16"));
  // The simulated LPT1 holds another part than the 24C16.
  QCOMPARE(waitFor(QStringLiteral("Connect")).code, 8);
  auto* search = window->findChild<QLineEdit*>(QStringLiteral("deviceSearch"));
  QVERIFY(search && QTest::qWaitFor([search] { return search->isEnabled(); }));
  QTest::keyClicks(search, typed);
  // The list under the search, as the user sees it.
  const auto* completer = window->findChild<QCompleter*>();
  const QAbstractItemModel* listed = completer ? completer->popup()->model() : nullptr;
  QVERIFY(listed && listed->rowCount() >= 1);
  QCOMPARE(listed->index(0, 0).data().toString(), shown);
  QTest::keyClick(search, Qt::Key_Return);
  QCOMPARE(waitFor(QStringLiteral("Connect")).code, 0);
  QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("deviceChoice"))->currentText(), part);
  // The session reads the chip as that part.
  QCOMPARE(trigger(*window, "actionRead", QStringLiteral("Read chip")).code, 0);
  QCOMPARE(window->image(), pattern(size));
}

void MainWindowTest::detectChoosesThePart_data() {
  QTest::addColumn<QStringList>("chip");  // zylsim's options
  QTest::addColumn<QString>("picked");    // among the parts of a shared ID; "": not asked
  QTest::addColumn<QString>("part");      // chosen afterwards
  QTest::addColumn<int>("size");
  QTest::addColumn<QString>("said");  // in the box that tells the finding; "": none
  QTest::newRow("one part has the ID")
      << QStringList{"--device=W25Q80DV"} << "" << "W25Q80DV" << (1 << 20) << "";
  QTest::newRow("two parts share the ID")
      << QStringList{"--device=W25Q64JV"} << "W25Q64JV" << "W25Q64JV" << (8 << 20) << "";
  QTest::newRow("known by its SFDP table")
      << QStringList{"--device=W25Q80DV", "--jedecid=0xEF40AA"} << "" << "SFDP EF40AA"
      << (1 << 20) << "";
  QTest::newRow("an EEPROM") << QStringList{"--device=24C02"} << "" << "24C16" << 2048
                             << "EEPROMs and Microwire parts cannot be detected";
}

void MainWindowTest::detectChoosesThePart() {
  QFETCH(QStringList, chip);
  QFETCH(QString, picked);
  QFETCH(QString, part);
  QFETCH(int, size);
  QFETCH(QString, said);
  serveOnCom1(chip);
  auto window = openWindow(QStringLiteral("COM1"), QStringLiteral("24C16"));
  QCOMPARE(waitFor(QStringLiteral("Connect")).code, 0);
  QCOMPARE(trigger(*window, "actionDetect", QStringLiteral("Detect")).code, said.isEmpty() ? 0 : 8);
  if (!picked.isEmpty()) {
    QDialog* dialog = nullptr;
    QTRY_VERIFY((dialog = window->findChild<QDialog*>(QStringLiteral("detectedParts"))));
    auto* list = dialog->findChild<QListWidget*>(QStringLiteral("detectedPartList"));
    QCOMPARE(list->count(), 2);
    list->setCurrentItem(list->findItems(picked, Qt::MatchExactly).value(0));
    dialog->accept();
  }
  if (part != QLatin1String("24C16")) QCOMPARE(waitFor(QStringLiteral("Connect")).code, 0);
  QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("deviceChoice"))->currentText(), part);
  QCOMPARE(window->image().size(), size);
  if (!said.isEmpty())
    QTRY_VERIFY2(asked_.filter(QStringLiteral("detectResult:")).filter(said).size() == 1 &&
                     asked_.front().contains(QLatin1String("0x50 acknowledges")),
                 qPrintable(asked_.join('|')));
  else
    QVERIFY2(asked_.isEmpty(), qPrintable(asked_.join('|')));
}

void MainWindowTest::loadedImageShowsToItsEnd() {
  // Four times the blocks the view keeps, read a block at a time.
  useLpt1(QStringLiteral("W25Q80DV"), QStringLiteral("flash.chip"));
  const QByteArray data = pattern(1 << 20);
  const QString bin = dir_.filePath(QStringLiteral("flash.bin"));
  writeFile(bin, data);
  auto window = openWindow(QStringLiteral("LPT1"), QStringLiteral("W25Q80DV"), bin);
  QCOMPARE(waitFor(QStringLiteral("Open")).code, 0);
  QAbstractItemModel* model = window->findChild<QTableView*>(QStringLiteral("hexView"))->model();
  QCOMPARE(model->rowCount(), data.size() / 16);
  const auto hex = [](char c) {
    return QString::number(quint8(c), 16).toUpper().rightJustified(2, QLatin1Char('0'));
  };
  for (int row = 0; row < model->rowCount(); row += 256)
    QCOMPARE(model->index(row, 0).data().toString(), hex(data[row * 16]));
  const int last = model->rowCount() - 1;
  for (int column = 0; column < 16; ++column)
    QCOMPARE(model->index(last, column).data().toString(), hex(data[last * 16 + column]));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
