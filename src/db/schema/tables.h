#pragma once
// The tables of a practice database as data: fields with types and sizes,
// primary keys, named indexes with their options, relations, and the history
// of each item (the schema version whose upgrade step brought it), from which
// the layout at any older version follows (see layout.h).
#include <string>
#include <string_view>
#include <vector>

#include "db/paradox/types.h"

namespace tabulor::schema {

struct FieldSchema {
  db::FieldDef def;         // as at the current version
  int added_in = 0;         // version (× 100) whose upgrade step adds the field; 0: always there
  std::string former_name;  // its name before the step that renamed it
  int renamed_in = 0;
};

struct IndexSchema {
  db::IndexDef def;  // as at the current version
  int added_in = 0;  // version whose upgrade step adds the index; 0: always there
  // The step of this version deletes the index files and builds the index
  // again with new options; before it the index had `former_options`.
  int rebuilt_in = 0;
  db::IndexDef former_options;
};

struct TableSchema {
  std::string name;         // bare name ("Patient", "Users")
  std::string former_name;  // "User" before version 2
  int renamed_in = 0;
  std::vector<FieldSchema> fields;  // reference order; the key fields lead
  int key_field_count = 0;
  // Name under which the upgrade creates the primary index ("PK_TYPE", "PK_VILLE").
  std::string primary_index_name;
  int keyed_since = 0;         // version whose step adds the primary index (unkeyed before)
  int primary_rebuilt_in = 0;  // version whose step deletes and rebuilds the primary index
  std::vector<IndexSchema> indexes;
  int registered_in = 0;  // version whose step appends the table's Version.db row; 0: always there
  bool read_by_program = true;  // false for the tables only registered (Ville, ParamJeu, ...)

  std::string FileName() const { return name + ".DB"; }
  const FieldSchema* FindField(std::string_view field_name) const;  // current name, any case
};

// A foreign key: `field` of `table` holds `target_field` of `target_table`
// (when `condition` is not empty, only for the rows it describes).
struct Relation {
  std::string table;
  std::string field;
  std::string target_table;
  std::string target_field;
  std::string condition;
};

// Every table of the practice database, in a fixed order (Version.db last).
const std::vector<TableSchema>& PracticeTables();
// By bare name, file name ("data.db") or former name ("User"), without regard to case.
const TableSchema* FindPracticeTable(std::string_view name);
// As FindPracticeTable; throws std::invalid_argument for an unknown table.
const TableSchema& PracticeTable(std::string_view name);

const std::vector<Relation>& Relations();

// Without regard to case, for ASCII letters (table and field names).
bool SameName(std::string_view a, std::string_view b);

}  // namespace tabulor::schema
