#include "hex_view.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>

#include "hex_model.h"

namespace zylgui {

namespace {

// Edits one byte as two hex digits; the second digit commits it.
class ByteDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex&) const override {
    auto* editor = new QLineEdit(parent);
    editor->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    editor->setAlignment(Qt::AlignCenter);
    editor->setMaxLength(2);
    editor->setFrame(false);
    editor->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9A-Fa-f]{0,2}")), editor));
    connect(editor, &QLineEdit::textEdited, editor, [this, editor](const QString& text) {
      if (text.size() < 2) return;
      auto* self = const_cast<ByteDelegate*>(this);
      emit self->commitData(editor);
      emit self->closeEditor(editor, QAbstractItemDelegate::EditNextItem);
    });
    return editor;
  }
};

}  // namespace

HexView::HexView(QWidget* parent) : QTableView(parent) {
  setItemDelegate(new ByteDelegate(this));
  setEditTriggers(AnyKeyPressed | DoubleClicked | EditKeyPressed);
  setSelectionMode(SingleSelection);
  setWordWrap(false);
  setShowGrid(false);
  setCornerButtonEnabled(false);
  const QFontMetrics metrics(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  horizontalHeader()->setDefaultSectionSize(metrics.horizontalAdvance(QStringLiteral("000")) + 6);
  horizontalHeader()->setHighlightSections(false);
}

void HexView::setHexModel(HexModel* model) {
  hexModel_ = model;
  setModel(model);
  const QFontMetrics metrics(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  horizontalHeader()->resizeSection(HexModel::kAsciiColumn,
                                    metrics.horizontalAdvance(QString(18, QLatin1Char('W'))));
}

void HexView::goToAddress(int address) {
  const QModelIndex cell = hexModel_ ? hexModel_->indexOfAddress(address) : QModelIndex();
  if (!cell.isValid()) return;
  setCurrentIndex(cell);
  scrollTo(cell, PositionAtCenter);
}

QModelIndex HexView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  const QModelIndex current = currentIndex();
  const int last = HexModel::kBytesPerRow - 1;
  if (hexModel_ && current.isValid()) {
    const bool forward = action == MoveNext || action == MoveRight;
    const bool backward = action == MovePrevious || action == MoveLeft;
    // The bytes run on from the end of one row to the start of the next.
    if (forward && current.column() >= last && current.row() + 1 < model()->rowCount())
      return model()->index(current.row() + 1, 0);
    if (backward && current.column() == 0 && current.row() > 0)
      return model()->index(current.row() - 1, last);
    if (forward && current.column() >= last) return current;
  }
  return QTableView::moveCursor(action, modifiers);
}

}  // namespace zylgui
