#include "hex_model.h"

#include <QBrush>
#include <QColor>
#include <QFontDatabase>

#include <algorithm>

namespace zylgui {

namespace {

QString twoDigits(quint8 value) {
  return QString::number(value, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

}  // namespace

HexModel::HexModel(QObject* parent)
    : QAbstractTableModel(parent), font_(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {
  retry_.setSingleShot(true);
  retry_.setInterval(kRetryMs);
  connect(&retry_, &QTimer::timeout, this, &HexModel::retryMissing);
}

void HexModel::retryMissing() {
  retry_.stop();
  if (missing_.isEmpty()) return;
  missing_.clear();
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, kAsciiColumn));
}

void HexModel::setImage(const QByteArray& image) {
  beginResetModel();
  image_ = image;
  reader_ = nullptr;
  reset(int(image_.size()));
  endResetModel();
}

void HexModel::setSource(int size, BlockReader reader) {
  beginResetModel();
  image_.clear();
  reader_ = std::move(reader);
  reset(std::max(size, 0));
  endResetModel();
}

void HexModel::invalidate() {
  blocks_.clear();
  missing_.clear();
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, kAsciiColumn));
}

QByteArray HexModel::bytes(int offset, int length) const {
  offset = std::clamp(offset, 0, size_);
  const int end = offset + std::clamp(length, 0, size_ - offset);
  if (!reader_) return image_.mid(offset, end - offset);
  QByteArray result;
  result.reserve(end - offset);
  for (int at = offset; at < end;) {
    const int number = at / kBlockBytes;
    const int first = number * kBlockBytes;
    // Cached blocks may hold edits the source has not confirmed yet.
    if (const QByteArray* cached = blocks_.object(number)) {
      const int take = std::min(first + kBlockBytes, end) - at;
      result += cached->mid(at - first, take);
      at += take;
      continue;
    }
    // The blocks up to the next cached one are read in one call, past the
    // cache, which keeps the blocks on screen.
    int stop = std::min(end, at + kRunBytes);
    for (int n = number + 1; n * kBlockBytes < stop; ++n)
      if (blocks_.contains(n)) {
        stop = n * kBlockBytes;
        break;
      }
    const QByteArray read = reader_(at, stop - at);
    if (read.size() < stop - at) break;
    result += read;
    at = stop;
  }
  return result;
}

void HexModel::reset(int size) {
  size_ = size;
  blocks_.clear();
  missing_.clear();
  differences_.clear();
  addressDigits_ = size_ > 0x10000 ? 6 : 4;
}

const QByteArray* HexModel::block(int address) const {
  const int number = address / kBlockBytes;
  if (const QByteArray* cached = blocks_.object(number)) return cached;
  if (missing_.contains(number)) return nullptr;
  const int first = number * kBlockBytes;
  const int length = std::min(kBlockBytes, size_ - first);
  QByteArray read = reader_(first, length);
  if (read.size() < length) {
    missing_.insert(number);
    if (!retry_.isActive()) retry_.start();
    return nullptr;
  }
  auto* stored = new QByteArray(std::move(read));
  blocks_.insert(number, stored);
  return stored;
}

quint8 HexModel::byteAt(int address) const {
  if (!reader_) return static_cast<quint8>(image_[address]);
  const QByteArray* bytes = block(address);
  return bytes ? static_cast<quint8>(bytes->at(address % kBlockBytes)) : 0xFF;
}

void HexModel::storeByte(int address, quint8 value) {
  if (!reader_) {
    image_[address] = static_cast<char>(value);
    return;
  }
  if (QByteArray* bytes = blocks_.object(address / kBlockBytes))
    (*bytes)[address % kBlockBytes] = static_cast<char>(value);
}

void HexModel::setByte(int address, quint8 value) {
  if (address < 0 || address >= size_) return;
  storeByte(address, value);
  differences_.remove(address);
  byteChanged(address);
}

