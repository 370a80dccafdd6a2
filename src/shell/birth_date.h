#pragma once
// A birth date typed as text in the short date format's order. A year of one
// or two digits is put in the hundred years that end today, so that a birth
// date is never in the future; a year of four digits is read as it stands.
#include <optional>
#include <string_view>

#include "db/common/datetime.h"

namespace tabulor::shell {

// Nullopt when the text is not a valid date.
std::optional<db::DateTime> ParseBirthDate(std::string_view text, const db::DateTime& today = db::DateTime::Now());

}  // namespace tabulor::shell
