#include "db/paradox/names.h"

#include <cctype>

namespace tabulor::db::names {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string WithoutDbExtension(std::string_view table) {
  if (table.size() > 3 && EqualNoCase(table.substr(table.size() - 3), ".DB")) table.remove_suffix(3);
  return std::string(table);
}

std::string NormalizeDirectory(std::string_view dir) {
  std::string out(dir);
  for (char& c : out)
    if (c == '\\') c = '/';
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace tabulor::db::names