void HexModel::setDifferences(const QVector<ByteDifference>& differences) {
  if (differences_.isEmpty() && differences.isEmpty()) return;
  differences_.clear();
  for (const ByteDifference& d : differences) differences_.insert(d.address, d);
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, kAsciiColumn));
}

void HexModel::setEditable(bool editable) { editable_ = editable; }

QModelIndex HexModel::indexOfAddress(int address) const {
  if (address < 0 || address >= size_) return {};
  return index(address / kBytesPerRow, address % kBytesPerRow);
}

int HexModel::addressOf(const QModelIndex& index) const {
  if (!index.isValid() || index.column() >= kBytesPerRow) return -1;
  const int address = index.row() * kBytesPerRow + index.column();
  return address < size_ ? address : -1;
}

int HexModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : (size_ + kBytesPerRow - 1) / kBytesPerRow;
}

int HexModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kBytesPerRow + 1;
}

QVariant HexModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::FontRole) return font_;
  if (index.column() == kAsciiColumn) {
    if (role != Qt::DisplayRole) return {};
    QString text;
    const int first = index.row() * kBytesPerRow;
    if (!available(first)) return text;
    for (int a = first; a < first + kBytesPerRow && a < size_; ++a) {
      const auto c = static_cast<char>(byteAt(a));
      text += c >= 0x20 && c < 0x7F ? QChar::fromLatin1(c) : QLatin1Char('.');
    }
    return text;
  }
  const int address = addressOf(index);
  if (address < 0) return {};
  if (!available(address))
    return role == Qt::DisplayRole || role == Qt::EditRole ? QVariant(QString()) : QVariant();
  const quint8 value = byteAt(address);
  const auto difference = differences_.constFind(address);
  const bool differs = difference != differences_.cend();
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return twoDigits(value);
    case Qt::TextAlignmentRole: return int(Qt::AlignCenter);
    case Qt::BackgroundRole: return differs ? QVariant(QBrush(QColor(255, 190, 190))) : QVariant();
    case Qt::ForegroundRole:
      // Blank bytes recede, so that data stands out.
      return !differs && value == 0xFF ? QVariant(QBrush(QColor(150, 150, 150))) : QVariant();
    case Qt::ToolTipRole:
      if (differs)
        return tr("0x%1: chip %2, image %3")
            .arg(QString::number(address, 16).toUpper(), twoDigits(difference->chip),
                 twoDigits(difference->image));
      return tr("0x%1").arg(QString::number(address, 16).toUpper());
    default: return {};
  }
}

QVariant HexModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role == Qt::FontRole) return font_;
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal)
    return section == kAsciiColumn ? tr("ASCII") : twoDigits(static_cast<quint8>(section));
  return QString::number(section * kBytesPerRow, 16)
      .rightJustified(addressDigits_, QLatin1Char('0'))
      .toUpper();
}

Qt::ItemFlags HexModel::flags(const QModelIndex& index) const {
  if (addressOf(index) < 0) return Qt::ItemIsEnabled;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (editable_) f |= Qt::ItemIsEditable;
  return f;
}

bool HexModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  const int address = addressOf(index);
  if (role != Qt::EditRole || address < 0 || !editable_) return false;
  const QString text = value.toString().trimmed();
  bool ok = false;
  const uint byte = text.toUInt(&ok, 16);
  if (!ok || text.size() > 2 || byte > 0xFF) return false;
  // The user typed over the cell: ask the source again now.
  missing_.remove(address / kBlockBytes);
  if (!available(address)) return false;
  if (byteAt(address) == byte) return true;
  storeByte(address, static_cast<quint8>(byte));
  byteChanged(address);
  emit byteEdited(address, static_cast<int>(byte));
  return true;
}

void HexModel::byteChanged(int address) {
  const QModelIndex cell = indexOfAddress(address);
  if (!cell.isValid()) return;
  emit dataChanged(cell, cell);
  const QModelIndex ascii = this->index(cell.row(), kAsciiColumn);
  emit dataChanged(ascii, ascii);
}

}  // namespace zylgui
