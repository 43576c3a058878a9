#include "difference_panel.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace zylgui {

namespace {

constexpr int kListed = 256;

QString hexText(int value, int width) {
  return QString::number(value, 16).rightJustified(width, QLatin1Char('0')).toUpper();
}

}  // namespace

DifferencePanel::DifferencePanel(QWidget* parent)
    : QWidget(parent), summary_(new QLabel(this)), list_(new QTreeWidget(this)) {
  list_->setObjectName(QStringLiteral("differenceList"));
  list_->setHeaderLabels({tr("Address"), tr("Chip"), tr("Image")});
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  summary_->setObjectName(QStringLiteral("differenceSummary"));
  summary_->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(summary_);
  layout->addWidget(list_);
  connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item) emit addressChosen(item->data(0, Qt::UserRole).toInt());
  });
  clear();
}

void DifferencePanel::setDifferences(const QVector<ByteDifference>& differences) {
  list_->clear();
  const int count = int(differences.size());
  const int listed = std::min(count, kListed);
  QList<QTreeWidgetItem*> items;
  for (const ByteDifference& d : differences.mid(0, listed)) {
    auto* item =
        new QTreeWidgetItem({hexText(d.address, 6), hexText(d.chip, 2), hexText(d.image, 2)});
    item->setData(0, Qt::UserRole, d.address);
    items << item;
  }
  list_->addTopLevelItems(items);
  if (count == 0)
    summary_->setText(tr("Chip and image are the same."));
  else if (count == 1)
    summary_->setText(tr("1 byte differs."));
  else if (count > listed)
    summary_->setText(tr("%1 bytes differ; the first %2 are listed.").arg(count).arg(listed));
  else
    summary_->setText(tr("%1 bytes differ.").arg(count));
}

void DifferencePanel::clear() {
  list_->clear();
  summary_->setText(tr("No verify yet."));
}

}  // namespace zylgui
