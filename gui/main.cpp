// zylisp-gui [--port=P] [--device=D] [FILE]
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <cstdio>

#include "main_window.h"
#include "stop_signals.h"

namespace {

struct Options {
  QString port;
  QString device;
  QStringList files;
};

// --help and --version work without a display: the options are read before
// the window system is.
Options readOptions(int argc, char** argv) {
  const QCoreApplication app(argc, argv);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QCoreApplication::translate("main", "Reads, programs and verifies serial EEPROMs."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption port(
      QStringLiteral("port"),
      QCoreApplication::translate("main", "The adapter's port: LPTn or COMn."),
      QStringLiteral("P"));
  const QCommandLineOption device(QStringLiteral("device"),
                                  QCoreApplication::translate("main", "The chip, such as 24C16."),
                                  QStringLiteral("D"));
  parser.addOption(port);
  parser.addOption(device);
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QCoreApplication::translate("main", "A data file to open."),
                               QStringLiteral("[FILE]"));
  parser.process(app);
  return {parser.value(port), parser.value(device), parser.positionalArguments()};
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName(QStringLiteral("zylisp-gui"));
  QCoreApplication::setOrganizationName(QStringLiteral("norvex"));
  QCoreApplication::setApplicationVersion(QStringLiteral(ZYLISP_GUI_VERSION));
  const Options options = readOptions(argc, argv);
  if (options.files.size() > 1) {
    std::fprintf(stderr, "zylisp-gui: %s\n",
                 qPrintable(QCoreApplication::translate("main", "give at most one file")));
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("zylisp-gui")));
  int status = 0;
  {
    const QString file = options.files.isEmpty() ? QString() : options.files.front();
    zylgui::MainWindow window({options.port, options.device, file});
    window.show();
    status = QApplication::exec();
  }
  // Closed by a stop signal: the caller learns it, as from the signal itself.
  zylgui::StopSignals::endByCaughtSignal();
  return status;
}
