// Every option of the command line in one table: how the parser sees it,
// how its value becomes a queued command, and what that command does.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "run_state.h"

namespace velkoisp {

struct TOptionRow {
  const char* Name;  // as typed after "--"
  uint8_t HasArg;    // the parser's argument kind
  // Set to FlagValue when the option is met. A row without a flag keeps
  // FlagValue 0, so that the parser returns 0 for every row.
  int32_t TRunState::*Flag;
  int32_t FlagValue;
  const char* Missing;  // the error for an empty value; null when that is fine
  // Reads the value into command (or the state): the error, or empty.
  std::string (*Parse)(const std::string& value, TCommand& command, TRunState& state);
  const char* Opening;  // the command's status text; "{}" stands for its Text
  // Performs the command: the library's result code. Null: nothing is queued.
  int32_t (*Run)(const TCommand& command, const TRunState& state, std::ostream& out);
};

// In the order the parser walks them when it resolves abbreviations.
const std::vector<TOptionRow>& OptionRows();

}  // namespace velkoisp
