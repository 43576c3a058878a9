#include "core/target_file.h"

namespace zylisp {

std::string TargetFileProblem(const std::string&) { return {}; }

}  // namespace zylisp
