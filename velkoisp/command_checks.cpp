#include "command_checks.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "option_table.h"
#include "zylisp.h"

namespace velkoisp {

namespace {

// What the tool says of the formats a read may write.
struct TFormatName {
  int32_t First;
  int32_t Last;
  const char* Name;
  const char* Option;     // the option that chooses it; null when none does
  const char* Extension;  // the usual extension of its files
};

const TFormatName kFormats[] = {
    {ZYL_FMT_INTEL_HEX, ZYL_FMT_INTEL_HEX_LINEAR, "Intel HEX", "--intel", "hex"},
    {ZYL_FMT_MOTOROLA_S1, ZYL_FMT_MOTOROLA_S3, "Motorola S-record", "--motorola", "s19"},
    {ZYL_FMT_EXTENDED_TEKTRONIX, ZYL_FMT_EXTENDED_TEKTRONIX, "extended Tektronix",
     "--exttektronix", "tek"},
    {ZYL_FMT_TEKTRONIX, ZYL_FMT_TEKTRONIX, "Tektronix", "--tektronix", "tek"},
    {ZYL_FMT_BINARY, ZYL_FMT_BINARY, "binary", "--binary", "bin"},
    {ZYL_FMT_BYTE_LIST, ZYL_FMT_BYTE_LIST, "byte list", nullptr, nullptr},
};

// File name extensions that name a format, and the formats they allow.
struct TExtension {
  const char* Extension;
  int32_t First;
  int32_t Last;
};

const TExtension kExtensions[] = {
    {"hex", ZYL_FMT_INTEL_HEX, ZYL_FMT_INTEL_HEX_LINEAR},
    {"ihx", ZYL_FMT_INTEL_HEX, ZYL_FMT_INTEL_HEX_LINEAR},
    {"ihex", ZYL_FMT_INTEL_HEX, ZYL_FMT_INTEL_HEX_LINEAR},
    {"s19", ZYL_FMT_MOTOROLA_S1, ZYL_FMT_MOTOROLA_S3},
    {"s28", ZYL_FMT_MOTOROLA_S1, ZYL_FMT_MOTOROLA_S3},
    {"s37", ZYL_FMT_MOTOROLA_S1, ZYL_FMT_MOTOROLA_S3},
    {"srec", ZYL_FMT_MOTOROLA_S1, ZYL_FMT_MOTOROLA_S3},
    {"mot", ZYL_FMT_MOTOROLA_S1, ZYL_FMT_MOTOROLA_S3},
    {"tek", ZYL_FMT_EXTENDED_TEKTRONIX, ZYL_FMT_TEKTRONIX},
    {"bin", ZYL_FMT_BINARY, ZYL_FMT_BINARY},
    {"raw", ZYL_FMT_BINARY, ZYL_FMT_BINARY},
    {"rom", ZYL_FMT_BINARY, ZYL_FMT_BINARY},
};

const TFormatName& FormatName(int32_t format) {
  for (const TFormatName& f : kFormats)
    if (format >= f.First && format <= f.Last) return f;
  return kFormats[0];
}

bool Is(const TCommand& command, const char* option) {
  return std::string(command.Row->Name) == option;
}

bool ReadsFile(const TCommand& command) {
  return Is(command, "programeeprom") || Is(command, "verifyeeprom");
}

// "--name=value" as the user gave it.
std::string Typed(const TCommand& command) {
  return std::string("--") + command.Row->Name + "=" + command.Text;
}

// The extension of the path's last component, empty when it has none.
std::string ExtensionOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

// The path with its extension replaced.
std::string Renamed(const std::string& path, const char* extension) {
  const std::string old = ExtensionOf(path);
  return path.substr(0, path.size() - old.size()) + extension;
}

// Why a read's file name promises another format than the one written;
// empty when it does not.
std::string ExtensionProblem(const TCommand& read) {
  const std::string extension = ExtensionOf(read.Text);
  for (const TExtension& e : kExtensions) {
    if (strcasecmp(e.Extension, extension.c_str()) != 0) continue;
    if (read.Format >= e.First && read.Format <= e.Last) return {};
    const TFormatName& written = FormatName(read.Format);
    const TFormatName& named = FormatName(e.First);
    std::string text = "Error: " + Typed(read) + " would be written as " + written.Name +
                       ", not as the ." + extension + " name says: put " + named.Option +
                       " before it";
    if (written.Extension) text += std::string(", or name the file ") + Renamed(read.Text, written.Extension);
    return text;
  }
  return {};
}

// Why the whole part does not fit a file of the read's format.
std::string CapacityProblem(const TCommand& read, const std::string& device, int32_t size) {
  const int32_t limit = Zyl_GetFormatLimit(static_cast<uint8_t>(read.Format));
  if (limit == 0 || size - 1 <= limit) return {};
  char reach[16];
  std::snprintf(reach, sizeof reach, "%X", static_cast<unsigned>(limit));
  return "Error: " + Typed(read) + ": " + FormatName(read.Format).Name +
         " files reach address " + reach + " only, the " + device + " holds " +
         std::to_string(size) + " bytes: put --intel, --motorola or --binary before it";
}

// Two paths that name one file: the same file system object, through a
// link or a hard link.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string SharedFileProblem(const TCommand& read, const TRunState& state) {
  for (const TCommand& other : state.CommandList) {
    if (!ReadsFile(other) || !SameFile(read.Text, other.Text)) continue;
    return "Error: " + Typed(read) + " would overwrite " + other.Text + ", which --" +
           other.Row->Name + " reads: read into another file";
  }
  return {};
}

}  // namespace

void CheckDataFiles(TRunState& state) {
  Zyl_SetIgnoreChecksums(state.IgnoreChecksums ? 1 : 0);
  for (const TCommand& command : state.CommandList) {
    if (!ReadsFile(command) || Zyl_CheckFile(command.Text.c_str(), 0) == 0) continue;
    const std::string detail = Zyl_GetErrorDetail();
    state.ErrorList.push_back("Error: " +
                              (detail.empty() ? "file " + command.Text + " cannot be used" : detail));
  }
}

void CheckCommandsFitThePart(TRunState& state) {
  const std::string& device = state.DeviceName;
  int32_t bus = 0, size = 0, page = 0;
  if (Zyl_GetDeviceInfo(device.c_str(), &bus, &size, &page) != 0) return;
  for (const TCommand& command : state.CommandList) {
    std::string problem;
    if (Is(command, "programstatus") && bus != ZYL_BUS_SPI) {
      problem = "Error: --programstatus: the " + device +
                " has no status register; only SPI parts (25 series) have one";
    } else if (Is(command, "programwriteall") && bus != ZYL_BUS_MICROWIRE) {
      problem = "Error: --programwriteall: the " + device +
                " is no Microwire part; only Microwire parts (93 series) write all locations"
                " at once (program a file of that value instead)";
    } else if (Is(command, "setpagesize") && (command.Byte == 0 || command.Byte > page)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(page & 0xFF));
      problem = "Error: " + Typed(command) + " asks for " + std::to_string(command.Byte) +
                " bytes (the value is hexadecimal); the " + device + " writes pages of " +
                std::to_string(page) + " bytes (--setpagesize=" + hex + ")";
    } else if (Is(command, "readeeprom")) {
      problem = CapacityProblem(command, device, size);
      if (problem.empty()) problem = ExtensionProblem(command);
      if (problem.empty()) problem = SharedFileProblem(command, state);
    }
    if (!problem.empty()) state.ErrorList.push_back(problem);
  }
}

}  // namespace velkoisp
