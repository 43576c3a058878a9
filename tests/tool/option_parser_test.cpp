// The long-option parser on its own: orderings, permutation, arguments,
// abbreviations and its messages.
#include <gtest/gtest.h>

#include <sstream>

#include "option_parser.h"

using velkoisp::TOption;
using velkoisp::TOptionParser;

namespace {

struct ParseCase {
  const char* name;
  std::string optstring;
  std::vector<std::string> args;  // after the program's path
  std::string returns;            // each result, "=" and optarg when there is one
  std::string after;              // argv[1..] at the end
  int optind;                     // where the non-options start at the end
  std::string messages;
};

std::ostream& operator<<(std::ostream& os, const ParseCase& c) { return os << c.name; }

// "dev" stands after the longer names that begin with it.
const std::vector<TOption> kTable = {
    {"x", 0, nullptr, 'x'},      {"y", 0, nullptr, 'y'},      {"file", 1, nullptr, 'f'},
    {"device", 2, nullptr, 'd'}, {"devtype", 2, nullptr, 't'}, {"dev", 2, nullptr, 'v'},
    {"eraseall", 0, nullptr, 'e'}, {"twin", 0, nullptr, 'w'}, {"twin", 0, nullptr, 'w'},
    {},
};

std::string Join(const std::vector<std::string>& parts, std::size_t from) {
  std::string text;
  for (std::size_t i = from; i < parts.size(); ++i) text += (i > from ? " " : "") + parts[i];
  return text;
}

class ParserTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParserTest, ReturnsOptionsReordersAndReports) {
  const ParseCase& c = GetParam();
  std::vector<std::string> argv = {"/opt/tools/prog"};
  argv.insert(argv.end(), c.args.begin(), c.args.end());
  const int argc = static_cast<int>(argv.size());
  argv.push_back("");
  std::ostringstream messages;
  TOptionParser parser(messages);

  std::vector<std::string> returns;
  for (int guard = 0; guard < 50; ++guard) {
    int index = -1;
    const int r = parser.GetLongOpt(argc, argv, c.optstring, kTable, &index);
    if (r == -1) break;
    std::string one = r == 1 ? "1" : std::string(1, static_cast<char>(r));
    if (!parser.optarg.empty()) one += "=" + parser.optarg;
    returns.push_back(one);
  }
  EXPECT_EQ(Join(returns, 0), c.returns);
  EXPECT_EQ(Join(std::vector<std::string>(argv.begin(), argv.begin() + argc), 1), c.after);
  EXPECT_EQ(parser.optind, c.optind);
  EXPECT_EQ(messages.str(), c.messages);

  // After the end: -1 again at once, pointing at the non-options, no rescan.
  int index = -1;
  EXPECT_EQ(parser.GetLongOpt(argc, argv, c.optstring, kTable, &index), -1);
  EXPECT_EQ(parser.optind, c.optind);
  EXPECT_EQ(messages.str(), c.messages);
}

