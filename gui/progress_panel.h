// The status bar's progress: the running step, a bar, the time spent and an
// estimate of the time left.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace zylgui {

class ProgressPanel : public QWidget {
  Q_OBJECT

 public:
  explicit ProgressPanel(QWidget* parent = nullptr);

  void begin(const QString& operation);
  void step(const QString& step);
  // done of total bytes; total <= 0 while the link waits for the adapter.
  void progress(int done, int total);
  void end();

 private:
  void showTimes();

  QLabel* label_;
  QProgressBar* bar_;
  QTimer ticker_;
  QElapsedTimer operationTime_;
  QElapsedTimer stepTime_;
  QString step_;
  int done_ = 0;
  int total_ = 0;
};

}  // namespace zylgui
