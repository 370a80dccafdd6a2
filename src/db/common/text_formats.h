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

// How a date or time text is read beyond the settings. The defaults are the
// locale's reading (the shell, the Access layer); kEngineDateText is the
// Paradox engine's, when a text is assigned to a date, time or timestamp field.
struct DateTextOptions {
  // "yyyy-mm-dd" too (year first and as written, whatever the short date
  // format), and a 'T' allowed between a date and its time.
  bool iso_dates = false;
  // A second date separator, used like the settings' one ('.' for "21.09.2020");
  // both separators of one date are the same character.
  char other_date_separator = 0;
  // A year of one or two digits falls in the hundred years starting with this
  // one (1950: 1950..2049); 0: the settings' window, moving with today's year.
  int two_digit_years_from = 0;
  // Day and month alone are no date (otherwise the year is the current one).
  bool year_required = false;
  // "AM" / "PM" after a time.
  bool am_pm = true;
  // A time alone lies on 1899-12-30, day 0 of the OLE calendar; otherwise it
  // has no date part.
  bool time_alone_on_day_zero = true;
  // Seconds fractions of any length, none at all too ("10:00:00."), cut to
  // milliseconds; otherwise one to three digits.
  bool cut_long_fractions = false;
  // Blanks before a separator and after a fraction separator ("21 / 09 / 2020",
  // "10:00:05 , 5"); otherwise blanks only after a date or time separator, and
  // between the date and the time.
  bool blanks_before_separators = true;
};
inline constexpr DateTextOptions kEngineDateText{.iso_dates = true,
                                                 .other_date_separator = '.',
                                                 .two_digit_years_from = 1950,
                                                 .year_required = true,
                                                 .am_pm = false,
                                                 .time_alone_on_day_zero = false,
                                                 .cut_long_fractions = true,
                                                 .blanks_before_separators = false};

// A date in the short date format's order of day, month and year, separated by
// the date separator, blanks allowed around; a missing year is the current one.
// Nullopt when the whole text is not a valid date.
std::optional<DateTime> ParseDate(std::string_view text, const TextFormats& formats);
// A date, a time ("9:05", "16:58:11,250", "07:15:00 PM"), or a date followed by
// a time, blanks and tabs around. Numbers are digits only (no sign), of any
// length. False when the whole text is not one valid date and/or time; an
// impossible date is never dropped to read the time after it.
bool ParseDateTime(std::string_view text, const TextFormats& formats, const DateTextOptions& options,
                   DateTime& value);
// The locale's reading: the default options.
std::optional<DateTime> ParseDateTime(std::string_view text, const TextFormats& formats);

// 15 significant digits, no trailing zeros, the decimal separator of the
// settings; exponent form ("1,5E-6", "1E15") below 1E-5 or from 1E15.
std::string FormatNumber(double value, const TextFormats& formats);

enum class NumberTextError { kNone, kNotANumber, kOutOfRange };
// Blanks around, an optional sign, digits with the decimal separator, an
// optional exponent; any other character (another separator too) is refused.
NumberTextError ParseNumber(std::string_view text, const TextFormats& formats, double& value);

}  // namespace tabulor::db
