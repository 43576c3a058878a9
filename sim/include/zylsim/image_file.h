// The chip image on disk: raw binary contents of the chip's data area.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zylsim {

// Loads the image into contents, whose size is the chip's. A missing file
// leaves contents as they are (a blank chip) and returns false. A file of
// another size, or one that cannot be read, throws ConfigError and leaves
// contents untouched.
bool LoadImageFile(const std::string& path, std::vector<uint8_t>& contents);

// Throws ConfigError naming the path and the system's reason when the
// folder of path cannot take the image (missing, not a folder, read-only).
void CheckImageWritable(const std::string& path);

// Writes contents to a temporary file beside path, flushes it to disk and
// renames it over path, so path holds either the old or the new image.
// Throws std::runtime_error naming the path and the system's reason.
void SaveImageFile(const std::string& path, const std::vector<uint8_t>& contents);

}  // namespace zylsim
