#pragma once
// What the session keeps: aliases, connected databases and open table families.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/paradox/engine.h"
#include "db/paradox/table_family.h"

namespace tabulor::db {

// An open unit of work: its journal and the families that joined it (kept
// open until it ends, so that their journals are finished or rolled back).
struct UnitState {
  std::string directory;
  std::unique_ptr<storage::UnitJournal> journal;
  std::vector<std::shared_ptr<TableFamily>> members;
  bool open = false;
  // Makes the family's next flushes part of the unit.
  void Enlist(const std::shared_ptr<TableFamily>& family);
};

struct Session::Impl {
  struct Alias {
    std::string name;
    std::string path;
  };
  std::map<std::string, Alias> aliases;             // by upper-case name
  std::map<std::string, std::string> databases;     // upper-case database name -> alias
  std::map<std::string, std::weak_ptr<TableFamily>> families;  // by .DB path
  std::map<std::string, UnitState*> units;                     // open units of work, by directory
  std::shared_ptr<BlockCachePool> block_cache = std::make_shared<BlockCachePool>();  // shared by its families
};

// The path with each component matched on disk whatever its case.
std::string ResolvePathCase(Env& env, const std::string& path);

}  // namespace tabulor::db
