#include "db/paradox/schema_ops/lock_files.h"

#include <algorithm>
#include <cctype>

#include "db/paradox/error.h"
#include "db/paradox/names.h"

namespace tabulor::db::locks {
namespace {

// Whether `data` holds `name` as a whole word, whatever its case (the lock
// list stores table names as text, padded with zeros).
bool MentionsName(const std::string& data, const std::string& name) {
  const std::string up = names::Upper(name);
  std::string text = data;
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto is_name_char = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; };
  for (size_t at = text.find(up); at != std::string::npos; at = text.find(up, at + 1)) {
    const bool starts = at == 0 || !is_name_char(text[at - 1]) || text[at - 1] == '\\' || text[at - 1] == '/';
    const size_t end = at + up.size();
    const bool ends = end == text.size() || !is_name_char(text[end]);
    if (starts && ends) return true;
  }
  return false;
}

std::string ReadAll(Env& env, const std::string& path) {
  auto f = env.Open(path, OpenMode::kRead);
  std::string data(static_cast<size_t>(std::min<uint64_t>(f->Size(), 16u << 20)), '\0');
  data.resize(f->ReadAt(0, data.data(), data.size()));
  return data;
}

}  // namespace

std::vector<std::string> HoldersOf(Env& env, const std::string& directory, const std::string& table_file) {
  std::vector<std::string> why;
  const std::string base = names::WithoutDbExtension(table_file);
  for (const std::string& entry : env.ListDirectory(directory)) {
    const std::string up = names::Upper(entry);
    if (up == names::Upper(base) + ".LCK") {
      why.push_back("the lock file " + entry + " of the table exists");
    } else if (up == "PDOXUSRS.LCK" || up == "PARADOX.LCK") {
      try {
        const std::string data = ReadAll(env, directory + "/" + entry);
        if (MentionsName(data, base)) why.push_back("the lock file " + entry + " lists the table");
      } catch (const std::exception&) {
        // A lock file that cannot be read is being written by its owner.
        why.push_back("the lock file " + entry + " cannot be read");
      }
    }
  }
  return why;
}

void RequireNotHeldElsewhere(Env& env, const std::string& directory, const std::string& table_file) {
  std::vector<std::string> why = HoldersOf(env, directory, table_file);
  if (why.empty()) return;
  std::string text;
  for (const std::string& w : why) text += (text.empty() ? "" : "; ") + w;
  throw EngineError("Table " + table_file + " is in use by another program (" + text +
                        "); close the other programs of the practice software and try again (a lock file "
                        "left by a program that crashed can be deleted once none of them runs)",
                    table_file);
}

}  // namespace tabulor::db::locks
