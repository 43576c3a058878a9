// The sectioned name/value table behind the programmer settings, loaded from
// and saved to the per-user settings store.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zylisp {

// A setting's text, as the store holds it; a number set by the program is
// kept as its decimal text.
class TSettingValue {
 public:
  TSettingValue(int64_t v = 0) : text_(std::to_string(v)) {}  // NOLINT: implicit by design
  TSettingValue(int v) : TSettingValue(int64_t{v}) {}          // NOLINT
  TSettingValue(std::string v) : text_(std::move(v)) {}        // NOLINT
  TSettingValue(const char* v) : text_(v) {}                   // NOLINT

  const std::string& AsString() const { return text_; }
  // The whole decimal number (optional sign, digits only) the text holds;
  // nothing for any other text or one out of range.
  std::optional<int64_t> ToInteger() const;

 private:
  std::string text_;
};

struct TSetting {
  std::string Section;
  std::string Ident;
  uint8_t Store = 0;
  TSettingValue Value;
};

class TISPSettings {
 public:
  void ClearStore(uint8_t store);
  // Both raise ESettingsFileError, naming the settings file and the reason,
  // for a file that cannot be read or written (see settings_store_file.h).
  void LoadStore(const std::string& keyPath, bool iniFlag, uint8_t store);
  void SaveStore(const std::string& keyPath, bool iniFlag, uint8_t store);
  // Loads the store, applies change and saves it, all under the store's
  // lock (see TStoreLock), so that a writer of another key at the same
  // time, in this process or another, keeps its setting.
  void UpdateStore(const std::string& keyPath, bool iniFlag, uint8_t store,
                   const std::function<void(TISPSettings&)>& change);
  // Section and ident match ignoring case. The setting found keeps its
  // names and store and takes the value; without one a setting is added.
  void SetValue(const std::string& section, const std::string& ident, uint8_t store,
                const TSettingValue& value);
  // The value of the setting whose section and ident match ignoring case.
  TSettingValue GetValue(const std::string& section, const std::string& ident,
                         const TSettingValue& defaultValue) const;
  // The number a driver reads: the setting's whole value when it lies in
  // low..high, defaultValue otherwise. A stored text that cannot be used
  // counts as absent, so it never stops a connection, and the next value
  // set and saved replaces it.
  int64_t GetInteger(const std::string& section, const std::string& ident, int64_t defaultValue,
                     int64_t low, int64_t high) const;

  int Count() const { return static_cast<int>(items_.size()); }
  const TSetting& Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }

 private:
  std::vector<TSetting> items_;
};

// The command-line key under which the programmer settings live.
constexpr const char* kCommandLineKey = "Software\\norvex\\ZYLISP0001\\COMMANDLINE";

}  // namespace zylisp
