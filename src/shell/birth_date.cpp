#include "shell/birth_date.h"

#include <cctype>

#include "shell/formats.h"

namespace tabulor::shell {
namespace {

// Day and month take at most two digits, so a longer run of digits is a year written in full.
bool HasFullYear(std::string_view text) {
  int run = 0;
  for (char c : text) {
    run = std::isdigit(static_cast<unsigned char>(c)) ? run + 1 : 0;
    if (run >= 3) return true;
  }
  return false;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

std::optional<db::DateTime> ParseBirthDate(std::string_view text, const db::DateTime& today) {
  std::optional<db::DateTime> date = ParseDate(text);
  if (!date || HasFullYear(text)) return date;
  const db::DateTime day_of_today{today.year, today.month, today.day};
  if (db::DateTime{date->year, date->month, date->day} <= day_of_today) return date;
  date->year -= 100;
  if (date->month == 2 && date->day == 29 && !IsLeap(date->year)) date->day = 28;
  return date;
}

}  // namespace tabulor::shell
