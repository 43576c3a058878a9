// Temporary folders, file helpers and scoped environment variables for tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under $TMPDIR, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& contents);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string ReadFile(const std::string& path);
std::vector<uint8_t> ReadBytes(const std::string& path);
bool FileExists(const std::string& path);

// The memory device /dev/<name> (major 1, minor) to write to. Root gets a
// node of its own in folder, so that a writer that wrongly replaces it
// leaves the system's node alone; others get /dev/<name>, which they could
// not replace. "" when root's node cannot be opened (a nodev mount).
std::string MemoryDevice(const std::string& folder, const std::string& name, unsigned minor);

// Sets (or, with nullptr, unsets) a variable for the object's lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace testing_support
