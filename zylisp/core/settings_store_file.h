// The per-user settings store on disk. A key path names an INI file; each
// subkey of the key is a section "[name]" and each value a line "name=value"
// holding its text.
#pragma once

#include <string>
#include <vector>

namespace zylisp {

struct TStoreEntry {
  std::string Section;
  std::string Name;
  std::string Value;
};

// The file behind a key path. Without the ini flag,
// "Software\norvex\ZYLISP0001\COMMANDLINE" becomes
// "$XDG_CONFIG_HOME/norvex/ZYLISP0001/COMMANDLINE.ini" (XDG_CONFIG_HOME
// defaults to $HOME/.config; a leading "Software" component is dropped).
// With the ini flag the key path is the file's path itself. A key path with
// no usable component, or with a component that would leave the settings
// folder ("." or ".." or one holding '/'), raises ESettingsFileError.
std::string SettingsFilePath(const std::string& keyPath, bool iniFlag);

// Entries in file order. Lines are split at CR, LF or CR LF; names, values
// and section names are trimmed of spaces and tabs. Lines that cannot be
// parsed (no section yet, no '=', an empty name, control characters, a
// malformed section header and the lines under it) are skipped.
std::vector<TStoreEntry> ParseStoreText(const std::string& text);

// The file text for the entries: one section per section name (names that
// differ only in case are one), in order of first appearance, lines ending
// in LF. Raises ESettingsFileError for a section, name or value that could
// not be read back as written.
std::string FormatStoreText(const std::vector<TStoreEntry>& entries);

// Reads the store file. A missing one reads as empty; with createMissing
// the empty file and its folders are made when they can be (a store that is
// not there holds nothing to lose, and the first write says why it cannot be
// made). A file that is there but cannot be read, is not a regular file or
// is implausibly large raises ESettingsFileError with its path and the
// reason: its settings are neither ignored nor later overwritten unseen.
std::vector<TStoreEntry> ReadStoreFile(const std::string& path, bool createMissing);

// Replaces the store file with the entries, atomically: on failure the old
// file stays as it was and ESettingsFileError names the path and the
// reason. With createFolders the missing folders on the way are made first.
void WriteStoreFile(const std::string& path, const std::vector<TStoreEntry>& entries,
                    bool createFolders);

// Holds the store's lock while it lives: an exclusive lock on the file
// beside it named path + ".lock" (made 0600 when missing, never through a
// link). Every process and thread that changes the store takes it around
// its read, change and write, so that none loses another's setting. With
// createFolders the missing folders on the way are made first. Where the
// lock file cannot be made (a folder that may not be written), nothing is
// locked: the store's own write then fails with its cause. Raises
// ESettingsFileError naming the lock file and the reason when a lock file
// that is there cannot be locked.
class TStoreLock {
 public:
  TStoreLock(const std::string& path, bool createFolders);
  ~TStoreLock();
  TStoreLock(const TStoreLock&) = delete;
  TStoreLock& operator=(const TStoreLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace zylisp
