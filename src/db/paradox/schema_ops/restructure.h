#pragma once
// Rewriting a table with a changed field list, key or set of indexes, in one
// atomic change of its files. Blob fields keep their references, so the .MB
// file is neither read nor rewritten.
#include <string>
#include <vector>

#include "db/paradox/index/index_layout.h"
#include "db/paradox/table_family.h"

namespace tabulor::db::schema_ops {

struct TargetField {
  FieldDef def;   // name in UTF-8
  int from = -1;  // the field of the present table it takes its values from; -1: a new field, null in every row
};

struct TableChange {
  std::vector<TargetField> fields;
  int key_field_count = 0;
  std::vector<index::IndexFiles> added_indexes;  // field positions in the new layout
  bool drop_secondary_indexes = false;           // every .Xnn .Ynn .XGn .YGn file goes
};

// Writes the table anew through the journal. `table` is the present table,
// opened read-only by the caller and not written by anyone else meanwhile.
// Throws EngineError; the files are then unchanged.
void Restructure(Env& env, TableFamily& table, const TableChange& change);

// Adds indexes to a table whose records stay as they are.
void AddIndexFiles(Env& env, TableFamily& table, const std::vector<index::IndexFiles>& indexes);

// Rebuilds the primary index and every secondary index from the rows,
// keeping the files' headers.
void RebuildIndexFiles(Env& env, TableFamily& table);

}  // namespace tabulor::db::schema_ops
