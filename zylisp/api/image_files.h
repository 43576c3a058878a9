// Moving the memory image to and from files, shared by the buffer exports
// and the chip operations that take a file name. Each records its result
// as the export of the same job does.
#pragma once

#include <cstdint>

namespace zylisp {

// As Zyl_LoadBuffer.
int32_t LoadImageFile(uint8_t area, const char* fileName);
// As Zyl_SaveBuffer.
int32_t SaveImageFile(uint8_t area, const char* fileName, uint8_t format);
// As Zyl_CheckFile.
int32_t CheckFile(const char* fileName, bool forWriting);

}  // namespace zylisp
