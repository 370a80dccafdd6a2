#pragma once
// Appends rows to one table of a database being generated, naming fields by
// their current names whatever the schema version: a field that the table
// does not have yet at that version is skipped, and a renamed one ("DATE_PAT",
// "DATE" before version 2) is written under its name of that version.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "db/paradox/engine.h"
#include "db/schema/tables.h"

namespace tabulor::schema {

class RowWriter {
 public:
  RowWriter(db::Session& session, const std::string& directory, const TableSchema& table, int version);
  ~RowWriter();
  RowWriter(const RowWriter&) = delete;
  RowWriter& operator=(const RowWriter&) = delete;

  void Append();
  // A null value leaves the field empty. Throws std::invalid_argument for a
  // name that is no field of the table at the current version.
  void Set(std::string_view field, const db::Value& value);
  bool Has(std::string_view field) const;
  // Posts the row; returns the value of the autoincrement key (0 when none).
  int64_t Post();
  void Flush();

 private:
  db::Field* Resolve(std::string_view field) const;

  const TableSchema& schema_;
  db::Table table_;
  std::unordered_map<std::string, db::Field*> fields_;  // current name, upper case
  db::Field* key_ = nullptr;
};

}  // namespace tabulor::schema
