#pragma once
// Dates, times and numbers as text, in the notation of the practice software:
// patterns use d dd (day), m mm (month, minutes right after an hour), yy yyyy
// (year), h hh, n nn (minutes), s ss, z zzz (milliseconds); "/" and ":" stand
// for the date and time separators; '...' or "..." is literal text.
// The settings are passed in: whoever owns the process-wide ones decides which.
#include <optional>
#include <string>
#include <string_view>

#include "db/common/datetime.h"

namespace tabulor::db {

struct TextFormats {
  std::string short_date_format = "dd/mm/yyyy";
  std::string long_time_format = "hh:nn:ss";
  char date_separator = '/';
  char time_separator = ':';
  char decimal_separator = ',';
  // A year written with one or two digits is put in the hundred years that
  // start this many years before the current year.
  int two_digit_year_window = 50;
};

std::string FormatDateTime(std::string_view pattern, const DateTime& value, const TextFormats& formats);

// A date in the short date format's order of day, month and year, separated by
// the date separator, blanks allowed around; a missing year is the current one.
// Nullopt when the whole text is not a valid date.
std::optional<DateTime> ParseDate(std::string_view text, const TextFormats& formats);
// A date, a time ("9:05", "16:58:11,250", "07:15:00 PM"), or a date followed by
// a time. A time alone lies on 1899-12-30, day 0 of the OLE calendar.
std::optional<DateTime> ParseDateTime(std::string_view text, const TextFormats& formats);

// 15 significant digits, no trailing zeros, the decimal separator of the
// settings; exponent form ("1,5E-6", "1E15") below 1E-5 or from 1E15.
std::string FormatNumber(double value, const TextFormats& formats);

enum class NumberTextError { kNone, kNotANumber, kOutOfRange };
// Blanks around, an optional sign, digits with the decimal separator, an
// optional exponent; any other character (another separator too) is refused.
NumberTextError ParseNumber(std::string_view text, const TextFormats& formats, double& value);

}  // namespace tabulor::db
