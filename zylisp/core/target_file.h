// Whether a file of a given name can be written, told before the work that
// produces its contents.
#pragma once

#include <string>

namespace zylisp {

// Empty when the file can be written; otherwise the path and the system's
// reason.
std::string TargetFileProblem(const std::string& fileName);

}  // namespace zylisp
