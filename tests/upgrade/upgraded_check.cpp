#include "upgraded_check.h"

#include <set>

#include "db/schema/layout.h"
#include "db/schema/tables.h"
#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade::testing {
namespace {

namespace fs = std::filesystem;

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

const db::IndexDef* FindIndexNamed(const db::TableDef& def, const std::string& name) {
  for (const db::IndexDef& index : def.indexes)
    if (schema::SameName(index.name, name)) return &index;
  return nullptr;
}

void Append(std::vector<std::string>& to, const std::string& prefix, std::vector<std::string> lines) {
  for (std::string& line : lines) to.push_back(prefix + line);
}

void CheckIndexes(std::vector<std::string>& problems, const fs::path& data_dir, int from_version,
                  const DatabaseSnapshot& before, const DatabaseSnapshot& after) {
  for (const schema::SchemaChange& change : schema::ChangesBetween(from_version, 280)) {
    if (change.kind != schema::ChangeKind::kAddIndex && change.kind != schema::ChangeKind::kRebuildIndex) continue;
    const auto table = after.definitions.find(Upper(change.table));
    if (table == after.definitions.end()) continue;  // reported as a missing table
    const db::TableDef& def = table->second;
    if (change.index.primary) {
      if (def.key_field_count != static_cast<int>(change.index.fields.size()) ||
          !fs::exists(data_dir / (change.table + ".PX")))
        problems.push_back("not done: " + change.Describe());
      continue;
    }
    const db::IndexDef* index = FindIndexNamed(def, change.index.name);
    if (!index || index->fields != change.index.fields || index->unique != change.index.unique ||
        index->case_insensitive != change.index.case_insensitive)
      problems.push_back("not done: " + change.Describe());
  }
  for (const auto& [name, def] : before.definitions) {
    if (name == "USERS" && before.definitions.count("USER")) continue;
    const auto now = after.definitions.find(name == "USER" ? "USERS" : name);
    if (now == after.definitions.end()) continue;
    for (const db::IndexDef& index : def.indexes)
      if (!FindIndexNamed(now->second, index.name)) problems.push_back(name + ": index " + index.name + " is gone");
  }
}

void CheckFilledDefaults(std::vector<std::string>& problems, const DatabaseSnapshot& after) {
  auto each_row = [&](const char* table, const std::function<void(const std::string&, const RowValues&)>& check) {
    const auto rows = after.tables.find(table);
    if (rows == after.tables.end()) return problems.push_back(std::string("no table ") + table);
    for (const auto& [key, row] : rows->second) check(key, row);
  };
  auto not_null = [&](const char* table, const char* field) {
    each_row(table, [&](const std::string& key, const RowValues& row) {
      const auto value = row.find(field);
      if (value == row.end() || value->second == "<null>")
        problems.push_back(std::string(table) + " row " + key + ": " + field + " is empty");
    });
  };
  not_null("DATA", "ZIPPED");
  not_null("TYPE", "PRESSIONS");
  not_null("USERS", "EXPIRE_DATE");
  int admins = 0;
  each_row("USERS", [&](const std::string&, const RowValues& row) { admins += row.count("NOM") && row.at("NOM") == "ADMIN"; });
  if (admins != 1) problems.push_back(std::to_string(admins) + " ADMIN users");

  std::set<std::string> registered;
  each_row("VERSION", [&](const std::string& key, const RowValues& row) {
    registered.insert(key);
    if (VersionScale(std::stod(row.at("VERSION"))) != 280) problems.push_back("version row " + key + " not at 2.8");
  });
  const std::vector<std::string> expected = schema::VersionRowsAt(280);
  if (registered != std::set<std::string>(expected.begin(), expected.end()))
    problems.push_back("the version rows are not those of a 2.8 database");
}

}  // namespace

std::vector<std::string> UpgradedDatabaseProblems(const fs::path& data_dir, int from_version,
                                                  const DatabaseSnapshot& before, const DatabaseSnapshot& reference) {
  const DatabaseSnapshot after = TakeSnapshot(data_dir);
  std::vector<std::string> problems = LostOrChanged(before, after);
  for (const auto& [name, def] : reference.definitions) {
    const auto upgraded = after.definitions.find(name);
    if (upgraded == after.definitions.end()) {
      problems.push_back("no table " + name);
      continue;
    }
    // Indexes are checked below, against what the steps build.
    for (std::string& line : schema::CompareDefinitions(upgraded->second, def))
      if (line.find("index") == std::string::npos) problems.push_back(name + ": " + line);
  }
  for (const auto& [name, def] : after.definitions)
    if (!reference.definitions.count(name)) problems.push_back("unexpected table " + name);
  CheckIndexes(problems, data_dir, from_version, before, after);
  CheckFilledDefaults(problems, after);
  Append(problems, "", VerifyWithTools(data_dir));
  return problems;
}

}  // namespace tabulor::upgrade::testing
