#include "zylsim/emulator_config.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace zylsim {

namespace {

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

std::vector<std::string> Split(const std::string& s, const char* separators) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at; (at = s.find_first_of(separators, from)) != std::string::npos; from = at + 1)
    parts.push_back(s.substr(from, at - from));
  parts.push_back(s.substr(from));
  return parts;
}

// Decimal or 0x-prefixed hexadecimal, no sign, no trailing characters.
bool ParseNumber(const std::string& text, unsigned long max, unsigned long& out) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                            std::string::npos)
    return false;
  errno = 0;
  const unsigned long v = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
  if (errno != 0 || v > max) return false;
  out = v;
  return true;
}

void ParseFault(EmulatorConfig& config, const std::string& fault) {
  const std::vector<std::string> f = Split(fault, ":");
  const std::string& kind = f[0];
  bool* flag = kind == "silent" ? &config.silent : kind == "badecho" ? &config.badEcho
               : kind == "busy" ? &config.neverReady : nullptr;
  if (flag && f.size() == 1) {
    *flag = true;
  } else if (kind == "error" || kind == "ack") {
    unsigned long n = 0;
    if (f.size() != 4 || f[1].size() != 1 || f[3].size() != 1 || !ParseNumber(f[2], 1000000, n) || n == 0)
      throw ConfigError("bad fault '" + fault + "': expected " + kind +
                        ":C:N:K (C and K single characters, N >= 1)");
    config.errors.push_back({static_cast<uint8_t>(f[1][0]), static_cast<unsigned>(n),
                             static_cast<uint8_t>(f[3][0]), kind == "ack"});
  } else if (kind == "cut") {
    unsigned long n = 0;
    if (f.size() != 2 || !ParseNumber(f[1], 0xFFFFFFFFul, n) || n == 0)
      throw ConfigError("bad fault '" + fault + "': expected cut:N (N >= 1)");
    config.cutAfter = n;
  } else if (kind == "stuck") {
    unsigned long address = 0, mask = 0, value = 0;
    if (f.size() != 4 || !ParseNumber(f[1], 0xFFFFFFFFul, address) || !ParseNumber(f[2], 0xFF, mask) ||
        !ParseNumber(f[3], 0xFF, value))
      throw ConfigError("bad fault '" + fault + "': expected stuck:ADDR:MASK:VALUE (MASK, VALUE 0..255)");
    config.stuck.push_back({static_cast<uint32_t>(address), static_cast<uint8_t>(mask),
                            static_cast<uint8_t>(value)});
  } else {
    throw ConfigError("unknown fault '" + fault +
                      "' (known: silent, badecho, busy, error:C:N:K, ack:C:N:K, cut:N, "
                      "stuck:ADDR:MASK:VALUE)");
  }
}

}  // namespace

EmulatorConfig EmulatorConfig::Parse(const std::string& text) {
  EmulatorConfig config;
  for (const std::string& raw : Split(text, ",")) {
    const std::string item = Trim(raw);
    if (item.empty()) continue;
    const auto eq = item.find('=');
    if (eq == std::string::npos) throw ConfigError("bad setting '" + item + "': expected key=value");
    config.Set(Trim(item.substr(0, eq)), Trim(item.substr(eq + 1)));
  }
  config.Check();
  return config;
}

void EmulatorConfig::Set(const std::string& key, const std::string& value) {
  if (std::find(given_.begin(), given_.end(), key) != given_.end())
    throw ConfigError("setting '" + key + "' given twice");
  unsigned long n = 0;
  if (key == "device") {
    if (value.empty()) throw ConfigError("device= needs a chip name");
    device = value;
  } else if (key == "fitted") {
    if (value.empty()) throw ConfigError("fitted= needs a chip name or none");
    fitted = value;
  } else if (key == "image") {
    if (value.empty()) throw ConfigError("image= needs a file path");
    image = value;
  } else if (key == "org") {
    if (value != "8" && value != "16") throw ConfigError("bad org '" + value + "': expected 8 or 16");
    org = value == "8" ? 8 : 16;
  } else if (key == "firmware" || key == "identity") {
    if (value.empty() || value.size() > 32 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
      throw ConfigError("bad " + key + " '" + value + "': expected 1 to 32 printable characters");
    (key == "firmware" ? version : identity) = value;
  } else if (key == "pace") {
    if (value != "0" && value != "1") throw ConfigError("bad pace '" + value + "': expected 0 or 1");
    pace = value == "1";
  } else if (key == "latency") {
    if (!ParseNumber(value, 60000, n)) throw ConfigError("bad latency '" + value + "': expected 0 to 60000 ms");
    latencyMs = static_cast<unsigned>(n);
  } else if (key == "rxbuffer") {
    if (!ParseNumber(value, 1u << 20, n))
      throw ConfigError("bad rxbuffer '" + value + "': expected 0 (unbounded) to 1048576 bytes");
    rxBuffer = static_cast<unsigned>(n);
  } else if (key == "jedecid") {
    const bool hex = value.size() == 8 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X');
    if (!hex || !ParseNumber(value, 0xFFFFFF, n))
      throw ConfigError("bad jedecid '" + value + "': expected 0x and six hex digits (0xMMTTCC)");
    jedecId = static_cast<uint32_t>(n);
  } else if (key == "fault") {
    if (value.empty()) throw ConfigError("fault= needs at least one fault");
    for (const std::string& f : Split(value, "+;")) ParseFault(*this, Trim(f));
  } else {
    throw ConfigError("unknown setting '" + key +
                      "' (known: device, fitted, image, org, firmware, identity, pace, latency, rxbuffer, jedecid, fault)");
  }
  given_.push_back(key);
}

void EmulatorConfig::Check() const {
  if (device.empty()) throw ConfigError("device= is required");
}

}  // namespace zylsim
