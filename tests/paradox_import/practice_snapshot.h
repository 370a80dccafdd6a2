#pragma once
// The rows of a practice database's tables, read back for comparison: every
// field of every row as text (dates and times in a fixed form, blobs as bytes).
#include <map>
#include <string>
#include <vector>

#include "db/paradox/engine.h"

namespace tabulor::paradox_import::snapshot {

using Row = std::map<std::string, std::string>;  // upper-case field name -> value
using Rows = std::vector<Row>;

inline std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Every row in primary order; dates and times in a fixed form, blobs as their bytes.
inline Rows ReadTable(db::Session& session, const std::string& dir, const std::string& name) {
  Rows rows;
  if (!db::TableExists(session, dir, name)) return rows;
  db::Table table(session, dir, name);
  table.SetReadOnly(true);
  table.Open();
  for (table.First(); !table.Eof(); table.Next()) {
    Row row;
    for (int i = 0; i < table.FieldCount(); ++i) {
      db::Field& field = table.FieldAt(i);
      std::string value;
      if (field.IsNull()) {
      } else if (db::IsBlobType(field.Type())) {
        const db::Blob blob = field.AsBlob();
        value.assign(blob.begin(), blob.end());
      } else if (field.Type() == db::FieldType::kDate || field.Type() == db::FieldType::kTime ||
                 field.Type() == db::FieldType::kTimestamp) {
        const db::DateTime t = field.AsDateTime();
        value = std::to_string(t.year) + "-" + std::to_string(t.month) + "-" + std::to_string(t.day) + " " +
                std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" + std::to_string(t.second);
      } else {
        value = field.AsString();
      }
      row[Upper(field.Name())] = value;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

struct Database {
  std::map<std::string, Rows> tables;
  const Rows& operator[](const std::string& name) const {
    static const Rows none;
    auto it = tables.find(name);
    return it == tables.end() ? none : it->second;
  }
  // The row of `table` whose `field` is `value`, or null.
  const Row* Find(const std::string& table, const std::string& field, const std::string& value) const {
    if (value.empty()) return nullptr;
    for (const Row& row : (*this)[table])
      if (row.at(field) == value) return &row;
    return nullptr;
  }
  // `field` of that row, or "(none)" when there is no such row.
  std::string ValueOf(const std::string& table, const std::string& key_field, const std::string& key,
                      const std::string& field) const {
    const Row* row = Find(table, key_field, key);
    return row ? row->at(field) : "(none)";
  }
};

inline constexpr const char* kTables[] = {"Patient", "Examen", "Mesure", "Data", "Posturo", "Users", "User", "Prof",
                                   "Path", "Pres", "Norme", "Type", "Jeu", "Docs", "Bilan", "Clefs"};

inline Database Read(db::Session& session, const std::string& dir) {
  Database db;
  for (const char* name : kTables) db.tables[name] = ReadTable(session, dir, std::string(name) + ".DB");
  if (db["Users"].empty()) db.tables["Users"] = db["User"];
  return db;
}

inline bool operator==(const Database& a, const Database& b) { return a.tables == b.tables; }

}  // namespace tabulor::paradox_import::snapshot
