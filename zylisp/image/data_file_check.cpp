#include "image/data_file_check.h"

#include "image/file_access.h"
#include "image/line_range.h"
#include "image/text_scan.h"

namespace zylisp {

std::string DataFileProblem(const std::string& fileName) {
  const std::string noData = fileName + " holds no data";
  try {
    const TDataFile file(fileName);
    switch (CheckText(file, kMaxTextFileBytes)) {
      case TTextCheck::kEmpty:
        return noData;
      case TTextCheck::kText:
        break;
      default:
        return {};  // a binary image: every byte is data
    }
    const TTextVerdict verdict = ScanLines(TLineRange(file));
    // Text without a single record loads as its bytes.
    if (!verdict.Family) return {};
    if (verdict.DamagedLine != 0) return DamagedLineDetail(fileName, verdict);
    return verdict.HoldsData ? std::string() : noData;
  } catch (const EFileError& e) {
    return e.what();
  }
}

}  // namespace zylisp
