#include "image/extended_tektronix_format.h"

#include "core/errors.h"
#include "core/hex_text.h"
#include "image/hex_list.h"
#include "image/image_records.h"

namespace zylisp {

int32_t DetectExtendedTektronix(const TLineRange& lines) {
  int32_t answer = 0;
  for (const std::string& raw : lines) {
    if (raw.empty()) continue;
    if (raw.size() < 6 || raw[0] != '%') return 0;
    const std::string line = UpperCase(raw);
    const char type = line[3];
    if (type == '3') continue;  // symbol blocks are not checked
    if (type != '6' && type != '8') return 0;
    if (!AllHexDigits(line, 1)) return 0;
    if (HexPairAt(line, 1) != line.size() - 1) return 0;
    answer = ffExtendedTektronix;
    if (type == '8') return answer;
  }
  return answer;
}

void ReadExtendedTektronix(const TLineRange& lines, THexList& image, int32_t /*format*/) {
  for (const std::string& raw : lines) {
    if (raw.size() < 4) continue;
    const std::string line = UpperCase(raw);
    if (line[3] == '8') return;
    if (line[3] != '6' || line.size() < 7) continue;
    const std::size_t digits = HexDigitValue(line[6]);
    // At most 15 digits: the address fits 64 bits, and anything beyond 32
    // bits lies outside the image.
    uint64_t address = 0;
    for (std::size_t i = 0; i < digits; ++i) {
      const std::size_t pos = 7 + i;
      address = address * 16 + (pos < line.size() ? HexDigitValue(line[pos]) : 0);
    }
    const std::size_t dataPos = 7 + digits;
    if (dataPos >= line.size()) continue;
    StoreHexBytes(image, address, line, dataPos, (line.size() - dataPos) / 2);
  }
}

void WriteExtendedTektronix(TLines& lines, const THexList& image, int32_t /*format*/) {
  if (HighestUsedAddress(image) > 0xFFFFF)
    throw EISPException("Image addresses above FFFFF do not fit 5-digit Tektronix addresses");
  for (const TDataRecord& record : DataRecords(image)) {
    const std::size_t blockLength = 2 * record.Bytes.size() + 11;
    const std::string length = HexDigits(static_cast<uint32_t>(blockLength), 2);
    std::string tail = "5" + HexDigits(record.Address, 5);
    for (uint8_t b : record.Bytes) tail += HexDigits(b, 2);
    // The checksum adds every digit of the block but itself.
    unsigned sum = HexDigitValue('6');
    for (char c : length + tail) sum += HexDigitValue(c);
    lines.push_back("%" + length + "6" + HexDigits(sum & 0xFF, 2) + tail);
  }
  lines.push_back("%0E81E800000000");
}

TFormatFamily ExtendedTektronixFamily() {
  return {"extended Tektronix", ffExtendedTektronix, ffExtendedTektronix, DetectExtendedTektronix,
          ReadExtendedTektronix, WriteExtendedTektronix};
}

}  // namespace zylisp
