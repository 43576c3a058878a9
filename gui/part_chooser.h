// The device choice: every part of the library's table in a list that a
// family narrows, and a search box that finds parts by name or alias as the
// user types. The lists describe each part with its family, size and write
// page; the box shows the part's name as the library spells it.
#pragma once

#include <QVector>
#include <QWidget>

#include "operation_types.h"

class QComboBox;
class QCompleter;
class QLineEdit;
class QStandardItemModel;

namespace zylgui {

class PartChooser : public QWidget {
  Q_OBJECT

 public:
  explicit PartChooser(QWidget* parent = nullptr);

  void setParts(const QVector<PartEntry>& parts);
  // A part the library made for a detected chip from its SFDP table.
  void addPart(const PartEntry& part);
  // The part of that name or alias, in any letter case; null when unknown.
  const PartEntry* find(const QString& nameOrAlias) const;
  // The name of the part shown as chosen; "" for none.
  QString device() const;
  // Shows that part as chosen, without announcing it; false, and nothing
  // changed, for a name no part has.
  bool setDevice(const QString& nameOrAlias);
  // The names of the parts of the family shown whose name or an alias
  // holds text, in any letter case, in table order.
  QStringList matches(const QString& text) const;
  // "W25Q64JV — SPI flash, 8 MiB, page 256"
  static QString describe(const PartEntry& part);

  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  // The user chose a part: in the list, in the search, or by choosing a
  // family that lacks the part shown.
  void deviceChosen();
  // What the user searched for fits no part.
  void nothingFound(const QString& text);

 private:
  bool inFamily(const PartEntry& part) const;
  void fillDevices();
  void search(const QString& text);
  // Enter in the search: the part highlighted in its list, else the first
  // that fits.
  void acceptSearch();
  void choose(const QString& name);

  QVector<PartEntry> parts_;
  QComboBox* family_;
  QComboBox* device_;
  QLineEdit* search_;
  QStandardItemModel* found_;
  QCompleter* completer_;
};

}  // namespace zylgui
