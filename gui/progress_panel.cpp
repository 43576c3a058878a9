#include "progress_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

namespace zylgui {

namespace {

QString minutesAndSeconds(qint64 ms) {
  const qint64 s = (ms + 500) / 1000;
  return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

ProgressPanel::ProgressPanel(QWidget* parent)
    : QWidget(parent), label_(new QLabel(this)), bar_(new QProgressBar(this)) {
  bar_->setObjectName(QStringLiteral("progressBar"));
  bar_->setMaximumWidth(200);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(label_);
  layout->addWidget(bar_);
  ticker_.setInterval(500);
  connect(&ticker_, &QTimer::timeout, this, &ProgressPanel::showTimes);
  hide();
}

void ProgressPanel::begin(const QString& operation) {
  operationTime_.start();
  step(operation);
  show();
  ticker_.start();
}

void ProgressPanel::step(const QString& step) {
  step_ = step;
  stepTime_.start();
  done_ = total_ = 0;
  bar_->setRange(0, 0);
  showTimes();
}

void ProgressPanel::progress(int done, int total) {
  if (total > 0 && done >= 0) {
    if (done_ == 0 && total_ == 0) stepTime_.start();  // the step's data begins to flow
    bar_->setRange(0, total);
    bar_->setValue(done);
    done_ = done;
    total_ = total;
  }
  showTimes();
}

void ProgressPanel::end() {
  ticker_.stop();
  hide();
}

void ProgressPanel::showTimes() {
  QString text = tr("%1, %2 elapsed").arg(step_, minutesAndSeconds(operationTime_.elapsed()));
  if (done_ > 0 && total_ > done_) {
    const double rate = double(done_) / double(std::max<qint64>(stepTime_.elapsed(), 1));
    text += tr(", about %1 left").arg(minutesAndSeconds(qint64((total_ - done_) / rate)));
  }
  label_->setText(text);
}

}  // namespace zylgui
