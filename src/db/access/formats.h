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
#include "db/common/text_formats.h"

namespace tabulor::db::access {

// The shared text formats (patterns, separators, two-digit-year window).
using AccessFormats = TextFormats;

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
// Up to 15 significant digits, no trailing zeros, with the decimal separator;
// exponent form below 1E-5 or from 1E15.
std::string FloatToText(double value, const AccessFormats& formats);
// `value` written with a date or time pattern (notation in db/common/text_formats.h).
using db::FormatDateTime;

}  // namespace tabulor::db::access
