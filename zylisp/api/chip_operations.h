// The chip operations behind the exports, shared by the classic calls and
// the session calls: each works on the current session and records its
// result code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zylisp {

class TISPProgrammer;
class THexList;

// Runs work inside the operation bracket (connection, stop request,
// progress at that stage) and records its result code. A chip-writing
// operation that fails after it began notes how far it got.
int32_t Operate(int32_t stage, const std::function<int32_t()>& work, bool writesChip = false);

// The connection's programmer; raises when a held connection has none.
TISPProgrammer& Programmer();

// Program or verify the image (after loading fileName into it, when given).
int32_t ProgramImage(const char* fileName);
int32_t VerifyImage(const char* fileName);
// Reads the chip into the image and, with a file name, saves it in format.
int32_t ReadIntoImage(const char* fileName, uint8_t format);
// Reads the chip into a scratch image and checks that every byte is FF;
// the bytes that are not become the image's differences.
int32_t BlankCheckChip();
int32_t EraseChip();
int32_t WriteStatusValue(uint8_t value);
// Reads the status register into *status, left as it was on failure.
int32_t ReadStatusByte(uint8_t* status);
// Sets the write page of the next operations, refusing a size the device
// cannot take (1, with the detail); 0 is refused too.
int32_t SetPageSize(int32_t size);
// The adapter's firmware version, "N/A" when it cannot be reached; failure
// (when given) gets 0 or the code of what went wrong.
std::string FirmwareVersion(int32_t* failure = nullptr);

}  // namespace zylisp
