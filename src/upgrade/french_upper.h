#pragma once
// Upper case by the French rules of the practice software: accented letters
// keep their accent (é gives É, ç gives Ç), and a letter keeps its length
// (ß stays ß). A letter whose upper case the table's code page cannot hold is
// left as it is, so that the name can still be stored.
#include <string>
#include <string_view>

#include "db/paradox/types.h"

namespace tabulor::upgrade {

// `utf8` in upper case, every character being one the code page of `table` holds.
std::string FrenchUpperCase(std::string_view utf8, const db::TableDef& table);

}  // namespace tabulor::upgrade
