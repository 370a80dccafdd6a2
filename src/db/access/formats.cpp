#include "db/access/formats.h"

#include <cctype>

#include "db/access/error.h"

namespace tabulor::db::access {
namespace {

AccessFormats& FixedFormats() {
  static AccessFormats formats;
  return formats;
}

std::function<AccessFormats()>& FormatsSource() {
  static std::function<AccessFormats()> source;
  return source;
}

}  // namespace

void SetAccessFormats(const AccessFormats& formats) {
  FixedFormats() = formats;
  FormatsSource() = nullptr;
}

void SetAccessFormatsSource(std::function<AccessFormats()> source) { FormatsSource() = std::move(source); }

AccessFormats CurrentAccessFormats() { return FormatsSource() ? FormatsSource()() : FixedFormats(); }

DateTime TextToDateTime(const std::string& text, const AccessFormats& formats) {
  const auto value = ParseDateTime(text, formats);
  if (!value) throw AccessError("'" + text + "' n'est pas une date ou une heure valide");
  return *value;
}

double TextToFloat(const std::string& text, const AccessFormats& formats) {
  double value = 0;
  switch (ParseNumber(text, formats, value)) {
    case NumberTextError::kNone: return value;
    case NumberTextError::kOutOfRange: throw AccessError("'" + text + "' est hors des limites numériques");
    case NumberTextError::kNotANumber: break;
  }
  throw AccessError("'" + text + "' n'est pas une valeur numérique valide");
}

int32_t TextToInteger(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  int64_t value = 0;
  size_t first = i;
  for (; i < text.size(); ++i) {
    const int digit = std::isdigit(static_cast<unsigned char>(text[i])) ? text[i] - '0'
                      : base == 16 && std::isxdigit(static_cast<unsigned char>(text[i]))
                          ? std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 10
                          : -1;
    if (digit < 0) break;
    value = value * base + digit;
    if (value > int64_t{1} << 32) break;
  }
  if (i == first || i != text.size()) throw AccessError("'" + text + "' n'est pas un nombre entier valide");
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) throw AccessError("'" + text + "' est hors des limites d'un entier");
  return static_cast<int32_t>(value);
}

std::string DateTimeToText(const DateTime& value, const AccessFormats& formats) {
  std::string text = FormatDateTime(formats.short_date_format, value, formats);
  if (value.hour != 0 || value.minute != 0 || value.second != 0)
    text += " " + FormatDateTime(formats.long_time_format, value, formats);
  return text;
}

std::string FloatToText(double value, const AccessFormats& formats) { return FormatNumber(value, formats); }

}  // namespace tabulor::db::access
