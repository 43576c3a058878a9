#include "image/data_file_check.h"

namespace zylisp {

std::string DataFileProblem(const std::string&) { return {}; }

}  // namespace zylisp
