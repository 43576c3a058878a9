#include "detected_parts_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace zylgui {

DetectedPartsDialog::DetectedPartsDialog(const QString& text, const QStringList& parts,
                                         QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this)) {
  setObjectName(QStringLiteral("detectedParts"));
  setWindowTitle(tr("Which part is it?"));
  auto* said = new QLabel(text, this);
  said->setWordWrap(true);
  list_->setObjectName(QStringLiteral("detectedPartList"));
  list_->addItems(parts);
  list_->setCurrentRow(0);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(tr("Choose"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(said);
  layout->addWidget(new QLabel(tr("These parts answer alike; the marking on the chip tells them "
                                  "apart:"),
                               this));
  layout->addWidget(list_);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

QString DetectedPartsDialog::chosen() const {
  const QListWidgetItem* item = list_->currentItem();
  return item ? item->text() : QString();
}

}  // namespace zylgui
