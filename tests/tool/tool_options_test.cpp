// velkoisp's command line: the help text, the parser's messages, the
// errors found before anything runs, and the ways a run ends.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "tool_fixture.h"

using namespace tool_testing;
using testing_support::TempDir;

namespace {

const std::string kHelp =
    "Required Options:\n"
    "\n"
    " --port=[LPT1,LPT2,LPT3,COM1,COM2,COM3,COM4]\n"
    " --device=DEVICENAME\n"
    "\n"
    "Optional Arguments\n"
    "\n"
    "[--intel] [--motorola] [--tektronix] [--binary] (Output file format)\n"
    "\n"
    "Programming Commands:\n"
    "\n"
    " --mcureset=xx            --programmode=XX  (93C, default is 8)\n"
    " --programeeprom=filename --verifyeeprom=filename\n"
    " --readeeprom=filename\n"
    " --programwriteall=xx\n"
    " --programstatus=XX       --readstatus\n"
    " --eraseall\n"
    "\n"
    " --setbusaddress=xx       --setpagesize=xx\n"
    " --setprogramspeed=xx     --seteedelay=xx\n"
    " --updatefw=<path>\n"
    "\n"
    "\n"
    "Note: Programming commands are executed in the order that they are entered on the "
    "commandline\n"
    "\n"
    "Devices Supported in this release:\n"
    "\n"
    "* 24C00         * 24C01         * 24WC01        * 24C02         * 24WC02        "
    "* 24C04         * 24WC04        * 24C08         * 24WC08        * 24C16         "
    "* 24WC16        * 24C32         * 24WC32        * 24C64         * 24WC64        "
    "* 24C128        * 24WC128       * 24C256        * 24WC256       * 24C512        "
    "* 24C1024       * 25C010        * 25010         * 25010 (AT)    * 25C01         "
    "* 25C020        * 25020         * 25C02         * 25C040        * 25C04         "
    "* 25040         * 25C080        * 25C08         * 25C160        * 25C16         "
    "* 25C320        * 25C32         * 25C640        * 25C64         * 25C128        "
    "* 25C256        * 25256         * 25HP256       * 25HP512       * 93C06         "
    "* 93C46         * 93C56         * 93C57         * 93C66         * 93C76         "
    "* 93C86         \n";

// Started through a link of another name: the messages still name the
// program's own file, the one-letter ones by its full path.
TEST(HelpText, FollowsHelpOptionsAndEveryParserMessage) {
  TempDir dir;
  const std::string link = dir.File("vk");
  ASSERT_EQ(symlink(VELKOISP_PATH, link.c_str()), 0);
  char real[PATH_MAX];
  ASSERT_NE(realpath(VELKOISP_PATH, real), nullptr);
  const struct {
    std::vector<std::string> args;
    std::string message;
  } rows[] = {
      {{"--help"}, ""},
      {{"-h"}, ""},
      {{"-?", "--device=24C16"}, ""},
      {{"--help=port"}, ""},
      {{"--hel=device", "--port=LPT1"}, ""},
      {{"--readeprom=a.hex"}, "velkoisp: unrecognized option `--readeprom=a.hex'\n"},
      {{"--prog=a.hex"}, "velkoisp: option `--prog=a.hex' is ambiguous\n"},
      {{"--de=X"}, "velkoisp: option `--de=X' is ambiguous\n"},
      {{"--eraseall=1"}, "velkoisp: option `--eraseall' doesn't allow an argument\n"},
      {{"-hx"}, std::string(real) + ": invalid option -- x\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[0]);
    const RunResult run = ChildProcess(link, row.args).Finish();
    ExpectCleanOutput(run);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(AfterBanner(run.out), row.message + kHelp);
  }
}

TEST(ErrorList, ListsEveryErrorInTheOrderItArose) {
  TempDir dir;
  const RunResult run = RunVelkoisp(
      {"--programeeprom", "--verifyeeprom=" + dir.File("none.hex"), "--setbusaddress=zz",
       "--programmode=abc", "--readeeprom", "--programeeprom=" + dir.Path(), "--device",
       "--mcureset=", "--updatefw=" + dir.Path(), "--verifyeeprom"});
  ExpectCleanOutput(run);
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(AfterBanner(run.out),
            "Error: No File Specified for eeprom Programming\n"
            "Error: file " + dir.File("none.hex") + " does not exist\n"
            "Error: invalid value \"zz\" for --setbusaddress (a hexadecimal byte, 00 to FF)\n"
            "Error: invalid value \"abc\" for --programmode (8 or 16)\n"
            "Error: No File Specified for eeprom Reading\n"
            "Error: file " + dir.Path() + " cannot be read\n"
            "Error: Device requires an argument. (for help: --help=device)\n"
            "Error: requires an argument. (for help: --help=device)\n"
            "Error: file " + dir.Path() + " does not exist or invalid (the folder " + dir.Path() +
                " holds no Tarnwick.exe)\n"
            "Error: No File Specified for eeprom Verification\n"
            "Error: Invalid device specified. (For help: --help=device)\n"
            "Error: Invalid port specified.  (For help: --help=port)\n"
            "\n");
}

struct EndCase {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the test's folder, here and in expected
  std::string chip;               // a chip on the simulated LPT1, if any
  int status;
  std::vector<std::string> expected;  // in this order after the banner
  std::string absent;
};

std::ostream& operator<<(std::ostream& os, const EndCase& c) { return os << c.name; }

class RunEnds : public ::testing::TestWithParam<EndCase> {};

TEST_P(RunEnds, AsTheCommandLineSays) {
  const EndCase& c = GetParam();
  TempDir dir;
  testing_support::WriteFile(dir.File("data.bin"), "\x01\x02\x03");
  testing_support::WriteFile(dir.File("bad.hex"), ":0400000001020304F2\n:04000\n:00000001FF\n");
  testing_support::WriteFile(dir.File("empty.hex"), "");
  mkdir(dir.File("fw").c_str(), 0755);
  testing_support::WriteFile(dir.File("fw/tarnwick.EXE"), "#!/bin/sh\nexit 0\n");
  chmod(dir.File("fw/tarnwick.EXE").c_str(), 0755);
  mkdir(dir.File("fwbad").c_str(), 0755);
  testing_support::WriteFile(dir.File("fwbad/Tarnwick.exe"), "#!/bin/sh\nexit 3\n");
  chmod(dir.File("fwbad/Tarnwick.exe").c_str(), 0755);
  ASSERT_EQ(link(dir.File("data.bin").c_str(), dir.File("hard.bin").c_str()), 0);
  // A record at 0800, past the 24C16's 2048 bytes.
  testing_support::WriteFile(dir.File("beyond.hex"), ":01080000AB4C\n:00000001FF\n");
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  // Checksum 00 where F2 belongs.
  testing_support::WriteFile(dir.File("sum.hex"), ":040000000102030400\n:00000001FF\n");
  const auto inFolder = [&dir](std::string text) {
    for (auto at = text.find('@'); at != std::string::npos;
         at = text.find('@', at + dir.Path().size()))
      text.replace(at, 1, dir.Path());
    return text;
  };
  std::vector<std::string> args;
  for (const std::string& a : c.args) args.push_back(inFolder(a));
  const testing_support::ScopedEnv config("XDG_CONFIG_HOME", dir.Path().c_str());
  const testing_support::ScopedEnv chip(
      "ZYLISP_LPT_SIM", c.chip.empty() ? nullptr : (c.chip + ",image=" + dir.File("chip")).c_str());
  const RunResult run = RunVelkoisp(args);
  ExpectCleanOutput(run);
  EXPECT_EQ(run.status, c.status);
  std::size_t at = 0;
  for (const std::string& expected : c.expected) {
    const std::string text = inFolder(expected);
    at = run.out.find(text, at);
    ASSERT_NE(at, std::string::npos) << "missing: " << text << "\nin:\n" << run.out;
    at += text.size();
  }
  if (!c.absent.empty()) {
    EXPECT_EQ(run.out.find(c.absent), std::string::npos) << run.out;
  }
}

const std::string kChip = "device=24C16";
const std::string kOpened = "Programmer Firmware Version : 000A\n\n";

// The 24C16 on the simulated LPT1, then these options.
std::vector<std::string> OnChip(std::vector<std::string> options) {
  options.insert(options.begin(), {"--device=24C16", "--port=LPT1"});
  return options;
}

std::vector<std::string> Many(int n, const std::vector<std::string>& tail) {
  std::vector<std::string> args(static_cast<std::size_t>(n), "--quiet");
  args.insert(args.end(), tail.begin(), tail.end());
  return args;
}

// Ended without the programmer opened: its version line never shows.
EndCase Refused(const char* name, std::vector<std::string> args,
                std::vector<std::string> expected) {
  return {name, std::move(args), kChip, 255, std::move(expected), "Programmer"};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunEnds,
    ::testing::Values(
        EndCase{"NoArguments", {}, "", 255, {"\n\nFor usage information type: velkoisp --help\n\n"},
                "Required"},
        EndCase{"OnlyDeviceAndPort", {"--device=24c16", "--port=lpt1"}, kChip, 0, {kOpened}, ""},
        // Every part with its properties, one line each; nothing else runs.
        EndCase{"ListDevices", {"--listdevices", "--eraseall"}, kChip, 0,
                {"Name         Family         Size  Page ID     Aliases\n"
                 "24C00        I2C EEPROM     16 B     1 -      24AA00, 24LC00\n",
                 "\nW25Q64JV     SPI flash     8 MiB   256 EF4017\n",
                 "\nAT45DB041    DataFlash   528 KiB   264 1F2400 AT45DB041D, AT45DB041E\n",
                 " parts; --device takes a name or an alias, in any letter case\n"},
                "Programmer"},
        // A flash part names itself by its ID, or describes itself by its
        // SFDP table; an EEPROM cannot, but its bus addresses answer.
        EndCase{"DetectByJedecId", {"--port=lpt1", "--detect"}, "device=W25Q64JV", 0,
                {"Detecting the chip: SPI flash with ID EF4017: W25Q64FV, W25Q64JV (8 MiB); "
                 "these parts share the ID: choose one with --device OK \n"},
                "Error"},
        EndCase{"DetectBySfdp", {"--port=lpt1", "--detect"}, "device=W25Q128JV,jedecid=0x5E7018", 0,
                {"Detecting the chip: SPI flash with ID 5E7018, which no part here has; its SFDP "
                 "table describes 16 MiB in 256-byte pages (the part \"SFDP 5E7018\" while this "
                 "program runs) OK \n"},
                "Error"},
        EndCase{"DetectNoFlash", {"--port=lpt1", "--detect"}, "device=24C02", 255,
                {"Detecting the chip:  failed (Device not supported or recognised)\n"
                 "Error: no SPI flash answers: EEPROMs and Microwire parts cannot be detected, "
                 "choose one with --device; on the I2C bus, address 0x50 acknowledges\n"},
                ""},
        // A marking of another maker selects the part it stands for.
        EndCase{"DeviceByAlias", {"--device=at24c256", "--port=lpt1", "--readeeprom=@/a.hex"},
                "device=24C256", 0, {kOpened, "Reading eeprom into @/a.hex: "}, "Error"},
        Refused("PortNotFound", {"--device=24C16", "--port=FOO"},
                {"\n\nInvalid File type or File not found, access denied etc.\n"
                 "Error: there is no port FOO here; the parallel ports are LPT1\n"}),
        EndCase{"ProgrammerCannotOpen", OnChip({}), kChip + ",firmware=0009", 255,
                {"Firmware update is required for the DLL to work with this programmer\n"},
                "Programmer"},
        Refused("StrayWordsRefused",
                {"data.bin", "--device=24C16", "--port=LPT1", "--eraseall", "x"},
                {"non-option ARGV-elements: data.bin x \n",
                 "non-option ARGV-elements: data.bin x \n",
                 "Error: unexpected argument \"data.bin\" (options are written --name=value)\n"
                 "Error: unexpected argument \"x\" (options are written --name=value)\n\n"}),
        Refused("DoubleDashEndsTheOptions", OnChip({"--", "--eraseall"}),
                {"non-option ARGV-elements: --eraseall \n",
                 "Error: unexpected argument \"--eraseall\""}),
        Refused(
            "ThreeDigitByteValue", OnChip({"--setpagesize=100"}),
            {"Error: invalid value \"100\" for --setpagesize (a hexadecimal byte, 00 to FF)\n"}),
        Refused("ByteValueWithTrailingText", OnChip({"--setbusaddress=A2xyz", "--eraseall"}),
                {"Error: invalid value \"A2xyz\" for --setbusaddress"}),
        Refused("ProgrammingModeNeither8Nor16", OnChip({"--programmode=12"}),
                {"Error: invalid value \"12\" for --programmode (8 or 16)\n"}),
        Refused("DamagedHexFile", OnChip({"--programeeprom=@/bad.hex"}),
                {"Error: @/bad.hex line 2"}),
        Refused("EmptyDataFile", OnChip({"--verifyeeprom=@/empty.hex"}),
                {"Error: @/empty.hex holds no data\n"}),
        Refused("ReadIntoMissingFolder", OnChip({"--readeeprom=@/none/back.bin"}),
                {"Error: cannot write @/none/back.bin: No such file or directory\n"}),
        EndCase{"AbbreviationAccepted", {"--programe=@/data.bin", "--devi=24C16", "--por=LPT1"},
                kChip, 0, {"Programming EEPROM with @/data.bin:  OK \n"}, ""},
        EndCase{"OneDigitByteValue", OnChip({"--setbusaddress=5"}), kChip, 0,
                {"Setting Bus Address value to 05 OK \n"}, ""},
        EndCase{"UpdaterNameMatchedWithoutCase", OnChip({"--updatefw=@/fw"}), kChip, 0,
                {"Updating the programmer FW from the following path @/fw:  OK \n"}, ""},
        EndCase{"UpdaterThatFails", OnChip({"--updatefw=@/fwbad"}), kChip, 255,
                {"Updating the programmer FW from the following path @/fwbad:  failed (Operation "
                 "Failed)\nError: @/fwbad/Tarnwick.exe ended with exit status 3\n"},
                ""},
        // Commands that do not fit the part, or each other, run nothing.
        Refused("StatusWriteToMicrowire", {"--device=93C46", "--port=LPT1", "--programstatus=5A"},
                {"Error: --programstatus: the 93C46 has no status register"}),
        Refused("WriteAllToSpi", {"--device=25C640", "--port=LPT1", "--programwriteall=8C"},
                {"Error: --programwriteall: the 25C640 is no Microwire part"}),
        Refused("PageSizeAboveTheWritePage", OnChip({"--setpagesize=16"}),
                {"Error: --setpagesize=16 asks for 22 bytes (the value is hexadecimal); the 24C16 "
                 "writes pages of 16 bytes (--setpagesize=10)\n"}),
        Refused("ReadOverTheFileToProgram",
                OnChip({"--binary", "--readeeprom=@/data.bin", "--programeeprom=@/data.bin"}),
                {"Error: --readeeprom=@/data.bin would overwrite @/data.bin, which --programeeprom "
                 "reads: read into another file\n"}),
        Refused("ReadOverAHardLinkOfTheFileToVerify",
                OnChip({"--verifyeeprom=@/data.bin", "--binary", "--readeeprom=@/hard.bin"}),
                {"Error: --readeeprom=@/hard.bin would overwrite"}),
        Refused("FormatThatCannotHoldThePart",
                {"--device=24C1024", "--port=LPT1", "--tektronix", "--readeeprom=@/x.tek"},
                {"Error: --readeeprom=@/x.tek: Tektronix files reach address FFFF only, the "
                 "24C1024 holds 131072 bytes: put --intel, --motorola or --binary before it\n"}),
        Refused("BinaryNameWrittenAsHex", OnChip({"--readeeprom=@/backup.bin"}),
                {"Error: --readeeprom=@/backup.bin would be written as Intel HEX, not as the .bin "
                 "name says: put --binary before it, or name the file @/backup.hex\n"}),
        Refused("HexNameWrittenAsBinary", OnChip({"--binary", "--readeeprom=@/y.hex"}),
                {"Error: --readeeprom=@/y.hex would be written as binary, not as the .hex name "
                 "says: put --intel before it, or name the file @/y.bin\n"}),
        EndCase{"FailedStatusReadIsNoStatus", {"--device=25C640", "--port=LPT1", "--readstatus"},
                "device=25C640,fault=error:r:1:T", 255,
                {"Reading status byte failed (Hardware not responding)\n"}, "Status="},
        EndCase{"VerifyListsTheDifferences",
                OnChip({"--programeeprom=@/data.bin", "--verifyeeprom=@/data.bin"}),
                kChip + ",fault=stuck:1:255:0", 255,
                {"Verifying eeprom against @/data.bin:  failed (Verify failed)\n"
                 "1 byte differs between chip and file:\n0001: chip 00, file 02\n"},
                ""},
        EndCase{"NoChipAnswersAtTheBusAddress",
                OnChip({"--setbusaddress=b0", "--binary", "--readeeprom=@/n.bin"}), kChip, 255,
                {"Reading eeprom into @/n.bin:  failed (Device not responding)\nError: no "
                 "acknowledge at bus address B0: check the device type and the chip's address "
                 "pins\n"},
                ""},
        // Each fault of the adapter or its link in the adapter's own words.
        EndCase{"AdapterRefusesACommand", OnChip({"--programeeprom=@/data.bin"}),
                kChip + ",fault=error:w:3:!", 255,
                {"Programming EEPROM with @/data.bin:  failed (Hardware not responding)\n"
                 "Error: Command not known here\n"},
                ""},
        EndCase{"WriteCycleNeverEndsMidway", OnChip({"--eraseall"}), kChip + ",fault=error:W:3:T",
                255,
                {"Erasing Device:  failed (Hardware not responding)\nError: Program/erase BUSY "
                 "timed out; the chip is now partly written: about 16 of 2048 bytes were written "
                 "before the failure\n"},
                ""},
        EndCase{"LinkGarbled", OnChip({"--eraseall"}), kChip + ",fault=badecho", 255,
                {"Hardware not responding, check connections and port settings\n"
                 "Error: Communications with ISP failed during this operation\n"},
                ""},
        EndCase{"LinkCutMidway", OnChip({"--eraseall"}), kChip + ",fault=cut:200", 255,
                {"Erasing Device:  failed (Hardware not responding)\nError: Communications with "
                 "ISP failed during this operation; the chip is now partly written: about 656 of "
                 "2048 bytes were written before the failure\n"},
                ""},
        EndCase{"ChipNeverReady", OnChip({"--eraseall"}), kChip + ",fault=busy", 255,
                {"device not responding to programming command\nError: no chip acknowledges on "
                 "the I2C bus: check that it is fitted, the device type and the chip's address "
                 "pins\n"},
                ""},
        EndCase{"AdapterSilent", OnChip({"--eraseall"}), kChip + ",fault=silent", 255,
                {"Hardware not responding, check connections and port settings\n"
                 "Error: Programmer was not detected\n"},
                ""},
        // Files that cannot fit or cannot be read end the run before the erase.
        Refused("DataBeyondThePart", OnChip({"--eraseall", "--programeeprom=@/beyond.hex"}),
                {"Error: @/beyond.hex line 1: address 0800 is beyond the 24C16, which holds 2048 "
                 "bytes\n"}),
        Refused("DeviceAsDataFile", OnChip({"--eraseall", "--verifyeeprom=/dev/zero"}),
                {"Error: Cannot read file /dev/zero: it is a device, not a data file\n"}),
        Refused("FifoNobodyWrites", OnChip({"--eraseall", "--programeeprom=@/fifo"}),
                {"Error: Cannot read file @/fifo: it is a FIFO that no program writes\n"}),
        EndCase{"ReadIntoAFifoNobodyReads", OnChip({"--binary", "--readeeprom=@/fifo"}), kChip, 255,
                {"Reading eeprom into @/fifo:  failed (Operation Failed)\nError: cannot write "
                 "@/fifo: it is a FIFO that no program reads\n"},
                ""},
        EndCase{"WrongChecksumIgnored", OnChip({"--programeeprom=@/sum.hex", "--ignorechecksums"}),
                kChip, 0, {"Programming EEPROM with @/sum.hex:  OK \n"}, ""},
        EndCase{"WaitReadsALine", {"--wait"}, "", 255, {"\nPress Enter key to continue...\n"}, ""},
        Refused("TooManyArguments", Many(62, OnChip({})),
                {"Error: too many arguments (64); at most 63 are accepted, nothing was run\n"}),
        EndCase{"SixtyThreeArguments", Many(61, OnChip({})), kChip, 0, {kOpened}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
