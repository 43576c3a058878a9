// Whether a data file can be programmed or verified from, told before any
// chip is touched.
#pragma once

#include <string>

namespace zylisp {

// Empty when the file can be loaded and holds data; otherwise what is wrong
// with it, naming the file.
std::string DataFileProblem(const std::string& fileName);

}  // namespace zylisp
