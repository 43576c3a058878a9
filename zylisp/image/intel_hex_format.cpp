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
// all those bytes.
std::string IntelRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  std::string line = ":" + HexDigits(static_cast<uint32_t>(data.size()), 2) +
                     HexDigits(address, 4) + HexDigits(type, 2);
  for (uint8_t b : data) {
    line += HexDigits(b, 2);
    sum += b;
  }
  return line + HexDigits((0x100 - (sum & 0xFF)) & 0xFF, 2);
}

std::string LinearAddressRecord(uint32_t page) {
  return IntelRecord(0x04, 0, {static_cast<uint8_t>(page >> 8), static_cast<uint8_t>(page)});
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

void ReadIntelHex(const TLineRange& lines, TImageStore& image, int32_t /*format*/) {
  uint64_t segment = 0;
  uint64_t upper = 0;
  for (const std::string& line : lines) {
    image.NextLine();
    if (line.empty()) continue;
    const std::string body = UpperCase(line.substr(1));
    const uint8_t count = HexPairAt(body, 0);
    const uint64_t offset = uint64_t{HexPairAt(body, 2)} * 256 + HexPairAt(body, 4);
    const uint64_t value = uint64_t{HexPairAt(body, 8)} * 256 + HexPairAt(body, 10);
    switch (HexPairAt(body, 6)) {
      case 0x00:
        // No wrap at 64 KB: a record running over the boundary goes on upwards.
        StoreHexBytes(image, upper * 65536 + segment * 16 + offset, body, 8, count);
        break;
      case 0x01:
        return;
      case 0x02:
        segment = value;
        break;
      case 0x04:
        upper = value;
        break;
      default:
        break;
    }
  }
}

void WriteIntelHex(TLines& lines, const THexList& image, int32_t /*format*/) {
  const std::vector<TDataRecord> records = DataRecords(image);
  if (image.LastUsedAddress() > 0xFFFF) lines.push_back(LinearAddressRecord(0));
  uint32_t page = 0;
  for (const TDataRecord& record : records) {
    // One extended linear address record per page passed, blank pages
    // included, so every record's upper address is the current page.
    while ((record.Address >> 16) > page) lines.push_back(LinearAddressRecord(++page));
    lines.push_back(IntelRecord(0x00, static_cast<uint16_t>(record.Address & 0xFFFF), record.Bytes));
  }
  lines.push_back(":00000001FF");
}

}  // namespace

TFormatFamily IntelHexFamily() {
  return {"Intel HEX", ffIntelHex, ffIntelHexLinear, CheckIntelHexLine, ReadIntelHex,
          WriteIntelHex, true};
}

}  // namespace zylisp
