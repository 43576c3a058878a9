// Where a write to a file name lands, and whether it may happen, told
// before the work that produces the file's contents.
#pragma once

#include <sys/types.h>

#include <string>

namespace zylisp {

struct TWriteTarget {
  enum TKind {
    kNewFile,      // nothing there yet: created in Name's folder
    kRegularFile,  // an existing file: replaced whole at Name
    kInPlace,      // a device, a pipe, or a file reached through a descriptor
                   // link: written through the name given, never replaced
  };
  TKind Kind = kNewFile;
  // The name written: the name given, with its symbolic links followed
  // for a file that is created or replaced.
  std::string Name;
  // Of an existing file: its type and permission bits, owner and group.
  mode_t Mode = 0;
  uid_t Owner = 0;
  gid_t Group = 0;
};

// Follows fileName's symbolic links. 0 and the target, or the system's
// error number (a directory gives EISDIR).
int FindWriteTarget(const std::string& fileName, TWriteTarget& target);

// 0 when the process may write the target as the kernel would allow it
// (root may replace a read-only file); otherwise the system's error number.
// A file is replaced through its folder, so that folder must take new names.
int WriteTargetError(const TWriteTarget& target);

// "cannot write <fileName>: <the system's reason>".
std::string CannotWrite(const std::string& fileName, int error);

// Empty when the file can be written; otherwise the path and the system's
// reason.
std::string TargetFileProblem(const std::string& fileName);

}  // namespace zylisp
