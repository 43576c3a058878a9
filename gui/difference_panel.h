// The list of bytes where a verify found chip and image different.
#pragma once

#include <QWidget>

#include "operation_types.h"

class QLabel;
class QTreeWidget;

namespace zylgui {

class DifferencePanel : public QWidget {
  Q_OBJECT

 public:
  explicit DifferencePanel(QWidget* parent = nullptr);
  // Lists the first 256 of the differences and says how many there are.
  void setDifferences(const QVector<ByteDifference>& differences);
  void clear();

 signals:
  void addressChosen(int address);

 private:
  QLabel* summary_;
  QTreeWidget* list_;
};

}  // namespace zylgui
