#pragma once
// The process-wide date, time and number formats, with the defaults of the
// French locale the practice software runs under. Forms change the short date
// format while they live (the patient-file wizard sets "dd/mm/yy"); log dates,
// dates written as text and text dates read from a source all follow it.
// The conversions themselves are shared with the Access layer
// (db/common/text_formats.h, which also describes the pattern letters).
#include <optional>
#include <string>
#include <string_view>

#include "db/common/datetime.h"
#include "db/common/text_formats.h"

namespace tabulor::shell {

using FormatSettings = db::TextFormats;

FormatSettings& Formats();  // the process's settings, single-threaded like the rest of the program
void SetShortDateFormat(std::string pattern);
const std::string& ShortDateFormat();

std::string FormatDateTime(std::string_view pattern, const db::DateTime& value);
std::string FormatDate(const db::DateTime& value);  // short date format
std::string FormatTime(const db::DateTime& value);  // long time format

// A date typed or stored in the short date format's order (day, month, year),
// separated by the date separator; a year of one or two digits is placed by the
// two-digit window, a missing year is the current one. Nullopt when not a valid date.
std::optional<db::DateTime> ParseDate(std::string_view text);

// Numbers as text: 15 significant digits, no trailing zeros, the decimal
// separator of the settings; exponent form below 1E-5 or from 1E15.
std::string FormatNumber(double value);
// Accepts blanks around, a sign, digits with the decimal separator and an exponent.
std::optional<double> ParseNumber(std::string_view text);

}  // namespace tabulor::shell
