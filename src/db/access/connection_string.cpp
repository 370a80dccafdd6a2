#include "db/access/connection_string.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "db/access/error.h"
#include "db/access/text_util.h"

namespace tabulor::db::access {
namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

std::string DataSourceOf(const std::string& connection_string) {
  size_t pos = 0;
  while (pos <= connection_string.size()) {
    const size_t eq = connection_string.find('=', pos);
    if (eq == std::string::npos) break;
    const std::string key = Trim(connection_string.substr(pos, eq - pos));
    size_t value_start = eq + 1;
    while (value_start < connection_string.size() && connection_string[value_start] == ' ') ++value_start;
    std::string value;
    size_t next;
    const char quote = value_start < connection_string.size() ? connection_string[value_start] : '\0';
    if (quote == '"' || quote == '\'') {
      const size_t close = connection_string.find(quote, value_start + 1);
      if (close == std::string::npos) throw AccessError("chaîne de connexion invalide : guillemet non fermé");
      value = connection_string.substr(value_start + 1, close - value_start - 1);
      next = connection_string.find(';', close);
    } else {
      next = connection_string.find(';', value_start);
      value = Trim(connection_string.substr(value_start, next == std::string::npos ? std::string::npos : next - value_start));
    }
    if (EqualsIgnoreCase(key, "Data Source")) {
      if (value.empty()) throw AccessError("chaîne de connexion invalide : « Data Source » est vide");
      return value;
    }
    if (next == std::string::npos) break;
    pos = next + 1;
  }
  throw AccessError("chaîne de connexion invalide : « Data Source » manquant");
}

std::string ResolveWindowsPath(const std::string& path) {
  namespace fs = std::filesystem;
  std::string converted;
  for (char c : path) {
    const char s = c == '\\' ? '/' : c;
    if (s == '/' && !converted.empty() && converted.back() == '/') continue;
    converted += s;
  }
  std::error_code ec;
  if (converted.empty() || fs::exists(converted, ec)) return converted;

  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= converted.size()) {
    size_t slash = converted.find('/', start);
    if (slash == std::string::npos) slash = converted.size();
    if (slash > start) parts.push_back(converted.substr(start, slash - start));
    start = slash + 1;
  }
  fs::path current = converted[0] == '/' ? fs::path("/") : fs::path(".");
  for (const std::string& part : parts) {
    fs::path exact = current / part;
    if (fs::exists(exact, ec)) {
      current = exact;
      continue;
    }
    bool found = false;
    for (const auto& entry : fs::directory_iterator(current, ec)) {
      if (EqualsIgnoreCase(entry.path().filename().string(), part)) {
        current = entry.path();
        found = true;
        break;
      }
    }
    if (!found) return converted;
  }
  return converted[0] == '/' ? current.string() : current.lexically_normal().string();
}

}  // namespace tabulor::db::access
