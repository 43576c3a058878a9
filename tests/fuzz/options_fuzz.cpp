// The command line of velkoisp. Header: bit 0 picks the whole option
// processing up to the execution step (0) or the parser alone (1); bits 1-3
// pick the parser's one-letter options. The rest is the arguments, split at
// NUL bytes. The run works in a scratch folder with a few data files, and
// arguments holding a '/' are not tried, so that no file elsewhere (a
// device, a pipe) is ever opened; name corpus folders and files to the
// harness by absolute paths. Nothing is executed.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <streambuf>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "option_parser.h"
#include "tool_run.h"

namespace {

class TDiscard : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

std::vector<std::string> Arguments(const std::string& text) {
  std::vector<std::string> args{"velkoisp"};
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\0', at), text.size());
    args.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return args;
}

bool SameElements(std::vector<std::string> a, std::vector<std::string> b) {
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  return a == b;
}

void PrepareOnly(std::vector<std::string> argv, std::ostream& out) {
  argv.push_back("");
  const std::vector<std::string> typed = argv;
  const velkoisp::TRunState state = velkoisp::PrepareRun(argv, out);
  fuzz::Require(SameElements(argv, typed), "option processing only reorders the arguments");
  fuzz::Require(state.ReadyToExecute == (state.ExitCode == 0), "a run ends or may execute");
  if (!state.ReadyToExecute) return;
  fuzz::Require(state.ErrorList.empty() && state.DeviceGiven && state.PortGiven,
                "a run goes on only with a device, a port and no error");
  const bool serial = state.PortName.compare(0, 3, "COM") == 0;
  fuzz::Require(state.Mode == (serial ? 1 : 2), "the port's kind decides the mode");
}

// Options with shared prefixes, every argument kind, flags and values.
std::vector<velkoisp::TOption> LongOptions(int32_t* flag) {
  using velkoisp::kNoArgument;
  using velkoisp::kOptionalArgument;
  using velkoisp::kRequiredArgument;
  return {{"verify", kNoArgument, nullptr, 'v'},     {"verbose", kNoArgument, flag, 2},
          {"value", kRequiredArgument, nullptr, 'x'}, {"port", kOptionalArgument, flag, 3},
          {"portable", kRequiredArgument, flag, 4},   {"p", kOptionalArgument, nullptr, 'p'},
          {}};
}

void ParserOnly(uint8_t header, std::vector<std::string> argv, std::ostream& out) {
  static const char* const kLetters[] = {"?h", "ab:c::", "+ab:c::", "-ab:c::",
                                         ":ab:c::", "+:v", "-:x::", ""};
  const std::string optstring = kLetters[(header >> 1) & 7];
  int32_t flag = 0;
  const std::vector<velkoisp::TOption> longopts = LongOptions(&flag);
  const std::vector<std::string> typed = argv;
  const int32_t argc = static_cast<int32_t>(argv.size());
  velkoisp::TOptionParser parser(out);
  std::size_t limit = 2;
  for (const std::string& a : argv) limit += a.size() + 1;
  int32_t c = 0;
  for (std::size_t calls = 0; (c = parser.GetLongOpt(argc, argv, optstring, longopts, nullptr)) != -1;
       ++calls) {
    fuzz::Require(calls < limit, "the parser comes to an end");
    fuzz::Require(parser.optind >= 0 && parser.optind <= argc, "optind stays in the vector");
  }
  fuzz::Require(parser.optind >= 1 && parser.optind <= argc, "optind ends in the vector");
  fuzz::Require(SameElements(argv, typed), "the parser only reorders the arguments");
  fuzz::Require(parser.GetLongOpt(argc, argv, optstring, longopts, nullptr) == -1,
                "after the end the parser keeps answering -1");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string folder = fuzz::ScratchFile("run");
  std::filesystem::create_directories(folder + "/fw");
  std::filesystem::create_directories(folder + "/empty");
  fuzz::WriteFile(folder + "/data.hex", ":0400000001020304F2\r\n:00000001FF\r\n");
  fuzz::WriteFile(folder + "/data.bin", std::string("\x01\x00\xFF", 3));
  fuzz::WriteFile(folder + "/fw/Tarnwick.exe", "");
  if (chdir(folder.c_str()) != 0) fuzz::Require(false, "the harness can enter its folder");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::TInput input(data, size);
  const uint8_t header = input.Byte();
  const std::string rest = input.Rest();
  if (rest.find('/') != std::string::npos) return -1;
  TDiscard discard;
  std::ostream out(&discard);
  if ((header & 1) == 0)
    PrepareOnly(Arguments(rest), out);
  else
    ParserOnly(header, Arguments(rest), out);
  return 0;
}
