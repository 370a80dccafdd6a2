#pragma once
// Birth dates read from the text columns of the Access sources. The short
// date format in force since start-up writes years with two digits, and the
// two-digit window alone would place "12/03/38" in 2038: a birth date is never
// in the future, so a short year that lands after today is put a hundred
// years earlier. A year written in full is kept as written.
#include <optional>
#include <string_view>

#include "db/common/datetime.h"

namespace tabulor::shell {

// Nullopt when the text is not a date in the short date format's order.
std::optional<db::DateTime> ParseBirthDate(std::string_view text, const db::DateTime& today);

}  // namespace tabulor::shell
