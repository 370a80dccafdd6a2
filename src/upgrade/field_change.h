#pragma once
// Restructuring one field of a Paradox table in place (its name, type, size or
// decimals), the rest of the table unchanged; the upgrade renames fields with it.
#include <string_view>

#include "db/paradox/engine.h"

namespace tabulor::upgrade {

// Takes the table for exclusive use, checks that it has `field_name` (an absent
// field is an error), and asks the engine to change that one field. Whatever
// happens, the table is left open again for shared use.
void ChangeField(db::Table& table, std::string_view field_name, const db::FieldChange& change);

// ChangeField with only a new name. Names longer than 31 characters are refused.
void RenameField(db::Table& table, std::string_view field_name, std::string_view new_name);

}  // namespace tabulor::upgrade
