#include "shell/birth_date.h"

#include <cctype>

#include "shell/formats.h"

namespace tabulor::shell {

std::optional<db::DateTime> ParseBirthDate(std::string_view text, const db::DateTime& today) {
  std::optional<db::DateTime> date = ParseDate(text);
  if (!date) return std::nullopt;
  // The year is the last group of digits whatever the order of the short date format;
  // when it is not, the date is read as it stands.
  size_t end = text.find_last_not_of(" \t");
  size_t begin = end;
  while (begin != std::string_view::npos && begin > 0 && std::isdigit(static_cast<unsigned char>(text[begin - 1]))) --begin;
  const bool year_last = Formats().short_date_format.find_last_of("yY") > Formats().short_date_format.find_last_of("dDmM");
  if (!year_last || end == std::string_view::npos || end - begin + 1 > 2) return date;
  db::DateTime day_only{today.year, today.month, today.day, 0, 0, 0, 0};
  while (*date > day_only) date->year -= 100;
  while (date->year + 100 <= today.year && db::DateTime{date->year + 100, date->month, date->day, 0, 0, 0, 0} <= day_only)
    date->year += 100;
  if (!date->IsValidDate()) return std::nullopt;  // 29 February moved into a common year
  return date;
}

}  // namespace tabulor::shell
