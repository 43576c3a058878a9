// Case of ASCII text, for names and records compared without regard to it.
#pragma once

#include <string>

namespace zylisp {

// ASCII upper case; other characters stay as they are.
std::string UpperCase(std::string text);

// Equal but for the case of ASCII letters.
bool SameIgnoringCase(const std::string& a, const std::string& b);

}  // namespace zylisp
