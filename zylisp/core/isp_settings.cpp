#include "core/isp_settings.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <optional>

#include "core/errors.h"
#include "core/settings_store_file.h"

namespace zylisp {

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

enum class TNumberText { Whole, NotANumber, OutOfRange };

// Optional sign, then decimal digits only; the whole text must be used.
TNumberText ParseWhole(const std::string& s, int64_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const std::size_t digitsFrom = i;
  uint64_t magnitude = 0;
  const uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(INT64_MAX);
  bool fits = true;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    const auto digit = static_cast<uint64_t>(s[i] - '0');
    if (magnitude > (limit - digit) / 10) fits = false;
    if (fits) magnitude = magnitude * 10 + digit;
  }
  if (i == digitsFrom || i != s.size()) return TNumberText::NotANumber;
  if (!fits) return TNumberText::OutOfRange;
  if (!negative)
    value = static_cast<int64_t>(magnitude);
  else
    value = magnitude == (uint64_t{1} << 63) ? std::numeric_limits<int64_t>::min()
                                             : -static_cast<int64_t>(magnitude);
  return TNumberText::Whole;
}

}  // namespace

std::string TSettingValue::AsString() const {
  if (const auto* text = std::get_if<std::string>(&value_)) return *text;
  return std::to_string(std::get<int64_t>(value_));
}

int64_t TSettingValue::AsInteger() const {
  const auto* text = std::get_if<std::string>(&value_);
  if (!text) return std::get<int64_t>(value_);
  int64_t value = 0;
  switch (ParseWhole(*text, value)) {
    case TNumberText::Whole: return value;
    case TNumberText::NotANumber:
      throw EISPException("Setting value \"" + *text + "\" is not a whole decimal number");
    case TNumberText::OutOfRange: break;
  }
  throw EISPException("Setting value \"" + *text + "\" is out of range");
}

std::optional<int64_t> TSettingValue::ToInteger() const {
  const auto* text = std::get_if<std::string>(&value_);
  if (!text) return std::get<int64_t>(value_);
  int64_t value = 0;
  if (ParseWhole(*text, value) != TNumberText::Whole) return std::nullopt;
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
