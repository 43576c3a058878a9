// The image as a table of 16 bytes a row with their ASCII, for the hex view.
// Bytes where a verify found the chip different are highlighted. The image
// is either a copy the model is given, or read a block at a time, as rows
// are shown, from a source such as the session's image calls, keeping only
// the last few blocks: a 64 MiB image then costs the model no copy.
#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QCache>
#include <QFont>
#include <QHash>
#include <functional>

#include "operation_types.h"

namespace zylgui {

class HexModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kBytesPerRow = 16;
  static constexpr int kAsciiColumn = kBytesPerRow;

  explicit HexModel(QObject* parent = nullptr);

  // length bytes of the image from offset; the model asks for no byte past
  // the size it was given.
  using BlockReader = std::function<QByteArray(int offset, int length)>;

  // The image given whole (empty after setSource).
  const QByteArray& image() const { return image_; }
  void setImage(const QByteArray& image);
  // An image of size bytes, read through reader as it is shown.
  void setSource(int size, BlockReader reader);
  int imageSize() const { return size_; }
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
  static constexpr int kBlockBytes = 4096;
  static constexpr int kCachedBlocks = 64;

  void reset(int size);
  quint8 byteAt(int address) const;
  void storeByte(int address, quint8 value);
  void byteChanged(int address);

  QByteArray image_;
  int size_ = 0;
  BlockReader reader_;
  mutable QCache<int, QByteArray> blocks_{kCachedBlocks};
  QHash<int, ByteDifference> differences_;
  bool editable_ = true;
  int addressDigits_ = 4;
  QFont font_;
};

}  // namespace zylgui
