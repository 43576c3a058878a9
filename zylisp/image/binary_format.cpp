#include "image/binary_format.h"

#include "core/atomic_file.h"
#include "image/file_access.h"
#include "image/hex_list.h"
#include "image/text_lines.h"

namespace zylisp {

int32_t LoadBinaryImage(const std::string& fileName, THexList& image) {
  const TDataFile file(fileName);
  const std::size_t size = static_cast<std::size_t>(image.Size());
  // A file whose length does not fit is refused before any of it is read.
  if (file.Length() > size) return -1;
  // Devices report no length: one byte more than fits is enough to know.
  std::string bytes(size + 1, '\0');
  bytes.resize(file.ReadAt(0, bytes.data(), bytes.size()));
  if (bytes.size() > size) return -1;

  image.SetFileName(fileName);
  image.Clear();
  uint8_t* data = image.Data();
  // A file of exactly the image's size is the image's raw bytes, as the
  // binary writer makes it, even when every byte is a hex digit character.
  if (bytes.size() != size && AllHexDigits(bytes)) {
    // ASCII hex: two characters per byte, a last odd character ignored.
    const std::string upper = UpperCase(bytes);
    for (std::size_t i = 0; i < upper.size() / 2; ++i) data[i] = HexPairAt(upper, 2 * i);
  } else {
    for (std::size_t i = 0; i < bytes.size(); ++i) data[i] = static_cast<uint8_t>(bytes[i]);
  }
  return 0;
}

void SaveBinaryImage(const std::string& fileName, const THexList& image) {
  const uint8_t* data = image.Data();
  WriteFileAtomically(fileName,
                      std::string(reinterpret_cast<const char*>(data),
                                  static_cast<std::size_t>(image.Size())));
}

}  // namespace zylisp
