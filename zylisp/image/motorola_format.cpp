// Motorola S-records: S1, S2 and S3 data records, S9 ends the data.

#include "core/errors.h"
#include "core/hex_text.h"
#include "image/format_registry.h"
#include "image/hex_list.h"
#include "image/image_records.h"
#include "image/image_store.h"

namespace zylisp {

namespace {

// Address bytes of each kind S0..S9: the header and data records carry
// bytes after them, the count and end records none.
constexpr std::size_t kAddressBytes[] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

// "S", kind, count, address, data, and the ones' complement of the sum of
// count, address and data bytes.
std::string SRecord(char kind, uint32_t address, std::size_t addressBytes,
                    const std::vector<uint8_t>& data) {
  const std::size_t count = addressBytes + data.size() + 1;
  unsigned sum = static_cast<unsigned>(count);
  for (std::size_t i = 0; i < addressBytes; ++i) sum += (address >> (8 * i)) & 0xFF;
  std::string line = std::string("S") + kind + HexDigits(static_cast<uint32_t>(count), 2) +
                     HexDigits(address, static_cast<int>(2 * addressBytes));
  for (uint8_t b : data) {
    line += HexDigits(b, 2);
    sum += b;
  }
  return line + HexDigits(~sum & 0xFF, 2);
}

// What a well-formed record of the kind is, apart from its checksum.
TLineCheck RecordKind(char kind, bool carriesData) {
  switch (kind) {
    case '0':
      return RecordLine(ffMotorolaS1);
    case '1':
    case '2':
    case '3': {
      TLineCheck check = RecordLine(ffMotorolaS1 + (kind - '1'), carriesData);
      check.DataRecord = true;
      return check;
    }
    case '7':
      return RecordLine(ffMotorolaS3);
    case '8':  // end of an S2 file; S9 alone ends the data
      return RecordLine(ffMotorolaS2);
    case '9':
      return RecordLine(ffMotorolaS1, false, true);
    default:
      // Record counts carry no data and say nothing about address widths.
      return RecordLine(0);
  }
}

TLineCheck CheckMotorolaLine(const std::string& line) {
  if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9')
    return BrokenLine("not a Motorola S-record");
  const char kind = line[1];
  const std::size_t addressBytes = kAddressBytes[kind - '0'];
  if (addressBytes == 0) return BrokenLine(std::string("unknown record type S") + kind);
  const std::string body = UpperCase(line.substr(2));
  const std::size_t count = HexPairAt(body, 0);
  std::string problem = HexDigitProblem(body);
  if (problem.empty()) problem = LengthProblem(body.size(), 2 * (count + 1));
  if (!problem.empty()) return BrokenLine(problem);
  const bool carriesBytes = kind <= '3';
  if (carriesBytes ? count < addressBytes + 1 : count != addressBytes + 1)
    return BrokenLine(std::string("wrong count for an S") + kind + " record");
  TLineCheck check = RecordKind(kind, count > addressBytes + 1);
  // The checksum is the ones' complement of the sum of the bytes before it.
  unsigned sum = 0;
  for (std::size_t pos = 0; pos + 2 < body.size(); pos += 2) sum += HexPairAt(body, pos);
  check.ChecksumProblem = ChecksumProblem(HexPairAt(body, body.size() - 2), ~sum & 0xFF);
  if (kind == '5' || kind == '6') {
    int64_t counted = 0;
    for (std::size_t i = 0; i < addressBytes; ++i) counted = counted * 256 + HexPairAt(body, 2 + 2 * i);
    check.CountedRecords = counted;
    check.Kind = std::string("S") + kind;
  }
  return check;
}

void ReadMotorolaS(const TLineRange& lines, TImageStore& image, int32_t /*format*/) {
  for (const std::string& line : lines) {
    image.NextLine();
    if (line.size() < 2) continue;
    const char kind = line[1];
    if (kind == '9') return;
    if (kind < '1' || kind > '3') continue;  // only data records store bytes
    const std::size_t addressBytes = kAddressBytes[kind - '0'];
    const std::string body = UpperCase(line.substr(2));
    const std::size_t count = HexPairAt(body, 0);
    // A count too small for its own address and checksum carries no data.
    if (count < addressBytes + 1) continue;
    uint64_t address = 0;
    for (std::size_t i = 0; i < addressBytes; ++i) address = address * 256 + HexPairAt(body, 2 + 2 * i);
    StoreHexBytes(image, address, body, 2 + 2 * addressBytes, count - addressBytes - 1);
  }
}

void WriteMotorolaS(TLines& lines, const THexList& image, int32_t /*format*/) {
  if (HighestUsedAddress(image) > 0xFFFFFF)
    throw EISPException("Image addresses above FFFFFF do not fit S1 and S2 records");
  bool wide = false;
  for (const TDataRecord& record : DataRecords(image)) {
    // Once past 64 KB every record is S2, so the file keeps one width.
    if (record.Address >= 0x10000) wide = true;
    lines.push_back(wide ? SRecord('2', record.Address, 3, record.Bytes)
                         : SRecord('1', record.Address, 2, record.Bytes));
  }
  lines.push_back("S9030000FC");
}

}  // namespace

TFormatFamily MotorolaFamily() {
  return {"Motorola S-record", ffMotorolaS1, ffMotorolaS3, CheckMotorolaLine, ReadMotorolaS,
          WriteMotorolaS, false};
}

}  // namespace zylisp
