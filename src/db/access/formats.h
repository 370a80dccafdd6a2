#pragma once
// Conversions between texts and values with the process-wide locale formats:
// the short date format, the long time format and the decimal separator.
// The shell owns those formats: it either registers where to read them once
// (SetAccessFormatsSource) or hands them over whenever they change
// (SetAccessFormats). The layer never reads the C locale.
#include <cstdint>
#include <functional>
#include <string>

#include "db/common/datetime.h"

namespace tabulor::db::access {

struct AccessFormats {
  // Patterns in the platform's notation: d, dd, m, mm, yy, yyyy, h, hh, n, nn
  // (minutes), s, ss, z, zzz; '/' and ':' stand for the separators below.
  std::string short_date_format = "dd/mm/yyyy";
  std::string long_time_format = "hh:nn:ss";
  char date_separator = '/';
  char time_separator = ':';
  char decimal_separator = ',';
  // A year written with one or two digits is put in the hundred years that
  // start this many years before the current year.
  int two_digit_year_window = 50;
};

// Fixed formats; replaces any source.
void SetAccessFormats(const AccessFormats& formats);
// Formats read afresh at each conversion (nullptr: back to the fixed ones).
void SetAccessFormatsSource(std::function<AccessFormats()> source);
AccessFormats CurrentAccessFormats();

// Each throws AccessError with a message naming the text when it does not convert.
// A date, a time, or a date followed by a time; the date's field order is the short date format's.
DateTime TextToDateTime(const std::string& text, const AccessFormats& formats);
double TextToFloat(const std::string& text, const AccessFormats& formats);
int32_t TextToInteger(const std::string& text);

// The date in the short date format, followed by a space and the time in the
// long time format unless the time is exactly midnight.
std::string DateTimeToText(const DateTime& value, const AccessFormats& formats);
// Up to 15 significant digits, the shortest form, with the decimal separator.
std::string FloatToText(double value, const AccessFormats& formats);
// `value` written with a date or time pattern (notation above).
std::string FormatDateTime(const std::string& pattern, const DateTime& value, const AccessFormats& formats);

}  // namespace tabulor::db::access
