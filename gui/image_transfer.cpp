#include "image_transfer.h"

#include <algorithm>

namespace zylgui {

int ImageTransfer::size() {
  ++calls_;
  int32_t size = 0;
  if (Zyl_SessionGetImageSize(session_, &size) != 0) return 0;
  return size;
}

int ImageTransfer::fetch(QByteArray& image) {
  const int bytes = size();
  image = QByteArray(bytes, '\xFF');
  if (bytes == 0) return 0;
  ++calls_;
  return Zyl_SessionReadImage(session_, 0, reinterpret_cast<uint8_t*>(image.data()), bytes);
}

QByteArray ImageTransfer::read(int offset, int length) {
  ++calls_;
  QByteArray bytes(std::max(length, 0), '\xFF');
  if (Zyl_SessionReadImage(session_, offset, reinterpret_cast<uint8_t*>(bytes.data()), length) != 0)
    return {};
  return bytes;
}

int ImageTransfer::store(int offset, const QByteArray& bytes) {
  ++calls_;
  return Zyl_SessionWriteImage(
      session_, offset, reinterpret_cast<const uint8_t*>(bytes.constData()), int32_t(bytes.size()));
}

}  // namespace zylgui
