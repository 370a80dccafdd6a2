#pragma once
// Reading back the records of an X file and checking that an index's files
// list exactly the rows of their table.
#include <string>
#include <vector>

#include "db/paradox/env.h"
#include "db/paradox/index/index_layout.h"

namespace tabulor::db::index {

// The X file's records in chain order. Throws std::runtime_error when damaged.
std::vector<std::vector<uint8_t>> ReadIndexRecords(Env& env, const std::string& path);

// Problems found in the X and Y files of `index`; empty when they match the rows.
std::vector<std::string> CheckIndexFiles(Env& env, const std::string& directory, const TableRows& rows,
                                         const IndexFiles& index);

}  // namespace tabulor::db::index
