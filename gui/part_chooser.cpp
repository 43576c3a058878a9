#include "part_chooser.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStyledItemDelegate>
#include <algorithm>

#include "zylisp.h"

namespace zylgui {

namespace {

constexpr int kNameRole = Qt::UserRole + 1;
constexpr int kDescriptionRole = Qt::UserRole + 2;

// In ZYL_FAMILY_... order.
const char* const kFamilyNames[] = {
    QT_TRANSLATE_NOOP("zylgui", "I2C EEPROM"), QT_TRANSLATE_NOOP("zylgui", "SPI EEPROM"),
    QT_TRANSLATE_NOOP("zylgui", "Microwire"), QT_TRANSLATE_NOOP("zylgui", "SPI flash"),
    QT_TRANSLATE_NOOP("zylgui", "DataFlash")};
constexpr int kFamilies = int(sizeof kFamilyNames / sizeof kFamilyNames[0]);

QString translated(const char* text) { return QCoreApplication::translate("zylgui", text); }

// Sizes as people write them: MiB or KiB when whole, else bytes.
QString sizeText(int bytes) {
  if (bytes >= (1 << 20) && bytes % (1 << 20) == 0) return translated("%1 MiB").arg(bytes >> 20);
  if (bytes >= 1024 && bytes % 1024 == 0) return translated("%1 KiB").arg(bytes >> 10);
  return translated("%1 bytes").arg(bytes);
}

bool holds(const PartEntry& part, const QString& text) {
  if (part.name.contains(text, Qt::CaseInsensitive)) return true;
  for (const QString& alias : part.aliases)
    if (alias.contains(text, Qt::CaseInsensitive)) return true;
  return false;
}

// The list of the device box describes each part; the closed box shows
// its name alone.
class DescribingDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString text = index.data(kDescriptionRole).toString();
    if (!text.isEmpty()) option->text = text;
  }
};

}  // namespace

PartChooser::PartChooser(QWidget* parent)
    : QWidget(parent),
      family_(new QComboBox(this)),
      device_(new QComboBox(this)),
      search_(new QLineEdit(this)),
      found_(new QStandardItemModel(this)),
      completer_(new QCompleter(found_, this)) {
  family_->setObjectName(QStringLiteral("familyChoice"));
  family_->addItem(translated("All families"), -1);
  for (int f = 0; f < kFamilies; ++f) family_->addItem(translated(kFamilyNames[f]), f);
  device_->setObjectName(QStringLiteral("deviceChoice"));
  device_->setMinimumContentsLength(11);
  device_->setItemDelegate(new DescribingDelegate(device_));
  search_->setObjectName(QStringLiteral("deviceSearch"));
  search_->setPlaceholderText(tr("Find a part: name or alias"));
  search_->setClearButtonEnabled(true);
  search_->setFixedWidth(search_->fontMetrics().horizontalAdvance(search_->placeholderText()) + 40);
  // The search fills the list itself, so the completer shows it unfiltered.
  completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  completer_->setWidget(search_);
  // Ahead of the completer's own filter: Enter picks as acceptSearch says.
  completer_->popup()->installEventFilter(this);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(family_);
  layout->addWidget(device_);
  layout->addWidget(search_);

  connect(family_, &QComboBox::activated, this, [this] {
    const QString before = device();
    fillDevices();
    if (!search_->text().isEmpty()) search(search_->text());
    if (device() != before) emit deviceChosen();
  });
  connect(device_, &QComboBox::activated, this, &PartChooser::deviceChosen);
  connect(search_, &QLineEdit::textEdited, this, &PartChooser::search);
  connect(search_, &QLineEdit::returnPressed, this, &PartChooser::acceptSearch);
  connect(completer_, qOverload<const QModelIndex&>(&QCompleter::activated), this,
          [this](const QModelIndex& index) { choose(index.data(kNameRole).toString()); });
}

void PartChooser::setParts(const QVector<PartEntry>& parts) {
  parts_ = parts;
  fillDevices();
}

void PartChooser::addPart(const PartEntry& part) {
  if (find(part.name)) return;
  parts_ << part;
  fillDevices();
}

