// Lookup of the part table by marking and by JEDEC ID.
#include "devices/part_table.h"

#include <unordered_map>

#include "core/text_case.h"

namespace zylisp {

namespace {

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  const std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// Upper-case names and aliases to their rows; built once, never changed.
const std::unordered_map<std::string, const TPartRow*>& MarkingIndex() {
  static const std::unordered_map<std::string, const TPartRow*> index = [] {
    std::unordered_map<std::string, const TPartRow*> built;
    for (const TPartRow& row : PartRows()) {
      // The first row of a marking wins, as a scan in table order would.
      built.emplace(UpperCase(row.Name), &row);
      for (const std::string& alias : row.Aliases) built.emplace(UpperCase(alias), &row);
    }
    return built;
  }();
  return index;
}

}  // namespace

const TPartRow* FindPart(const std::string& nameOrAlias) {
  const std::string wanted = UpperCase(Trimmed(nameOrAlias));
  if (wanted.empty()) return nullptr;
  const auto& index = MarkingIndex();
  const auto found = index.find(wanted);
  return found == index.end() ? nullptr : found->second;
}

std::vector<const TPartRow*> PartsWithJedecId(uint32_t jedecId) {
  std::vector<const TPartRow*> rows;
  if (jedecId == 0) return rows;
  for (const TPartRow& row : PartRows()) {
    if (row.JedecId == jedecId) rows.push_back(&row);
  }
  return rows;
}

}  // namespace zylisp
