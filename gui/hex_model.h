// The image as a table of 16 bytes a row with their ASCII, for the hex view.
// Bytes where a verify found the chip different are highlighted.
#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QFont>
#include <QHash>

#include "operation_types.h"

namespace zylgui {

class HexModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kBytesPerRow = 16;
  static constexpr int kAsciiColumn = kBytesPerRow;

  explicit HexModel(QObject* parent = nullptr);

  const QByteArray& image() const { return image_; }
  void setImage(const QByteArray& image);
  // The value the library confirmed at address.
  void setByte(int address, quint8 value);
  void setDifferences(const QVector<ByteDifference>& differences);
  void setEditable(bool editable);

  QModelIndex indexOfAddress(int address) const;
  // The address of a byte cell; -1 for the ASCII column.
  int addressOf(const QModelIndex& index) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Takes one or two hex digits; anything else is refused.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  // The user typed a new value; the worker writes it into the library.
  void byteEdited(int address, int value);

 private:
  void byteChanged(int address);

  QByteArray image_;
  QHash<int, ByteDifference> differences_;
  bool editable_ = true;
  int addressDigits_ = 4;
  QFont font_;
};

}  // namespace zylgui
