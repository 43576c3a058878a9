#include "image/text_scan.h"

namespace zylisp {

std::string DamagedLineDetail(const std::string& fileName, const TTextVerdict& verdict) {
  if (verdict.DamagedLine == 0) return fileName.empty() ? verdict.Problem : fileName + ": " + verdict.Problem;
  const std::string where = "line " + std::to_string(verdict.DamagedLine) + ": " + verdict.Problem;
  return fileName.empty() ? where : fileName + " " + where;
}

}  // namespace zylisp
