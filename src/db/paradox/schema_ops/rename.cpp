#include "db/paradox/schema_ops/rename.h"

#include <sstream>
#include <vector>

#include "db/paradox/names.h"

namespace tabulor::db::schema_ops {
namespace {

constexpr const char* kSuffix = ".renaming";

void Apply(Env& env, const std::string& directory, const std::string& list_name) {
  const std::string list_path = directory + "/" + list_name;
  std::string text;
  {
    auto f = env.Open(list_path, OpenMode::kRead);
    text.resize(static_cast<size_t>(f->Size()));
    text.resize(f->ReadAt(0, text.data(), text.size()));
  }
  // Only a whole list (ending with its end line) is acted on; a torn one was
  // written before any file was renamed.
  const std::string end_line = "end\n";
  if (text.size() >= end_line.size() && text.compare(text.size() - end_line.size(), end_line.size(), end_line) == 0) {
    std::istringstream in(text.substr(0, text.size() - end_line.size()));
    std::string line;
    while (std::getline(in, line)) {
      const size_t tab = line.find('\t');
      if (tab == std::string::npos) continue;
      const std::string from = directory + "/" + line.substr(0, tab);
      const std::string to = directory + "/" + line.substr(tab + 1);
      if (env.FileExists(from) && !env.FileExists(to)) env.Rename(from, to);
    }
    env.SyncDirectory(directory);
  }
  env.Remove(list_path);
  env.SyncDirectory(directory);
}

}  // namespace

void RenameFamily(Env& env, const std::string& directory, const std::string& old_base, const std::string& new_base) {
  std::string list;
  for (const std::string& entry : env.ListDirectory(directory)) {
    if (entry.size() <= old_base.size() + 1 || entry[old_base.size()] != '.' ||
        !names::EqualNoCase(entry.substr(0, old_base.size()), old_base))
      continue;
    if (names::EqualNoCase(entry.substr(old_base.size()), std::string(".DB") + kSuffix)) continue;
    list += entry + "\t" + new_base + entry.substr(old_base.size()) + "\n";
  }
  list += "end\n";
  const std::string list_name = new_base + ".DB" + kSuffix;
  {
    auto f = env.Open(directory + "/" + list_name, OpenMode::kCreate);
    f->WriteAt(0, list.data(), list.size());
    f->Sync();
  }
  env.SyncDirectory(directory);
  Apply(env, directory, list_name);
}

void CompletePendingRenames(Env& env, const std::string& directory) {
  if (!env.DirectoryExists(directory)) return;
  const std::string suffix = std::string(".DB") + kSuffix;
  for (const std::string& entry : env.ListDirectory(directory))
    if (entry.size() > suffix.size() && names::EqualNoCase(entry.substr(entry.size() - suffix.size()), suffix))
      Apply(env, directory, entry);
}

}  // namespace tabulor::db::schema_ops
