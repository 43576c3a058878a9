#include "option_parser.h"

#include <algorithm>
#include <ostream>

namespace velkoisp {

TOptionParser::TOptionParser(std::ostream& messages) : messages_(messages) {}

bool TOptionParser::IsNonOption(const std::string& element) const {
  return element.empty() || element[0] != '-' || element == "-";
}

std::string TOptionParser::FileName(const std::vector<std::string>& argv) const {
  if (argv.empty()) return {};
  const std::size_t slash = argv[0].rfind('/');
  return slash == std::string::npos ? argv[0] : argv[0].substr(slash + 1);
}

// The skipped non-options [first_nonopt_, last_nonopt_) and the options
// scanned after them [last_nonopt_, optind) change places, each run keeping
// its order.
void TOptionParser::Exchange(std::vector<std::string>& argv) {
  if (first_nonopt_ > last_nonopt_ || last_nonopt_ > optind ||
      optind > static_cast<int32_t>(argv.size())) {
    // The caller moved optind back: the remembered run no longer exists.
    first_nonopt_ = last_nonopt_ = optind;
    return;
  }
  std::rotate(argv.begin() + first_nonopt_, argv.begin() + last_nonopt_, argv.begin() + optind);
  first_nonopt_ += optind - last_nonopt_;
  last_nonopt_ = optind;
}

// Moves to the next element that holds options and sets nextchar_ to its
// text after the dashes. False when the call ends here with result.
bool TOptionParser::AdvanceToNextElement(int32_t argc, std::vector<std::string>& argv,
                                         bool hasLongOptions, int32_t& result) {
  result = -1;
  if (ended_) {
    // Already at the end: point at the permuted non-options again.
    optind = first_nonopt_ != last_nonopt_ ? first_nonopt_ : argc;
    return false;
  }
  if (ordering_ == TOrdering::PERMUTE) {
    if (first_nonopt_ != last_nonopt_ && last_nonopt_ != optind)
      Exchange(argv);
    else if (last_nonopt_ != optind)
      first_nonopt_ = optind;
    while (optind < argc && IsNonOption(argv[optind])) ++optind;
    last_nonopt_ = optind;
  }
  if (optind < argc && argv[optind] == "--") {
    // Everything after "--" is a non-option.
    ++optind;
    if (first_nonopt_ != last_nonopt_ && last_nonopt_ != optind)
      Exchange(argv);
    else if (first_nonopt_ == last_nonopt_)
      first_nonopt_ = optind;
    last_nonopt_ = optind = argc;
  }
  if (optind >= argc) {
    if (first_nonopt_ != last_nonopt_) optind = first_nonopt_;
    ended_ = true;
    return false;
  }
  if (IsNonOption(argv[optind])) {
    // Only without permutation.
    if (ordering_ == TOrdering::REQUIRE_ORDER) return false;
    optarg = argv[optind++];
    result = 1;
    return false;
  }
  nextchar_ = argv[optind].substr(1);
  if (hasLongOptions && argv[optind][1] == '-') nextchar_.erase(0, 1);
  return true;
}

int32_t TOptionParser::MissingArgument(const std::string& optstring) const {
  return !optstring.empty() && optstring[0] == ':' ? ':' : '?';
}

int32_t TOptionParser::LongOption(int32_t argc, std::vector<std::string>& argv,
                                  const std::string& optstring,
                                  const std::vector<TOption>& longopts, int32_t* longind) {
  const std::string element = argv[optind];
  const std::size_t eq = nextchar_.find('=');
  const std::string name = nextchar_.substr(0, eq);

  // An exact name wins; otherwise a single entry that begins with the name.
  int32_t found = -1;
  bool exact = false;
  bool ambiguous = false;
  if (!name.empty()) {
    for (std::size_t i = 0; i < longopts.size() && !longopts[i].name.empty(); ++i) {
      const std::string& candidate = longopts[i].name;
      if (candidate.compare(0, name.size(), name) != 0) continue;
      if (candidate.size() == name.size()) {
        found = static_cast<int32_t>(i);
        exact = true;
        break;
      }
      if (found < 0)
        found = static_cast<int32_t>(i);
      else
        ambiguous = true;
    }
  }
  if (ambiguous && !exact) {
    if (opterr) messages_ << FileName(argv) << ": option `" << element << "' is ambiguous\n";
    nextchar_.clear();
    ++optind;
    return '?';
  }
  if (found < 0) {
    if (opterr) messages_ << FileName(argv) << ": unrecognized option `--" << nextchar_ << "'\n";
    nextchar_.clear();
    ++optind;
    return '?';
  }

  const TOption& entry = longopts[static_cast<std::size_t>(found)];
  ++optind;
  if (eq != std::string::npos) {
    if (entry.has_arg == kNoArgument) {
      if (opterr)
        messages_ << FileName(argv) << ": option `--" << entry.name
                  << "' doesn't allow an argument\n";
      nextchar_.clear();
      return '?';
    }
    optarg = nextchar_.substr(eq + 1);
  } else if (entry.has_arg == kRequiredArgument) {
    if (optind < argc) {
      optarg = argv[optind++];
    } else {
      if (opterr)
        messages_ << FileName(argv) << ": option `" << element << "' requires an argument\n";
      nextchar_.clear();
      return MissingArgument(optstring);
    }
  }
  nextchar_.clear();
  if (longind) *longind = found;
  if (entry.flag) {
    *entry.flag = entry.val;
    return 0;
  }
  return entry.val;
}

int32_t TOptionParser::ShortOption(int32_t argc, std::vector<std::string>& argv,
                                   const std::string& optstring) {
  const char ch = nextchar_[0];
  nextchar_.erase(0, 1);
  if (nextchar_.empty()) ++optind;
  const std::string program = argv.empty() ? std::string() : argv[0];

  const std::size_t at = ch == ':' ? std::string::npos : optstring.find(ch);
  if (at == std::string::npos) {
    if (opterr) messages_ << program << ": invalid option -- " << ch << '\n';
    optopt = ch;
    return '?';
  }
  const bool takesArgument = at + 1 < optstring.size() && optstring[at + 1] == ':';
  const bool optional = takesArgument && at + 2 < optstring.size() && optstring[at + 2] == ':';
  if (takesArgument) {
    if (!nextchar_.empty()) {
      // The rest of the cluster is the argument.
      optarg = nextchar_;
      ++optind;
    } else if (!optional) {
      if (optind >= argc) {
        if (opterr) messages_ << program << ": option requires an argument -- " << ch << '\n';
        optopt = ch;
        return MissingArgument(optstring);
      }
      optarg = argv[optind++];
    }
    nextchar_.clear();
  }
  return static_cast<unsigned char>(ch);
}

int32_t TOptionParser::GetLongOpt(int32_t argc, std::vector<std::string>& argv,
                                  const std::string& optstring,
                                  const std::vector<TOption>& longopts, int32_t* longind) {
  argc = std::max<int32_t>(0, std::min<int32_t>(argc, static_cast<int32_t>(argv.size())));
  optarg.clear();

  // The ordering character is not an option letter.
  std::string letters = optstring;
  TOrdering requested = TOrdering::PERMUTE;
  if (!letters.empty() && letters[0] == '-') {
    requested = TOrdering::RETURN_IN_ORDER;
    letters.erase(0, 1);
  } else if (!letters.empty() && letters[0] == '+') {
    requested = TOrdering::REQUIRE_ORDER;
    letters.erase(0, 1);
  }

  if (optind == 0) {
    first_nonopt_ = last_nonopt_ = optind = 1;
    nextchar_.clear();
    ordering_ = requested;
    ended_ = false;
  }
  // A caller that moved optind past the end ends the current element too.
  if (optind >= argc) nextchar_.clear();

  const bool hasLongOptions = !longopts.empty() && !longopts[0].name.empty();
  if (nextchar_.empty()) {
    int32_t result = -1;
    if (!AdvanceToNextElement(argc, argv, hasLongOptions, result)) return result;
  }
  const std::string& element = argv[optind];
  if (hasLongOptions && element.size() > 1 && element[1] == '-')
    return LongOption(argc, argv, letters, longopts, longind);
  return ShortOption(argc, argv, letters);
}

}  // namespace velkoisp
