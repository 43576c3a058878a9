#include "core/isp_settings.h"

#include <algorithm>
#include <charconv>

#include "core/settings_store_file.h"
#include "core/text_case.h"

namespace zylisp {

std::optional<int64_t> TSettingValue::ToInteger() const {
  // from_chars takes a '-' but no '+'; the whole text must be the number.
  const bool plus = text_.size() > 1 && text_[0] == '+' && text_[1] != '-';
  const char* first = text_.data() + (plus ? 1 : 0);
  const char* last = text_.data() + text_.size();
  int64_t value = 0;
  const std::from_chars_result r = std::from_chars(first, last, value);
  if (r.ec != std::errc() || r.ptr != last) return std::nullopt;
  return value;
}

void TISPSettings::ClearStore(uint8_t store) {
  items_.erase(std::remove_if(items_.begin(), items_.end(),
                              [store](const TSetting& s) { return s.Store == store; }),
               items_.end());
}

void TISPSettings::LoadStore(const std::string& keyPath, bool iniFlag, uint8_t store) {
  ClearStore(store);
  const std::string path = SettingsFilePath(keyPath, iniFlag);
  // Opening a key creates it; an ini file is only read.
  for (const TStoreEntry& e : ReadStoreFile(path, !iniFlag))
    SetValue(e.Section, e.Name, store, TSettingValue(e.Value));
}

void TISPSettings::SaveStore(const std::string& keyPath, bool iniFlag, uint8_t store) {
  const std::string path = SettingsFilePath(keyPath, iniFlag);
  // The new file replaces every section of the old one.
  std::vector<TStoreEntry> entries;
  for (const TSetting& s : items_) {
    if (s.Store == store) entries.push_back({s.Section, s.Ident, s.Value.AsString()});
  }
  WriteStoreFile(path, entries, !iniFlag);
}

void TISPSettings::UpdateStore(const std::string& keyPath, bool iniFlag, uint8_t store,
                               const std::function<void(TISPSettings&)>& change) {
  const TStoreLock lock(SettingsFilePath(keyPath, iniFlag), !iniFlag);
  LoadStore(keyPath, iniFlag, store);
  change(*this);
  SaveStore(keyPath, iniFlag, store);
}

void TISPSettings::SetValue(const std::string& section, const std::string& ident, uint8_t store,
                            const TSettingValue& value) {
  // Names match ignoring case, as GetValue matches them, so the table holds
  // one setting per name and a new value always replaces the one read back.
  for (TSetting& s : items_) {
    if (SameIgnoringCase(s.Ident, ident) && SameIgnoringCase(s.Section, section)) {
      s.Value = value;
      return;
    }
  }
  items_.push_back(TSetting{section, ident, store, value});
}

TSettingValue TISPSettings::GetValue(const std::string& section, const std::string& ident,
                                     const TSettingValue& defaultValue) const {
  for (const TSetting& s : items_) {
    if (SameIgnoringCase(s.Ident, ident) && SameIgnoringCase(s.Section, section)) return s.Value;
  }
  return defaultValue;
}

int64_t TISPSettings::GetInteger(const std::string& section, const std::string& ident,
                                 int64_t defaultValue, int64_t low, int64_t high) const {
  const std::optional<int64_t> value = GetValue(section, ident, defaultValue).ToInteger();
  return value && *value >= low && *value <= high ? *value : defaultValue;
}

}  // namespace zylisp
