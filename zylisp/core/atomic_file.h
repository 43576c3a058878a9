// Writes a whole file so that readers see either the old or the new
// contents, never a half-written file.
#pragma once

#include <string>

namespace zylisp {

// Writes contents to a temporary file beside path, flushes it to disk and
// renames it over path. On failure the temporary file is removed, an
// existing file at path is left untouched, and EISPException names the path
// and the system's reason.
void WriteFileAtomically(const std::string& path, const std::string& contents);

}  // namespace zylisp
