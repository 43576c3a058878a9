// Binary image files: raw bytes from address 0, or, in a file shorter than
// the image, the same bytes written as pairs of hex digit characters.
#pragma once

#include <cstdint>
#include <string>

namespace zylisp {

class THexList;

// 0 loaded; -1 when the file has more bytes than the image, which then keeps
// its contents and file name (a regular file is refused on its length, unread).
// Raises EFileError when the file cannot be read.
int32_t LoadBinaryImage(const std::string& fileName, THexList& image);

// Writes every byte of the image, blank ones included. Raises on failure,
// leaving an existing file untouched.
void SaveBinaryImage(const std::string& fileName, const THexList& image);

}  // namespace zylisp
