#include "crc32.h"

#include <array>

namespace zylgui {

namespace {

std::array<quint32, 256> makeTable() {
  std::array<quint32, 256> table{};
  for (quint32 n = 0; n < 256; ++n) {
    quint32 c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

}  // namespace

quint32 crc32(const QByteArray& data) {
  static const std::array<quint32, 256> table = makeTable();
  quint32 c = 0xFFFFFFFFu;
  for (const char byte : data) c = table[(c ^ static_cast<quint8>(byte)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace zylgui
