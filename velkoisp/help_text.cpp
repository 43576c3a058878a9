#include "help_text.h"

#include <ostream>

namespace velkoisp {

namespace {

const char* const kHelpLines[] = {
    "Required Options:",
    "",
    " --port=[LPT1,LPT2,LPT3,COM1,COM2,COM3,COM4]",
    " --device=DEVICENAME",
    "",
    "Optional Arguments",
    "",
    "[--intel] [--motorola] [--tektronix] [--binary] (Output file format)",
    "",
    "Programming Commands:",
    "",
    " --mcureset=xx            --programmode=XX  (93C, default is 8)",
    " --programeeprom=filename --verifyeeprom=filename",
    " --readeeprom=filename",
    " --programwriteall=xx",
    " --programstatus=XX       --readstatus",
    " --eraseall",
    "",
    " --setbusaddress=xx       --setpagesize=xx",
    " --setprogramspeed=xx     --seteedelay=xx",
    " --updatefw=<path>",
    "",
    "",
    "Note: Programming commands are executed in the order that they are entered on the commandline",
    "",
    "Devices Supported in this release:",
    "",
};

// Device names stand in columns of this width, after "* ".
constexpr std::size_t kNameWidth = 14;

}  // namespace

void PrintHelp(std::ostream& out, const std::vector<TSupportedDevice>& devices) {
  for (const char* line : kHelpLines) out << line << '\n';
  for (const TSupportedDevice& device : devices) {
    out << "* " << device.Name;
    if (device.Name.size() < kNameWidth) out << std::string(kNameWidth - device.Name.size(), ' ');
  }
  out << '\n';
}

}  // namespace velkoisp
