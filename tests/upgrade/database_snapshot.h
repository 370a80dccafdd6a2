#pragma once
// Every row of every table of a database directory, field by field, to show
// that an upgrade keeps what the database held.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "db/paradox/engine.h"

namespace tabulor::upgrade::testing {

// Field name (upper case) -> value as text; blobs as their size and a hash.
using RowValues = std::map<std::string, std::string>;
// First field's value -> row.
using TableRows = std::map<std::string, RowValues>;

struct DatabaseSnapshot {
  std::map<std::string, TableRows> tables;  // by upper-case bare name
  std::map<std::string, db::TableDef> definitions;
};

DatabaseSnapshot TakeSnapshot(const std::filesystem::path& data_dir);

// What `after` lost or changed of `before`, one line per difference: tables,
// rows and field values. The upgrade's renames (User -> Users, DATE -> DATE_PAT
// and DATE_EXA) and the upper-casing of user names are allowed for; the files
// of a stray "Users" table beside "User" are not expected to survive, and the
// version table, which the upgrade rewrites, is left to the caller.
std::vector<std::string> LostOrChanged(const DatabaseSnapshot& before, const DatabaseSnapshot& after);

// tabulor-db verify on the directory, and pxlib reading every row of every
// table; one line per problem.
std::vector<std::string> VerifyWithTools(const std::filesystem::path& data_dir);

}  // namespace tabulor::upgrade::testing
