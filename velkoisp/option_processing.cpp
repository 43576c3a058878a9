#include "option_processing.h"

#include <ostream>

#include "option_table.h"

namespace velkoisp {

namespace {

std::vector<TOption> ParserTable(TRunState& state) {
  std::vector<TOption> table;
  for (const TOptionRow& row : OptionRows())
    table.push_back({row.Name, row.HasArg, row.Flag ? &(state.*row.Flag) : nullptr, row.FlagValue});
  table.push_back({});
  return table;
}

void ActOn(const TOptionRow& row, const std::string& value, TRunState& state) {
  if (row.Missing && value.empty()) {
    state.ErrorList.push_back(row.Missing);
    return;
  }
  TCommand command;
  command.Row = &row;
  const std::string problem = row.Parse ? row.Parse(value, command, state) : std::string();
  if (!problem.empty())
    state.ErrorList.push_back(problem);
  else if (row.Run)
    state.CommandList.push_back(command);
}

}  // namespace

void ScanCommandLine(TOptionParser& parser, int32_t argc, std::vector<std::string>& argv,
                     TRunState& state, std::ostream& out) {
  const std::vector<TOption> options = ParserTable(state);
  const std::vector<TOptionRow>& rows = OptionRows();
  for (;;) {
    int32_t index = -1;
    const int32_t c = parser.GetLongOpt(argc, argv, "?h", options, &index);
    if (c == -1) break;
    if (c == 0 && index >= 0 && index < static_cast<int32_t>(rows.size()))
      ActOn(rows[static_cast<std::size_t>(index)], parser.optarg, state);
    else if (c == '?' || c == 'h')
      state.HelpRequested = 1;
    else
      out << "Unrecognised Option " << c << " ??\n";
  }
  if (parser.optind < argc) {
    out << "non-option ARGV-elements: ";
    for (int32_t i = parser.optind; i < argc; ++i) out << argv[i] << ' ';
    out << '\n';
  }
}

void RefuseStrayArguments(const TOptionParser& parser, int32_t argc,
                          const std::vector<std::string>& argv, TRunState& state) {
  for (int32_t i = parser.optind; i < argc; ++i)
    state.ErrorList.push_back("Error: unexpected argument \"" + argv[i] +
                              "\" (options are written --name=value)");
}

}  // namespace velkoisp
