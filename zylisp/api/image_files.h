// Moving the memory image to and from files, shared by the buffer exports
// and the chip operations that take a file name. Each records its result
// as the export of the same job does.
#pragma once

#include <cstdint>
#include <string>

#include "image/file_loader.h"

namespace zylisp {

struct TDevice;

// As Zyl_LoadBuffer.
int32_t LoadImageFile(uint8_t area, const char* fileName);
// As Zyl_SaveBuffer.
int32_t SaveImageFile(uint8_t area, const char* fileName, uint8_t format);
// The same, without the checks of area and of a port: what a session
// needs is a device, and so an image. replaced, when given, says whether
// the load put a new image in place.
int32_t LoadFileIntoImage(const char* fileName, bool* replaced = nullptr);
int32_t SaveImageToFile(const char* fileName, uint8_t format);
// The load options the client set, for the selected device.
TLoadOptions LoadOptions();
// The highest address a file of that exported format number holds (9 is
// binary); 0 for a format no file is saved in.
int64_t FormatLimit(int32_t format);
// Why a whole device does not fit a file of that format; empty when it does.
std::string FormatCapacityProblem(int32_t format, const TDevice& device);
// As Zyl_CheckFile; without deviceLimits, what the load itself would refuse
// for the selected device is left to the load (which gives it code 6).
int32_t CheckFile(const char* fileName, bool forWriting, bool deviceLimits);

}  // namespace zylisp
