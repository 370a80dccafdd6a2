#include "shell/formats.h"

namespace tabulor::shell {

db::TextFormats FormatSettings::AsTextFormats() const {
  db::TextFormats formats;
  formats.short_date_format = short_date;
  formats.long_time_format = long_time;
  formats.date_separator = date_separator;
  formats.time_separator = time_separator;
  formats.decimal_separator = decimal_separator;
  formats.two_digit_year_window = two_digit_year_window;
  return formats;
}

FormatSettings& Formats() {
  static FormatSettings settings;
  return settings;
}

void SetShortDateFormat(std::string pattern) { Formats().short_date = std::move(pattern); }
const std::string& ShortDateFormat() { return Formats().short_date; }

std::string FormatDateTime(std::string_view pattern, const db::DateTime& value) {
  return db::FormatDateTime(pattern, value, Formats().AsTextFormats());
}

std::string FormatDate(const db::DateTime& value) { return FormatDateTime(Formats().short_date, value); }
std::string FormatTime(const db::DateTime& value) { return FormatDateTime(Formats().long_time, value); }

std::optional<db::DateTime> ParseDate(std::string_view text) { return db::ParseDate(text, Formats().AsTextFormats()); }

std::string FormatNumber(double value) { return db::FormatNumber(value, Formats().AsTextFormats()); }

std::optional<double> ParseNumber(std::string_view text) {
  double value = 0;
  if (db::ParseNumber(text, Formats().AsTextFormats(), value) != db::NumberTextError::kNone) return std::nullopt;
  return value;
}

}  // namespace tabulor::shell