INSTANTIATE_TEST_SUITE_P(
    Scanning, ParserTest,
    ::testing::Values(
        ParseCase{"NonOptionsMoveBehind", "", {"a", "--x", "b", "--y"}, "x y", "--x --y a b", 3, ""},
        ParseCase{"RunsOfOptionsKeepTheirOrder", "ab", {"p", "q", "-a", "--x", "r", "-b", "--y"},
                  "a x b y", "-a --x -b --y p q r", 5, ""},
        ParseCase{"DoubleDashEndsOptions", "", {"a", "--x", "--", "-y", "--x"}, "x",
                  "--x -- a -y --x", 3, ""},
        ParseCase{"LoneDashIsANonOption", "", {"-", "--x"}, "x", "--x -", 2, ""},
        ParseCase{"NoNonOptions", "", {"--x", "--y"}, "x y", "--x --y", 3, ""},
        ParseCase{"RequireOrderStopsAtANonOption", "+", {"--x", "a", "--y"}, "x", "--x a --y", 2,
                  ""},
        ParseCase{"ReturnInOrderHandsOverNonOptions", "-", {"a", "--x", "b"}, "1=a x 1=b",
                  "a --x b", 4, ""},
        ParseCase{"ClusterOfLetters", "ab", {"-ab", "c"}, "a b", "-ab c", 2, ""},
        ParseCase{"LetterArgumentInClusterOrNext", "f:g:", {"-fone", "-g", "two"}, "f=one g=two",
                  "-fone -g two", 4, ""},
        ParseCase{"LetterOptionalArgumentOnlyAttached", "o::", {"-oX", "-o", "Y"}, "o=X o",
                  "-oX -o Y", 3, ""},
        ParseCase{"LongArgumentWithEqualsOrNext", "", {"--file=a=b", "--file", "c"},
                  "f=a=b f=c", "--file=a=b --file c", 4, ""},
        ParseCase{"OptionalLongArgumentOnlyWithEquals", "", {"--device", "X", "--device="}, "d d",
                  "--device --device= X", 3, ""},
        ParseCase{"AbbreviationAndExactMatch", "", {"--devi=A", "--devt", "--dev=B", "--era"},
                  "d=A t v=B e", "--devi=A --devt --dev=B --era", 5, ""},
        ParseCase{"Ambiguous", "", {"--de=X", "--tw"}, "? ?", "--de=X --tw", 3,
                  "prog: option `--de=X' is ambiguous\nprog: option `--tw' is ambiguous\n"},
        ParseCase{"ArgumentNotAllowed", "", {"--era=1"}, "?", "--era=1", 2,
                  "prog: option `--eraseall' doesn't allow an argument\n"},
        ParseCase{"LongArgumentMissing", "", {"--fi"}, "?", "--fi", 2,
                  "prog: option `--fi' requires an argument\n"},
        ParseCase{"LongArgumentMissingWithColon", ":", {"--file"}, ":", "--file", 2,
                  "prog: option `--file' requires an argument\n"},
        ParseCase{"Unrecognised", "", {"--=x", "--nothing=1"}, "? ?", "--=x --nothing=1", 3,
                  "prog: unrecognized option `--=x'\nprog: unrecognized option `--nothing=1'\n"},
        ParseCase{"InvalidLetterInCluster", "?h", {"-hx"}, "h ?", "-hx", 2,
                  "/opt/tools/prog: invalid option -- x\n"},
        ParseCase{"LetterArgumentMissing", "f:", {"-f"}, "?", "-f", 2,
                  "/opt/tools/prog: option requires an argument -- f\n"},
        ParseCase{"ColonIsNeverALetter", ":f:", {"-:", "-f"}, "? :", "-: -f", 3,
                  "/opt/tools/prog: invalid option -- :\n"
                  "/opt/tools/prog: option requires an argument -- f\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParserFlags, StoreTheValueReturnZeroAndTellTheIndex) {
  int32_t flag = 0;
  const std::vector<TOption> table = {{"quiet", 0, &flag, 7}, {"loud", 0, nullptr, 9}, {}};
  std::vector<std::string> argv = {"prog", "--loud", "--q", ""};
  std::ostringstream messages;
  TOptionParser parser(messages);
  parser.opterr = false;
  int32_t index = -1;
  EXPECT_EQ(parser.GetLongOpt(3, argv, "", table, &index), 9);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(parser.GetLongOpt(3, argv, "", table, &index), 0);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(flag, 7);
  argv[2] = "-z";
  parser.optind = 0;
  EXPECT_EQ(parser.GetLongOpt(3, argv, "", table, &index), 9);
  EXPECT_EQ(parser.GetLongOpt(3, argv, "", table, &index), '?');
  EXPECT_EQ(parser.optopt, 'z');
  EXPECT_EQ(messages.str(), "");  // opterr off
}

}  // namespace
