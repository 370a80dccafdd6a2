#include "patient_file_import/patient_values.h"

#include <charconv>
#include <cmath>

#include "shell/formats.h"

namespace tabulor::patient_file_import {
namespace {

// shell::FormatNumber's text of the usual sizes, without its general path:
// the shortest digits that read back as `value` (to_chars), when they are 15
// or fewer, are its rounding to 15 significant digits (a double is closer to
// them than a tenth of that rounding's last unit), written out between 1E-5
// and 1E15 as FormatNumber writes them. Nullopt for any other value.
std::optional<std::string> ShortNumberText(double value) {
  if (!std::isfinite(value) || value == 0) return std::nullopt;
  char buf[64];
  const auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
  if (written.ec != std::errc()) return std::nullopt;
  std::string text(buf, written.ptr);
  const size_t first = text[0] == '-' ? 1 : 0;
  const size_t point = text.find('.');
  const size_t int_end = point == std::string::npos ? text.size() : point;
  size_t significant = 0;
  if (text.compare(first, int_end - first, "0") == 0) {
    // 0.000ddd: at most four zeros after the point (from 1E-5 on).
    const size_t lead = text.find_first_not_of('0', int_end + 1);
    if (lead == std::string::npos || lead - int_end - 1 > 4) return std::nullopt;
    significant = text.size() - lead;
  } else {
    if (int_end - first > 15) return std::nullopt;
    significant = text.size() - first - (point == std::string::npos ? 0 : 1);
  }
  if (significant > 15) return std::nullopt;
  if (point != std::string::npos) text[point] = shell::Formats().decimal_separator;
  return text;
}

}  // namespace

std::string SizeText(std::optional<double> value, const std::string& fallback) {
  if (!value) return fallback;
  if (std::optional<std::string> text = ShortNumberText(*value)) return *std::move(text);
  const std::string text = shell::FormatNumber(*value);
  return text.empty() || text == "0" ? fallback : text;
}

int AgeOn(const db::DateTime& birth, const db::DateTime& today) {
  int age = today.year - birth.year;
  if (today.month < birth.month || (today.month == birth.month && today.day < birth.day)) --age;
  return age;
}

int ClassFor(const db::DateTime& birth, const db::DateTime& today) { return AgeOn(birth, today) <= 14 ? 0 : 1; }

std::string CutToCharacters(const std::string& text, size_t characters) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool starts_character = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts_character && count++ == characters) return text.substr(0, i);
  }
  return text;
}

}  // namespace tabulor::patient_file_import
