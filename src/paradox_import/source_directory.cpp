#include "paradox_import/source_directory.h"

#include <algorithm>
#include <system_error>

namespace tabulor::paradox_import {
namespace {

// Letters a to z only, as the database's own names are compared.
std::string AsciiUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

bool HasFile(const std::filesystem::path& dir, const std::string& name) {
  std::error_code error;
  const std::string wanted = AsciiUpper(name);
  for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end;
       it.increment(error)) {
    if (AsciiUpper(it->path().filename().string()) == wanted && it->is_regular_file(error))
      return true;
  }
  return false;
}

std::string WithoutTrailingSeparators(std::string text) {
  while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
  return text;
}

}  // namespace

int CountSourceTableFiles(const std::filesystem::path& dir) {
  return static_cast<int>(std::count_if(std::begin(kSourceTableMask), std::end(kSourceTableMask),
                                        [&](const char* name) { return HasFile(dir, name); }));
}

// Both names are resolved first, so that "DATA/" or "./DATA" is the same directory.
static std::string ComparableName(const std::filesystem::path& dir) {
  std::error_code error;
  const auto resolved = std::filesystem::weakly_canonical(dir, error);
  return AsciiUpper(WithoutTrailingSeparators((error ? dir : resolved).string()));
}

bool IsAcceptableSource(const std::filesystem::path& dir, const std::string& program_dir) {
  const std::filesystem::path own = std::filesystem::path(program_dir.empty() ? "." : program_dir) / "DATA";
  return CountSourceTableFiles(dir) >= 8 && ComparableName(dir) != ComparableName(own);
}

SourcePresence FindSourceTables(const std::filesystem::path& dir) {
  return SourcePresence{HasFile(dir, "Docs.db"),  HasFile(dir, "Bilan.db"),
                        HasFile(dir, "Posturo.db"), HasFile(dir, "Type.db"),
                        HasFile(dir, "Jeu.db"),   HasFile(dir, "Norme.db"),
                        HasFile(dir, "User.db")};
}

std::string SourceRoot(const std::filesystem::path& dir) {
  const std::filesystem::path trimmed(WithoutTrailingSeparators(dir.string()));
  std::string parent = trimmed.parent_path().string();
  if (parent.empty()) return "./";
  if (parent.back() != '/') parent += '/';
  return parent;
}

}  // namespace tabulor::paradox_import
