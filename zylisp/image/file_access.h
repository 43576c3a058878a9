// Reading data files from disk, with a clear error for files that cannot be
// read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace zylisp {

// A data file that is missing, is a folder, or cannot be read.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A data file open for reading at any offset, so that it can be looked at in
// pieces and more than once without being held in memory. Closed with the
// object.
class TDataFile {
 public:
  // Raises EFileError for a missing file, a folder, or one that cannot be
  // opened.
  explicit TDataFile(const std::string& fileName);
  ~TDataFile();
  TDataFile(const TDataFile&) = delete;
  TDataFile& operator=(const TDataFile&) = delete;

  // The length the file system reports; 0 for devices, whose length only
  // shows by reading them.
  uint64_t Length() const { return length_; }

  // Up to n bytes from offset into buffer; fewer only at the end of the
  // file. Raises EFileError when the file cannot be read there (a pipe, for
  // one, cannot be read at an offset).
  std::size_t ReadAt(uint64_t offset, char* buffer, std::size_t n) const;

 private:
  std::string name_;
  int fd_ = -1;
  uint64_t length_ = 0;
};

}  // namespace zylisp
