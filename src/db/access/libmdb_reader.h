#pragma once
// Direct reading through libmdb. libmdb trusts the file it reads and can crash
// on a damaged one: call this only inside an isolated reader process
// (isolated_reader.h), never in the program itself.
#include <optional>
#include <string>

#include "db/access/table_data.h"

namespace tabulor::db::access {

// Opens `path`, lists its user tables and, when `table` is given, reads that
// table whole. Throws AccessError.
FileContents ReadWithLibmdb(const std::string& path, const std::optional<std::string>& table);

}  // namespace tabulor::db::access
