#pragma once
// What the session keeps: aliases, connected databases and open table families.
#include <map>
#include <memory>
#include <string>

#include "db/paradox/engine.h"
#include "db/paradox/table_family.h"

namespace tabulor::db {

struct Session::Impl {
  struct Alias {
    std::string name;
    std::string path;
  };
  std::map<std::string, Alias> aliases;             // by upper-case name
  std::map<std::string, std::string> databases;     // upper-case database name -> alias
  std::map<std::string, std::weak_ptr<TableFamily>> families;  // by .DB path
};

// The path with each component matched on disk whatever its case.
std::string ResolvePathCase(Env& env, const std::string& path);

}  // namespace tabulor::db
