#pragma once
// Renaming every file of a table's family (.DB .PX .MB .Xnn .Ynn .XGn .YGn
// .VAL and the rest) as one step: the list of renames is made durable first,
// and a rename cut short is completed the next time the directory is used.
#include <string>

#include "db/paradox/env.h"

namespace tabulor::db::schema_ops {

void RenameFamily(Env& env, const std::string& directory, const std::string& old_base, const std::string& new_base);

// Completes the renames a dead writer left half-done in the directory.
void CompletePendingRenames(Env& env, const std::string& directory);

}  // namespace tabulor::db::schema_ops
