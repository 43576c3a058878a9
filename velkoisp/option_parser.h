// Long-option parser of the command-line tool: long options with unambiguous
// abbreviations, clusters of one-letter options, and non-option elements
// moved behind the options so that options may stand anywhere.
//
// One parser object holds the scanning state of one command line; each call
// of GetLongOpt returns the next option. Messages go to the stream given at
// construction (the tool's standard output).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace velkoisp {

// One entry of a long-option table; an entry with an empty name ends it.
struct TOption {
  std::string name;      // without the leading "--"
  uint8_t has_arg = 0;   // kNoArgument, kRequiredArgument, kOptionalArgument
  int32_t* flag = nullptr;  // when set, a match stores val here and returns 0
  int32_t val = 0;
};

constexpr uint8_t kNoArgument = 0;
constexpr uint8_t kRequiredArgument = 1;
constexpr uint8_t kOptionalArgument = 2;  // only as --name=value

// How non-option elements are treated.
enum class TOrdering {
  REQUIRE_ORDER = 0,    // the first non-option ends the options
  PERMUTE = 1,          // non-options are moved behind the options
  RETURN_IN_ORDER = 2,  // each non-option is returned as option 1
};

class TOptionParser {
 public:
  explicit TOptionParser(std::ostream& messages);

  // The next option of argv[1..argc-1]; argv may be reordered in place and
  // must hold at least argc entries.
  //   optstring: one-letter options; "x:" takes a required argument, "x::"
  //     an optional one; a leading "+" selects REQUIRE_ORDER, a leading "-"
  //     RETURN_IN_ORDER; a leading ":" (after those) makes a missing
  //     required argument return ':' instead of '?'.
  //   longopts: the long options, ended by an entry with an empty name (the
  //     end of the vector ends it as well).
  //   longind: receives the table index of every long option matched.
  // Returns 0 for a long option with a flag, its val for one without, the
  // letter of a one-letter option, '?' for an error, ':' as said above, 1
  // for a non-option with RETURN_IN_ORDER (the element is in optarg), and -1
  // when no options remain: then argv[optind..argc-1] are the non-options in
  // the order typed. Later calls return -1 again without rescanning.
  int32_t GetLongOpt(int32_t argc, std::vector<std::string>& argv, const std::string& optstring,
                     const std::vector<TOption>& longopts, int32_t* longind);

  std::string optarg;  // argument of the option just returned
  int32_t optind = 0;  // next element to scan; 0 starts a new scan
  bool opterr = true;  // print messages
  char optopt = '?';   // the letter of the last failing one-letter option

 private:
  bool IsNonOption(const std::string& element) const;
  void Exchange(std::vector<std::string>& argv);
  bool AdvanceToNextElement(int32_t argc, std::vector<std::string>& argv, bool hasLongOptions,
                            int32_t& result);
  int32_t LongOption(int32_t argc, std::vector<std::string>& argv, const std::string& optstring,
                     const std::vector<TOption>& longopts, int32_t* longind);
  int32_t ShortOption(int32_t argc, std::vector<std::string>& argv, const std::string& optstring);
  int32_t MissingArgument(const std::string& optstring) const;

  // The program's file name without its directory, for long-option messages.
  std::string FileName(const std::vector<std::string>& argv) const;

  std::ostream& messages_;
  std::string nextchar_;  // the rest of the current element not yet scanned
  int32_t first_nonopt_ = 1;
  int32_t last_nonopt_ = 1;
  TOrdering ordering_ = TOrdering::PERMUTE;
  bool ended_ = false;  // -1 was returned after the last element
};

}  // namespace velkoisp
