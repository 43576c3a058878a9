// Extended Tektronix hex: '%', block length, block type ('6' data, '8'
// termination, '3' symbols, passed over), checksum, address length digit,
// address, data.

#include "core/errors.h"
#include "core/hex_text.h"
#include "image/format_registry.h"
#include "image/hex_list.h"
#include "image/image_records.h"
#include "image/image_store.h"

namespace zylisp {

namespace {

TLineCheck CheckExtendedTektronixLine(const std::string& line) {
  if (line[0] != '%') return BrokenLine("not an extended Tektronix block");
  // Symbol blocks are passed over unchecked.
  if (line.size() > 3 && line[3] == '3') return {};
  const std::string upper = UpperCase(line);
  std::string problem = HexDigitProblem(upper, 1);
  // The block length counts the characters after the '%': itself, the
  // type, a checksum, the address length digit, the address and the data.
  if (problem.empty()) problem = LengthProblem(line.size() - 1, HexPairAt(upper, 1));
  if (problem.empty() && line.size() < 7) problem = "block shorter than its header";
  if (!problem.empty()) return BrokenLine(problem);
  const char type = upper[3];
  if (type != '6' && type != '8') return BrokenLine(std::string("unknown block type ") + type);
  const std::size_t dataPos = 7 + HexDigitValue(upper[6]);
  if (dataPos > line.size()) return BrokenLine("address longer than the block");
  if ((line.size() - dataPos) % 2 != 0) return BrokenLine("odd number of data digits");
  TLineCheck check =
      RecordLine(ffExtendedTektronix, type == '6' && dataPos < line.size(), type == '8');
  // The checksum adds the values of every digit of the block but its own two.
  unsigned sum = 0;
  for (std::size_t pos = 1; pos < upper.size(); ++pos) {
    if (pos != 4 && pos != 5) sum += HexDigitValue(upper[pos]);
  }
  check.ChecksumProblem = ChecksumProblem(HexPairAt(upper, 4), sum & 0xFF);
  return check;
}

bool ReadExtendedTektronixLine(const std::string& raw, TImageStore& image,
                               TReadState& /*state*/) {
  if (raw.size() < 4) return true;
  const std::string line = UpperCase(raw);
  if (line[3] == '8') return false;
  if (line[3] != '6' || line.size() < 7) return true;
  const std::size_t digits = HexDigitValue(line[6]);
  // At most 15 digits: the address fits 64 bits, and anything beyond 32
  // bits lies outside the image.
  uint64_t address = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    const std::size_t pos = 7 + i;
    address = address * 16 + (pos < line.size() ? HexDigitValue(line[pos]) : 0);
  }
  const std::size_t dataPos = 7 + digits;
  if (dataPos < line.size()) StoreHexBytes(image, address, line, dataPos, (line.size() - dataPos) / 2);
  return true;
}

// Writes 5-digit addresses; raises EISPException when the image uses an
// address above FFFFF.
void WriteExtendedTektronix(TTextOut& text, const THexList& image, int32_t /*format*/) {
  std::string& out = text.Text;
  if (HighestUsedAddress(image) > 0xFFFFF)
    throw EISPException("Image addresses above FFFFF do not fit 5-digit Tektronix addresses");
  ForEachDataRecord(image, [&](uint32_t address, const uint8_t* bytes, std::size_t n) {
    std::string digits;
    AppendHex(digits, static_cast<uint32_t>(2 * n + 11), 2);
    digits += '5';
    AppendHex(digits, address, 5);
    for (std::size_t i = 0; i < n; ++i) AppendHex(digits, bytes[i], 2);
    // The checksum adds every digit of the block but itself.
    unsigned sum = HexDigitValue('6');
    for (char c : digits) sum += HexDigitValue(c);
    out += '%';
    out.append(digits, 0, 2);
    out += '6';
    AppendHex(out, sum & 0xFF, 2);
    out.append(digits, 2, std::string::npos);
    out += "\r\n";
    text.Pass();
  });
  out += "%0E81E800000000\r\n";
}

}  // namespace

TFormatFamily ExtendedTektronixFamily() {
  return {"extended Tektronix", ffExtendedTektronix, ffExtendedTektronix,
          CheckExtendedTektronixLine, ReadExtendedTektronixLine, WriteExtendedTektronix, false};
}

}  // namespace zylisp
