#pragma once
// Upper case as the practice software stores names (users from version 2.8 on):
// accented letters keep their accent (é gives É), a letter keeps its length
// (ß stays ß), and a letter whose capital the table's code page cannot hold
// stays as it is, so that the name can still be stored. It is the upper-casing
// of the table's case-insensitive indexes, so a stored name and its index key agree.
#include <string>
#include <string_view>

#include "db/paradox/types.h"

namespace tabulor::db {

std::string UpperCase(std::string_view utf8, const TableDef& table);

}  // namespace tabulor::db
