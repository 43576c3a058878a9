// Reading data files from disk, with a clear error for files that cannot be
// read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace zylisp {

// A data file that is missing, is a folder or a device, or cannot be read.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A data file open for reading, either in order, a block at a time and
// nothing kept (Read), or at any offset (ReadAt): then its bytes are read
// from the file once, in order, as far as they are asked for, and kept, so
// every look at the file sees the same contents, even when the file
// changes on disk meanwhile, and a pipe can be looked at more than once.
// One object is read one way only. Closed with the object.
class TDataFile {
 public:
  // Raises EFileError for a missing file, a folder, a device (which holds
  // no data file: /dev/zero never ends), or one that cannot be opened. A
  // FIFO is opened without waiting for a writer.
  explicit TDataFile(const std::string& fileName);
  ~TDataFile();
  TDataFile(const TDataFile&) = delete;
  TDataFile& operator=(const TDataFile&) = delete;

  // The length the file system reported at the open; 0 for a FIFO, whose
  // length only shows by reading it.
  uint64_t Length() const { return length_; }

  // Up to n bytes from offset into buffer; fewer only at the end of the
  // file. Raises EFileError when the file cannot be read, when a FIFO has
  // no writer, or when a stop is requested while a FIFO's writer is awaited.
  std::size_t ReadAt(uint64_t offset, char* buffer, std::size_t n) const;

  // Up to n bytes following those the last Read gave; fewer only at the
  // end of the file (0 there). Raises as ReadAt does.
  std::size_t Read(char* buffer, std::size_t n);

  // How many bytes Read and ReadAt have handed out, over all data files of
  // the process: what the loaders look at, for tests that count it.
  static uint64_t BytesHandedOut();

 private:
  // One read of the file into buffer: 0 at its end.
  std::size_t ReadSome(char* buffer, std::size_t n) const;
  // Reads on until the kept bytes reach end, or the file ends.
  void ReadUpTo(uint64_t end) const;

  std::string name_;
  int fd_ = -1;
  // The process's stop count when the file was opened: a stop asked later
  // ends a wait for a FIFO's writer.
  uint32_t stopEpoch_ = 0;
  bool fifo_ = false;
  uint64_t length_ = 0;
  mutable std::string kept_;
  mutable bool ended_ = false;
  mutable bool sawData_ = false;
};

}  // namespace zylisp
