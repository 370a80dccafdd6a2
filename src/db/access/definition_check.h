#pragma once
// Checks of a table definition that libmdb reads without question: the
// columns must be consistent with their types and with each other, and in
// Jet 4 the definition must end where its counts say it ends. Throws
// AccessError. For the reading process only (libmdb.h).
#include "db/access/libmdb.h"

namespace tabulor::db::access {

struct DefinitionFacts {
  unsigned max_row_columns = 0;  // columns ever defined, deleted ones included
};

DefinitionFacts CheckDefinition(MdbHandle* mdb, MdbTableDef* table);

}  // namespace tabulor::db::access
