// Tektronix hex: '/', 4-digit address, count, header checksum, data, data
// checksum; a record of count 0 ends the data.

#include "core/errors.h"
#include "core/hex_text.h"
#include "image/format_registry.h"
#include "image/hex_list.h"
#include "image/image_records.h"
#include "image/image_store.h"

namespace zylisp {

namespace {

// Both Tektronix checksums add the values of single hex digits.
unsigned DigitSum(const std::string& digits) {
  unsigned sum = 0;
  for (char c : digits) sum += HexDigitValue(c);
  return sum & 0xFF;
}

TLineCheck CheckTektronixLine(const std::string& line) {
  if (line[0] != '/') return BrokenLine("not a Tektronix record");
  const std::string body = UpperCase(line.substr(1));
  const std::size_t count = HexPairAt(body, 4);
  // Address, count, header checksum, then count data bytes and their
  // checksum; a record of count 0 may end after its header.
  const std::size_t expected = count == 0 && body.size() <= 8 ? 8 : 2 * (count + 5);
  std::string problem = HexDigitProblem(body);
  if (problem.empty()) problem = LengthProblem(body.size(), expected);
  if (!problem.empty()) return BrokenLine(problem);
  if (DigitSum(body.substr(0, 6)) != HexPairAt(body, 6))
    return BrokenLine("header checksum does not match");
  TLineCheck check = RecordLine(ffTektronix, count > 0, count == 0);
  // An end record may stop after its header, without a data checksum.
  if (body.size() > 8) {
    check.ChecksumProblem = ChecksumProblem(HexPairAt(body, 8 + 2 * count),
                                            DigitSum(body.substr(8, 2 * count)), "data checksum");
  }
  return check;
}

bool ReadTektronixLine(const std::string& raw, TImageStore& image, TReadState& /*state*/) {
  const std::string line = UpperCase(raw);
  const uint64_t address = uint64_t{HexPairAt(line, 1)} * 256 + HexPairAt(line, 3);
  const uint8_t count = HexPairAt(line, 5);
  if (count == 0) return false;
  StoreHexBytes(image, address, line, 9, count);
  return true;
}

// Raises EISPException when the image uses an address above FFFF.
void WriteTektronix(TTextOut& text, const THexList& image, int32_t /*format*/) {
  std::string& out = text.Text;
  if (HighestUsedAddress(image) > 0xFFFF)
    throw EISPException("Image addresses above FFFF do not fit Tektronix records");
  ForEachDataRecord(image, [&](uint32_t address, const uint8_t* bytes, std::size_t n) {
    std::string header;
    AppendHex(header, address, 4);
    AppendHex(header, static_cast<uint32_t>(n), 2);
    std::string data;
    for (std::size_t i = 0; i < n; ++i) AppendHex(data, bytes[i], 2);
    out += '/';
    out += header;
    AppendHex(out, DigitSum(header), 2);
    out += data;
    AppendHex(out, DigitSum(data), 2);
    out += "\r\n";
    text.Pass();
  });
  out += "/00000000\r\n";
}

}  // namespace

TFormatFamily TektronixFamily() {
  return {"Tektronix", ffTektronix, ffTektronix, CheckTektronixLine, ReadTektronixLine,
          WriteTektronix, false};
}

}  // namespace zylisp
