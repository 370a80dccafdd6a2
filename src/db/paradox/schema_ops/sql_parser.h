#pragma once
// The local SQL statements the engine runs: ALTER TABLE t ADD f type[, ADD f type]...
#include <string>
#include <string_view>
#include <vector>

#include "db/paradox/types.h"

namespace tabulor::db::sql {

struct AlterTableAdd {
  std::string table;
  std::vector<FieldDef> fields;
};

// Keywords and type names in any case; names may be quoted ("Field name").
// Types: INTEGER/INT, SMALLINT, FLOAT, NUMERIC[(p[,s])], DOUBLE [PRECISION],
// DECIMAL(p,s), MONEY, CHAR(n)/CHARACTER(n)/VARCHAR(n), DATE, TIME, TIMESTAMP,
// BOOLEAN, AUTOINC, BLOB(n,1) (memo) and BLOB(n,2) (binary).
// Throws EngineError naming what could not be understood.
AlterTableAdd ParseAlterTableAdd(std::string_view statement);

}  // namespace tabulor::db::sql
