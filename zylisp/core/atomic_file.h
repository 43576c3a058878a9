// Writing a whole file so that readers see either the old or the new
// contents, never a half-written file; and whether it may be written, told
// before the work that produces the contents. Safe in folders that others
// may write: every step works relative to the folder opened once, links
// are followed only where the kernel itself would follow them, and a file
// swapped during the write is never renamed over.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

namespace zylisp {

struct TWriteRules {
  // Permission bits of a file the write creates, before the umask.
  mode_t NewFileMode = 0666;
  // Follow only the caller's own symbolic links (files of the caller's own,
  // such as its settings, that another user must not redirect).
  bool OwnLinksOnly = false;
};

// Empty when the process may write the file as the kernel would allow it
// (root may replace a read-only file); otherwise "cannot write <fileName>:
// <the reason>". A file is replaced through its folder, so that folder
// must take new names. A symbolic link of another user in a sticky folder
// that everyone may write (/tmp) is not followed, unless the folder's
// owner made it, as the kernel's protected links do.
std::string TargetFileProblem(const std::string& fileName, const TWriteRules& rules = {});

// Writes contents to the file named path. A regular file is written to a
// new file beside it (unnamed until complete, where the file system
// allows), flushed to disk and renamed over it, keeping its mode (and its
// owner and group where the process may set them); a symbolic link is
// followed as TargetFileProblem says and its target replaced; a new file
// gets the rules' mode less the umask and is never put over a file that
// appeared meanwhile. A device, a pipe or a descriptor link (/dev/stdout) is
// written in place, never replaced; a pipe nobody reads is refused. On
// failure no temporary file remains (leftovers of a killed writer are
// removed by the next write), a replaced file is left untouched, and
// EISPException says what TargetFileProblem would, with the reason.
void WriteFileAtomically(const std::string& path, const std::string& contents,
                         const TWriteRules& rules = {});

// Takes the next piece of a file's contents.
using TContentsSink = std::function<void(const char* data, std::size_t size)>;
// Hands a file's contents, in pieces of any size, to the sink it is given.
using TContentsProducer = std::function<void(const TContentsSink& sink)>;

// The same, with the contents made while they are written: the pieces go
// to the file a block at a time, so the whole of them is never held. The
// target is checked before produce runs. When produce throws, the write
// fails as one of the file does (no temporary file remains, a replaced
// file is left untouched) and its exception goes on to the caller; what
// reached a device or a pipe stays there.
void WriteFileAtomically(const std::string& path, const TContentsProducer& produce,
                         const TWriteRules& rules = {});

}  // namespace zylisp
