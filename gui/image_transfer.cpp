#include "image_transfer.h"

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

int ImageTransfer::store(int offset, const QByteArray& bytes) {
  ++calls_;
  return Zyl_SessionWriteImage(
      session_, offset, reinterpret_cast<const uint8_t*>(bytes.constData()), int32_t(bytes.size()));
}

}  // namespace zylgui
