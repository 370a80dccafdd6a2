// The whole family of a table's files (.DB .MB .PX .Xnn .Ynn .XGn .YGn .VAL
// and the other programs' .TV .FAM ...), listed and deleted together.
#include <algorithm>

#include "db/paradox/engine.h"
#include "db/paradox/names.h"
#include "db/paradox/schema_ops/lock_files.h"
#include "db/paradox/schema_ops/rename.h"
#include "db/paradox/storage/journal.h"

namespace tabulor::db {
namespace {

std::vector<std::string> FamilyIn(Env& env, const std::string& dir, std::string_view table_name) {
  const std::string base = names::WithoutDbExtension(table_name);
  std::vector<std::string> found;
  if (!env.DirectoryExists(dir)) return found;
  for (const std::string& entry : env.ListDirectory(dir)) {
    if (entry.size() <= base.size() + 1 || entry[base.size()] != '.' ||
        !names::EqualNoCase(entry.substr(0, base.size()), base) || entry.find('.', base.size() + 1) != std::string::npos)
      continue;
    found.push_back(entry);
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

std::vector<std::string> TableFamilyFiles(Session& session, std::string_view database, std::string_view table_name) {
  const std::string dir = session.ResolveDirectory(database);
  schema_ops::CompletePendingRenames(session.env(), dir);
  return FamilyIn(session.env(), dir, table_name);
}

void DeleteTableFiles(Session& session, std::string_view database, std::string_view table_name) {
  Env& env = session.env();
  const std::string dir = session.ResolveDirectory(database);
  schema_ops::CompletePendingRenames(env, dir);
  std::vector<std::string> files = FamilyIn(env, dir, table_name);
  auto db = std::find_if(files.begin(), files.end(), [](const std::string& f) {
    return names::EqualNoCase(f.substr(f.size() - 3), ".DB");
  });
  if (db != files.end()) {
    if (session.IsTableOpen(dir + "/" + *db))
      throw EngineError("Table " + *db + " is open: it can only be deleted while no cursor uses it", *db);
    locks::RequireNotHeldElsewhere(env, dir, *db);
    // A journal left of the table would be played back onto a later table of that name: it goes first.
    const std::string journal = dir + "/" + storage::Journal::NameFor(*db);
    if (env.FileExists(journal)) env.Remove(journal);
    // Then the table itself, so that no reader finds it without its index files.
    std::rotate(files.begin(), db, db + 1);
  }
  for (const std::string& name : files) env.Remove(dir + "/" + name);
  env.SyncDirectory(dir);
}

}  // namespace tabulor::db
