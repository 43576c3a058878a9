// Writes a whole file so that readers see either the old or the new
// contents, never a half-written file.
#pragma once

#include <string>

namespace zylisp {

// Writes contents to the file named path, as core/target_file.h finds and
// checks it. A regular file is written to a temporary file beside it,
// flushed to disk and renamed over it, keeping its mode (and its owner and
// group where the process may set them); a symbolic link is followed and
// its target replaced; a new file gets 0666 less the umask. A device, a
// pipe or a descriptor link is written in place, never replaced. On failure
// no temporary file remains, a replaced file is left untouched, and
// EISPException says "cannot write <path>: <the system's reason>".
void WriteFileAtomically(const std::string& path, const std::string& contents);

}  // namespace zylisp
