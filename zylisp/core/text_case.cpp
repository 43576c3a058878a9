#include "core/text_case.h"

namespace zylisp {

std::string UpperCase(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return UpperCase(a) == UpperCase(b);
}

}  // namespace zylisp
