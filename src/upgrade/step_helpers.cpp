#include "upgrade/step_helpers.h"

#include <algorithm>
#include <string>
#include <vector>

#include "upgrade/upgrade_run.h"

namespace tabulor::upgrade {
namespace {

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

bool SameFields(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
           return SameName(x, y);
         });
}

}  // namespace

db::Table& OpenTable(UpgradeRun& run, std::string_view table) {
  db::Table& t = run.table();
  if (t.Active()) t.Close();
  t.SetExclusive(false);
  t.SetTableName(std::string(table));
  t.Open();
  return t;
}

bool TableHasField(UpgradeRun& run, std::string_view table, std::string_view field) {
  db::Table& t = OpenTable(run, table);
  const bool has = t.FindField(field) != nullptr;
  t.Close();
  return has;
}

bool AddFieldsUnlessPresent(UpgradeRun& run, std::string_view table, std::string_view test_field,
                            std::string_view statement) {
  if (TableHasField(run, table, test_field)) return false;
  run.ExecSql(statement);
  return true;
}

void RegisterTable(UpgradeRun& run, std::string_view table) {
  db::Table& v = run.versions();
  v.Open();
  if (v.FindKey({db::Value{std::string(table)}})) return;
  v.Append();
  v.FieldByName("NomTable").SetAsString(table);
  v.FieldByName("Version").SetAsFloat(run.RequiredVersionNumber());
  v.Post();
  v.FlushBuffers();
}

IndexPresence FindIndex(UpgradeRun& run, std::string_view table, const db::IndexDef& index) {
  db::Table& t = OpenTable(run, table);
  const db::TableDef def = t.Definition();
  t.Close();
  if (index.primary) {
    // The primary index is the key itself (a keyed table without its .PX does not open).
    if (def.key_field_count == 0) return IndexPresence::kAbsent;
    std::vector<std::string> key;
    for (int i = 0; i < def.key_field_count && i < static_cast<int>(def.fields.size()); ++i)
      key.push_back(def.fields[i].name);
    return SameFields(key, index.fields) ? IndexPresence::kSame : IndexPresence::kDifferent;
  }
  for (const db::IndexDef& existing : def.indexes) {
    if (!SameName(existing.name, index.name)) continue;
    const bool same = SameFields(existing.fields, index.fields) && existing.unique == index.unique &&
                      existing.case_insensitive == index.case_insensitive &&
                      existing.descending == index.descending;
    return same ? IndexPresence::kSame : IndexPresence::kDifferent;
  }
  return IndexPresence::kAbsent;
}

void AddIndexUnlessPresent(UpgradeRun& run, std::string_view table, const db::IndexDef& index) {
  switch (FindIndex(run, table, index)) {
    case IndexPresence::kSame: return;
    case IndexPresence::kDifferent:
      throw db::EngineError("Table " + std::string(table) + ": an index " + index.name +
                                " already exists with other fields or options",
                            std::string(table));
    case IndexPresence::kAbsent: db::AddIndex(run.session(), run.database(), table, index); return;
  }
}

void FillRowsIgnoringErrors(UpgradeRun& run, std::string_view table, const std::function<void(db::Table&)>& fill) {
  db::Table& t = OpenTable(run, table);
  for (t.First(); !t.Eof(); t.Next()) {
    try {
      fill(t);
    } catch (const std::exception&) {
      // This row keeps its old values; the others are still filled.
      try {
        t.Cancel();
      } catch (const std::exception&) {
      }
    }
  }
  t.FlushBuffers();
  t.Close();
}

}  // namespace tabulor::upgrade
