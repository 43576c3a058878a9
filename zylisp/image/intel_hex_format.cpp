// Intel HEX: data (00), end (01), extended segment (02) and extended linear
// (04) address records; 03 and 05 are recognised and passed over.

#include "core/hex_text.h"
#include "image/format_registry.h"
#include "image/hex_list.h"
#include "image/image_records.h"
#include "image/image_store.h"

namespace zylisp {

namespace {

// ':', count, address, type, data, and the two's complement of the sum of
// all those bytes, then CR LF.
void AppendIntelRecord(std::string& out, uint8_t type, uint16_t address, const uint8_t* data,
                       std::size_t count) {
  unsigned sum = static_cast<unsigned>(count) + (address >> 8) + (address & 0xFF) + type;
  out += ':';
  AppendHex(out, static_cast<uint32_t>(count), 2);
  AppendHex(out, address, 4);
  AppendHex(out, type, 2);
  for (std::size_t i = 0; i < count; ++i) {
    AppendHex(out, data[i], 2);
    sum += data[i];
  }
  AppendHex(out, (0x100 - (sum & 0xFF)) & 0xFF, 2);
  out += "\r\n";
}

void AppendLinearAddressRecord(std::string& out, uint32_t page) {
  const uint8_t bytes[] = {static_cast<uint8_t>(page >> 8), static_cast<uint8_t>(page)};
  AppendIntelRecord(out, 0x04, 0, bytes, 2);
}

TLineCheck CheckIntelHexLine(const std::string& line) {
  if (line[0] != ':') return BrokenLine("not an Intel HEX record");
  const std::string body = UpperCase(line.substr(1));
  const uint8_t count = HexPairAt(body, 0);
  std::string problem = HexDigitProblem(body);
  // count, 2 address bytes, type, count data bytes, checksum
  if (problem.empty()) problem = LengthProblem(body.size(), 2 * (std::size_t{count} + 5));
  if (!problem.empty()) return BrokenLine(problem);
  const uint8_t type = HexPairAt(body, 6);
  // Every byte, the checksum included, adds up to a multiple of 256.
  unsigned sum = 0;
  for (std::size_t pos = 0; pos + 2 < body.size(); pos += 2) sum += HexPairAt(body, pos);
  const std::string checksum =
      ChecksumProblem(HexPairAt(body, body.size() - 2), (0x100 - (sum & 0xFF)) & 0xFF);
  // The count each kind of address record has.
  static const int kAddressCount[] = {-1, 0, 2, 4, 2, 4};
  if (type > 0x05) return BrokenLine("unknown record type " + HexDigits(type, 2));
  if (type != 0x00 && count != kAddressCount[type])
    return BrokenLine("wrong count for a type " + HexDigits(type, 2) + " record");
  TLineCheck check = type == 0x00   ? RecordLine(ffIntelHex, count > 0)
                     : type == 0x01 ? RecordLine(ffIntelHex, false, true)
                     : type == 0x02 ? RecordLine(ffIntelHexSegment)
                                    : RecordLine(ffIntelHexLinear);
  check.ChecksumProblem = checksum;
  return check;
}

bool ReadIntelHexLine(const std::string& line, TImageStore& image, TReadState& state) {
  const std::string body = UpperCase(line.substr(1));
  const uint8_t count = HexPairAt(body, 0);
  const uint64_t offset = uint64_t{HexPairAt(body, 2)} * 256 + HexPairAt(body, 4);
  const uint64_t value = uint64_t{HexPairAt(body, 8)} * 256 + HexPairAt(body, 10);
  switch (HexPairAt(body, 6)) {
    case 0x00:
      // No wrap at 64 KB: a record running over the boundary goes on upwards.
      StoreHexBytes(image, state.Upper * 65536 + state.Segment * 16 + offset, body, 8, count);
      break;
    case 0x01:
      return false;
    case 0x02:
      state.Segment = value;
      break;
    case 0x04:
      state.Upper = value;
      break;
    default:
      break;
  }
  return true;
}

void WriteIntelHex(TTextOut& text, const THexList& image, int32_t /*format*/) {
  std::string& out = text.Text;
  if (image.LastUsedAddress() > 0xFFFF) AppendLinearAddressRecord(out, 0);
  uint32_t page = 0;
  ForEachDataRecord(image, [&](uint32_t address, const uint8_t* bytes, std::size_t n) {
    // One extended linear address record per page passed, blank pages
    // included, so every record's upper address is the current page.
    while ((address >> 16) > page) AppendLinearAddressRecord(out, ++page);
    AppendIntelRecord(out, 0x00, static_cast<uint16_t>(address & 0xFFFF), bytes, n);
    text.Pass();
  });
  out += ":00000001FF\r\n";
}

}  // namespace

TFormatFamily IntelHexFamily() {
  return {"Intel HEX", ffIntelHex, ffIntelHexLinear, CheckIntelHexLine, ReadIntelHexLine,
          WriteIntelHex, true};
}

}  // namespace zylisp
