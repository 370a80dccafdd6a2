#pragma once
// The layout of the practice database at each schema version, and the
// differences between two versions: what the upgrade steps change.
#include <string>
#include <vector>

#include "db/paradox/types.h"
#include "db/schema/tables.h"

namespace tabulor::schema {

struct TableLayout {
  std::string name;  // bare name at that version ("User" before version 2)
  db::TableDef def;
  const TableSchema* schema = nullptr;
};

// The table's name and definition at `version` (× 100).
std::string TableNameAt(const TableSchema& table, int version);
db::TableDef DefinitionAt(const TableSchema& table, int version);
// A field's name at `version`, or "" when the field does not exist yet.
std::string FieldNameAt(const FieldSchema& field, int version);

// Every table of a database at `version`, in the order of PracticeTables().
std::vector<TableLayout> LayoutAt(int version);

// The "NomTable" values of the rows that Version.db holds at `version`.
std::vector<std::string> VersionRowsAt(int version);

enum class ChangeKind {
  kRenameTable,   // name -> new_name
  kRenameField,   // name -> new_name
  kAddField,      // field
  kAddIndex,      // index (primary when index.primary)
  kRebuildIndex,  // index: its files are deleted and it is built again with these options
};

// One structural change brought by the upgrade step of `version`. `table` is
// the table's name after the step.
struct SchemaChange {
  int version = 0;
  ChangeKind kind = ChangeKind::kAddField;
  std::string table;
  std::string name;
  std::string new_name;
  db::FieldDef field;
  db::IndexDef index;

  std::string Describe() const;  // one line, for test messages and logs
  bool operator==(const SchemaChange& other) const { return Describe() == other.Describe(); }
};

// The changes of the steps above `from` up to and including `to`, in step order.
std::vector<SchemaChange> ChangesBetween(int from, int to);

// Where a table found on disk differs from the expected definition: one
// readable line per difference (missing or extra field, type, size, key,
// index), empty when they agree. Names are compared without regard to case and
// field order does not matter (the program finds every field by name).
std::vector<std::string> CompareDefinitions(const db::TableDef& actual, const db::TableDef& expected);

}  // namespace tabulor::schema
