// The programmer's firmware updater, found by name in a folder the user
// gives.
#pragma once

#include <string>

namespace velkoisp {

// The updater's file name, matched without regard to case.
constexpr const char* kUpdaterName = "Tarnwick.exe";

// True when folder holds a regular file of that name.
bool FolderHasUpdater(const std::string& folder);

}  // namespace velkoisp
