// The table of the hex view: typing two hex digits over a byte replaces it
// and moves on to the next byte; the cursor skips the ASCII column.
#pragma once

#include <QTableView>

namespace zylgui {

class HexModel;

class HexView : public QTableView {
  Q_OBJECT

 public:
  explicit HexView(QWidget* parent = nullptr);
  void setHexModel(HexModel* model);
  // Selects the byte at address and scrolls it into view.
  void goToAddress(int address);

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

 private:
  HexModel* hexModel_ = nullptr;
};

}  // namespace zylgui
