// Writing a whole file so that readers see either the old or the new
// contents, never a half-written file; and whether it may be written, told
// before the work that produces the contents.
#pragma once

#include <string>

namespace zylisp {

// Empty when the process may write the file as the kernel would allow it
// (root may replace a read-only file); otherwise "cannot write <fileName>:
// <the system's reason>". A file is replaced through its folder, so that
// folder must take new names.
std::string TargetFileProblem(const std::string& fileName);

// Writes contents to the file named path. A regular file is written to a
// temporary file beside it, flushed to disk and renamed over it, keeping its
// mode (and its owner and group where the process may set them); a symbolic
// link is followed and its target replaced; a new file gets 0666 less the
// umask. A device, a pipe or a descriptor link (/dev/stdout) is written in
// place, never replaced. On failure no temporary file remains, a replaced
// file is left untouched, and EISPException says what TargetFileProblem
// would, with the reason of the failure.
void WriteFileAtomically(const std::string& path, const std::string& contents);

}  // namespace zylisp
