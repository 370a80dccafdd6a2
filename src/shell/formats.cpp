#include "shell/formats.h"

namespace tabulor::shell {

FormatSettings& Formats() {
  static FormatSettings settings;
  return settings;
}

void SetShortDateFormat(std::string pattern) { Formats().short_date_format = std::move(pattern); }
const std::string& ShortDateFormat() { return Formats().short_date_format; }

std::string FormatDateTime(std::string_view pattern, const db::DateTime& value) {
  return db::FormatDateTime(pattern, value, Formats());
}

std::string FormatDate(const db::DateTime& value) { return FormatDateTime(Formats().short_date_format, value); }
std::string FormatTime(const db::DateTime& value) { return FormatDateTime(Formats().long_time_format, value); }

std::optional<db::DateTime> ParseDate(std::string_view text) { return db::ParseDate(text, Formats()); }

std::string FormatNumber(double value) { return db::FormatNumber(value, Formats()); }

std::optional<double> ParseNumber(std::string_view text) {
  double value = 0;
  if (db::ParseNumber(text, Formats(), value) != db::NumberTextError::kNone) return std::nullopt;
  return value;
}

}  // namespace tabulor::shell
