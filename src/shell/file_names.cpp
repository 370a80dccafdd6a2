#include "shell/file_names.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tabulor::shell {
namespace fs = std::filesystem;

namespace {
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(), LowerAscii);
  return out;
}

std::optional<std::string> FindFileNoCase(const std::string& dir, std::string_view name) {
  std::error_code ec;
  const fs::path exact = fs::path(dir) / std::string(name);
  if (fs::exists(exact, ec)) return exact.string();
  for (fs::directory_iterator it(dir.empty() ? "." : dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (EqualsNoCase(entry, name)) return it->path().string();
  }
  return std::nullopt;
}

bool FileExistsNoCase(const std::string& dir, std::string_view name) {
  return FindFileNoCase(dir, name).has_value();
}

std::string FileInDirNoCase(const std::string& dir, std::string_view name) {
  if (auto found = FindFileNoCase(dir, name)) return *found;
  return (fs::path(dir) / std::string(name)).string();
}

}  // namespace tabulor::shell