const PartEntry* PartChooser::find(const QString& nameOrAlias) const {
  const QString wanted = nameOrAlias.trimmed();
  if (wanted.isEmpty()) return nullptr;
  // A name before any alias: an alias may be another part's name.
  for (const PartEntry& part : parts_)
    if (part.name.compare(wanted, Qt::CaseInsensitive) == 0) return &part;
  for (const PartEntry& part : parts_)
    if (part.aliases.contains(wanted, Qt::CaseInsensitive)) return &part;
  return nullptr;
}

QString PartChooser::device() const { return device_->currentText(); }

bool PartChooser::setDevice(const QString& nameOrAlias) {
  const PartEntry* part = find(nameOrAlias);
  if (!part) return false;
  if (!inFamily(*part)) {
    family_->setCurrentIndex(0);
    fillDevices();
  }
  device_->setCurrentIndex(device_->findText(part->name, Qt::MatchExactly));
  return true;
}

QStringList PartChooser::matches(const QString& text) const {
  QStringList names;
  const QString wanted = text.trimmed();
  if (wanted.isEmpty()) return names;
  for (const PartEntry& part : parts_)
    if (inFamily(part) && holds(part, wanted)) names << part.name;
  return names;
}

QString PartChooser::describe(const PartEntry& part) {
  const QString family = part.family >= 0 && part.family < kFamilies
                             ? translated(kFamilyNames[part.family])
                             : QString();
  QString text = QStringLiteral("%1 \u2014 %2, %3").arg(part.name, family, sizeText(part.size));
  if (part.pageSize > 0) text += translated(", page %1").arg(part.pageSize);
  return text;
}

bool PartChooser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == completer_->popup() && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      acceptSearch();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool PartChooser::inFamily(const PartEntry& part) const {
  const int family = family_->currentData().toInt();
  return family < 0 || part.family == family;
}

void PartChooser::fillDevices() {
  const QString current = device();
  device_->clear();
  for (const PartEntry& part : parts_) {
    if (!inFamily(part)) continue;
    const QString description = describe(part);
    device_->addItem(part.name);
    const int row = device_->count() - 1;
    device_->setItemData(row, description, kDescriptionRole);
    device_->setItemData(
        row,
        part.aliases.isEmpty()
            ? description
            : tr("%1\nAlso sold as %2").arg(description, part.aliases.join(QStringLiteral(", "))),
        Qt::ToolTipRole);
  }
  device_->setCurrentIndex(std::max(device_->findText(current, Qt::MatchExactly), 0));
  // The list is as wide as its descriptions.
  device_->view()->setMinimumWidth(device_->view()->sizeHintForColumn(0) + 24);
}

void PartChooser::search(const QString& text) {
  found_->clear();
  QAbstractItemView* list = completer_->popup();
  int widest = 0;
  for (const QString& name : matches(text)) {
    auto* item = new QStandardItem(describe(*find(name)));
    item->setData(name, kNameRole);
    item->setEditable(false);
    found_->appendRow(item);
    widest = std::max(widest, list->fontMetrics().horizontalAdvance(item->text()));
  }
  if (found_->rowCount() == 0) {
    list->hide();
    return;
  }
  // Wider than the search box when the descriptions need it.
  list->setMinimumWidth(widest + 40);
  completer_->setCompletionPrefix(QString());
  completer_->complete();
}

void PartChooser::acceptSearch() {
  const QAbstractItemView* list = completer_->popup();
  const QModelIndex highlighted = list->isVisible() ? list->currentIndex() : QModelIndex();
  if (highlighted.isValid()) {
    choose(highlighted.data(kNameRole).toString());
    return;
  }
  const QString text = search_->text().trimmed();
  const QStringList names = matches(text);
  if (!names.isEmpty())
    choose(names.front());
  else if (!text.isEmpty())
    emit nothingFound(text);
}

void PartChooser::choose(const QString& name) {
  completer_->popup()->hide();
  search_->clear();
  if (!setDevice(name)) return;
  emit deviceChosen();
}

}  // namespace zylgui
