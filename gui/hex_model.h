// The image as a table of 16 bytes a row with their ASCII, for the hex view.
// Bytes where a verify found the chip different are highlighted. The image
// is either a copy the model is given, or read a block at a time, as rows
// are shown, from a source such as the session's image calls, keeping only
// the last few blocks: a 64 MiB image then costs the model no copy. A block
// the source cannot give now (its owner is busy) shows empty and is asked
// for again a moment later.
#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QCache>
#include <QFont>
#include <QHash>
#include <QSet>
#include <QTimer>
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
  // the size it was given. Fewer bytes when they cannot be read now.
  using BlockReader = std::function<QByteArray(int offset, int length)>;

  // The image given whole (empty after setSource).
  const QByteArray& image() const { return image_; }
  void setImage(const QByteArray& image);
  // An image of size bytes, read through reader as it is shown.
  void setSource(int size, BlockReader reader);
  int imageSize() const { return size_; }
  // The source's bytes changed: the cached blocks are dropped and the cells
  // shown again.
  void invalidate();
  // length bytes from offset as the model shows them; fewer when the
  // source cannot give them now.
  QByteArray bytes(int offset, int length) const;
  // Asks the source at once for the blocks it could not give before.
  void retryMissing();
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
  static constexpr int kRetryMs = 200;
  // The longest read of bytes() in one call.
  static constexpr int kRunBytes = 1 << 20;

  void reset(int size);
  // The cached block holding address, read when needed; null when the
  // source cannot give it now.
  const QByteArray* block(int address) const;
  // false for a byte whose block cannot be read now.
  bool available(int address) const { return !reader_ || block(address); }
  quint8 byteAt(int address) const;
  void storeByte(int address, quint8 value);
  void byteChanged(int address);

  QByteArray image_;
  int size_ = 0;
  BlockReader reader_;
  mutable QCache<int, QByteArray> blocks_{kCachedBlocks};
  // Blocks refused since the last retry: not asked for again until then.
  mutable QSet<int> missing_;
  mutable QTimer retry_;
  QHash<int, ByteDifference> differences_;
  bool editable_ = true;
  int addressDigits_ = 4;
  QFont font_;
};

}  // namespace zylgui
