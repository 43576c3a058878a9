// The checks of the queued commands against the files they name, the
// selected part and each other, made before the programmer is opened: a
// command that does not fit would otherwise run, and say OK, on the wrong
// thing.
#pragma once

#include "run_state.h"

namespace velkoisp {

// Adds an error to state.ErrorList for every program or verify file that
// cannot be used (a damaged line, no data): made once all options are
// read, so that --ignorechecksums counts wherever it stands.
void CheckDataFiles(TRunState& state);

// Adds an error for every command that does not fit the selected device
// (which must be valid): a status write to a part without a status
// register, a write-all to a part that is not Microwire, a page size above
// the part's write page, a read into a format that cannot hold the part
// or into a file whose extension names another format, and a read into a
// file that another command of the list reads from.
void CheckCommandsFitThePart(TRunState& state);

}  // namespace velkoisp
