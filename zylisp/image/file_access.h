// Reading data files from disk, with a clear error for files that cannot be
// read.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace zylisp {

// A data file that is missing, is a folder, or cannot be read.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file's bytes, at most maxBytes of them. With stopAtNul the reading
// ends after the chunk holding the first NUL, which ends a text anyway (and
// keeps a device such as /dev/zero from being read for ever).
std::string ReadFileBytes(const std::string& fileName, std::size_t maxBytes, bool stopAtNul);

}  // namespace zylisp
