#include "patient_file_import/patient_values.h"

#include "shell/formats.h"

namespace tabulor::patient_file_import {

std::string SizeText(std::optional<double> value, const std::string& fallback) {
  if (!value) return fallback;
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
