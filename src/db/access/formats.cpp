#include "db/access/formats.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

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

[[noreturn]] void NotADate(const std::string& text) {
  throw AccessError("'" + text + "' n'est pas une date ou une heure valide");
}

class Scanner {
 public:
  explicit Scanner(const std::string& text) : text_(text) {}
  void SkipSpaces() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
  }
  bool AtEnd() const { return pos_ == text_.size(); }
  bool Char(char c) {
    SkipSpaces();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // Digits, with how many there were; nullopt when there are none.
  std::optional<int> Number(int& digits) {
    SkipSpaces();
    digits = 0;
    long value = 0;
    while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
      if (digits < 9) value = value * 10 + (text_[pos_] - '0');
      ++digits;
      ++pos_;
    }
    if (digits == 0) return std::nullopt;
    return static_cast<int>(value);
  }
  size_t pos() const { return pos_; }
  void set_pos(size_t pos) { pos_ = pos; }
  const std::string& text() const { return text_; }

 private:
  const std::string& text_;
  size_t pos_ = 0;
};

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// The order of day, month and year in a short date pattern, e.g. "DMY".
std::string FieldOrder(const std::string& pattern) {
  std::string order;
  for (char c : pattern) {
    const char f = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if ((f == 'D' || f == 'M' || f == 'Y') && order.find(f) == std::string::npos) order += f;
  }
  return order.size() == 3 ? order : "DMY";
}

bool ScanDate(Scanner& in, const AccessFormats& formats, DateTime& out) {
  int values[3];
  int digits[3];
  int count = 0;
  const size_t start = in.pos();
  for (; count < 3; ++count) {
    if (count > 0 && !in.Char(formats.date_separator)) break;
    auto n = in.Number(digits[count]);
    if (!n) {
      if (count > 0) return false;  // a separator with nothing after it
      in.set_pos(start);
      return false;
    }
    values[count] = *n;
  }
  if (count < 2) {
    in.set_pos(start);
    return false;
  }
  const std::string order = FieldOrder(formats.short_date_format);
  int year = 0, month = 0, day = 0;
  int year_digits = 4;
  if (count == 3) {
    for (int i = 0; i < 3; ++i) {
      if (order[i] == 'D') day = values[i];
      if (order[i] == 'M') month = values[i];
      if (order[i] == 'Y') {
        year = values[i];
        year_digits = digits[i];
      }
    }
  } else {  // day and month only: the current year
    year = DateTime::Now().year;
    const bool month_first = order.find('M') < order.find('D');
    month = month_first ? values[0] : values[1];
    day = month_first ? values[1] : values[0];
  }
  if (year_digits <= 2) {
    const int base = DateTime::Now().year - formats.two_digit_year_window;
    year += base / 100 * 100;
    if (formats.two_digit_year_window > 0 && year < base) year += 100;
  }
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
  out.year = year;
  out.month = month;
  out.day = day;
  return true;
}

bool ScanTime(Scanner& in, const AccessFormats& formats, DateTime& out) {
  int digits = 0;
  auto hour = in.Number(digits);
  if (!hour) return false;
  int minute = 0, second = 0, msec = 0;
  if (in.Char(formats.time_separator)) {
    auto m = in.Number(digits);
    if (!m) return false;
    minute = *m;
    if (in.Char(formats.time_separator)) {
      auto s = in.Number(digits);
      if (!s) return false;
      second = *s;
      if (in.Char(formats.decimal_separator) || in.Char('.')) {
        auto z = in.Number(digits);
        if (!z || digits > 3) return false;
        msec = *z * (digits == 1 ? 100 : digits == 2 ? 10 : 1);
      }
    }
  } else {
    return false;  // a lone number is not a time
  }
  in.SkipSpaces();
  const std::string rest = in.text().substr(in.pos());
  auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string marker = upper(rest.substr(0, 2));
  if (marker == "AM" || marker == "PM") {
    if (*hour < 1 || *hour > 12) return false;
    if (marker == "AM" && *hour == 12) *hour = 0;
    if (marker == "PM" && *hour < 12) *hour += 12;
    in.set_pos(in.pos() + 2);
  }
  if (*hour > 23 || minute > 59 || second > 59) return false;
  out.hour = *hour;
  out.minute = minute;
  out.second = second;
  out.msec = msec;
  return true;
}

std::string TrimSpaces(const std::string& text) {
  size_t b = text.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = text.find_last_not_of(" \t");
  return text.substr(b, e - b + 1);
}

}  // namespace

void SetAccessFormats(const AccessFormats& formats) {
  FixedFormats() = formats;
  FormatsSource() = nullptr;
}

void SetAccessFormatsSource(std::function<AccessFormats()> source) { FormatsSource() = std::move(source); }

AccessFormats CurrentAccessFormats() { return FormatsSource() ? FormatsSource()() : FixedFormats(); }

DateTime TextToDateTime(const std::string& text, const AccessFormats& formats) {
  Scanner in(text);
  DateTime value;
  const bool has_date = ScanDate(in, formats, value);
  in.SkipSpaces();
  if (!in.AtEnd()) {
    if (!ScanTime(in, formats, value)) NotADate(text);
    in.SkipSpaces();
    if (!in.AtEnd()) NotADate(text);
  } else if (!has_date) {
    NotADate(text);
  }
  if (!has_date) {  // a time alone lies on day 0 of the OLE calendar
    value.year = 1899;
    value.month = 12;
    value.day = 30;
  }
  return value;
}

double TextToFloat(const std::string& text, const AccessFormats& formats) {
  const std::string trimmed = TrimSpaces(text);
  std::string c_form;
  bool digits = false;
  size_t i = 0;
  auto at = [&](size_t k) { return k < trimmed.size() ? trimmed[k] : '\0'; };
  if (at(i) == '+' || at(i) == '-') c_form += trimmed[i++];
  while (std::isdigit(static_cast<unsigned char>(at(i)))) c_form += trimmed[i++], digits = true;
  if (at(i) == formats.decimal_separator) {
    c_form += '.';
    ++i;
    while (std::isdigit(static_cast<unsigned char>(at(i)))) c_form += trimmed[i++], digits = true;
  }
  if (digits && (at(i) == 'e' || at(i) == 'E')) {
    c_form += 'e';
    ++i;
    if (at(i) == '+' || at(i) == '-') c_form += trimmed[i++];
    if (!std::isdigit(static_cast<unsigned char>(at(i)))) digits = false;
    while (std::isdigit(static_cast<unsigned char>(at(i)))) c_form += trimmed[i++];
  }
  if (!digits || i != trimmed.size())
    throw AccessError("'" + text + "' n'est pas une valeur numérique valide");
  // from_chars ignores the C locale, which a desktop program sets from the user's.
  if (c_form[0] == '+') c_form.erase(0, 1);
  double value = 0;
  const auto [end, error] = std::from_chars(c_form.data(), c_form.data() + c_form.size(), value);
  if (error == std::errc::result_out_of_range) throw AccessError("'" + text + "' est hors des limites numériques");
  if (error != std::errc() || end != c_form.data() + c_form.size())
    throw AccessError("'" + text + "' n'est pas une valeur numérique valide");
  return value;
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

std::string FormatDateTime(const std::string& pattern, const DateTime& value, const AccessFormats& formats) {
  std::string out;
  bool after_hour = false;  // "m" right after an hour means minutes
  char number[16];
  auto put = [&](int v, int width) {
    std::snprintf(number, sizeof number, "%0*d", width, v);
    out += number;
  };
  for (size_t i = 0; i < pattern.size();) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    size_t run = 1;
    while (i + run < pattern.size() && std::tolower(static_cast<unsigned char>(pattern[i + run])) == c) ++run;
    if (c == '"' || c == '\'') {  // quoted literal
      size_t end = pattern.find(pattern[i], i + 1);
      if (end == std::string::npos) end = pattern.size();
      out += pattern.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    switch (c) {
      case 'd': put(value.day, run >= 2 ? 2 : 1); break;
      case 'y': run <= 2 ? put(value.year % 100, 2) : put(value.year, 4); break;
      case 'm':
        if (after_hour) put(value.minute, run >= 2 ? 2 : 1);
        else put(value.month, run >= 2 ? 2 : 1);
        break;
      case 'h': put(value.hour, run >= 2 ? 2 : 1); break;
      case 'n': put(value.minute, run >= 2 ? 2 : 1); break;
      case 's': put(value.second, run >= 2 ? 2 : 1); break;
      case 'z': put(value.msec, run >= 3 ? 3 : 1); break;
      case '/': out.append(run, formats.date_separator); break;
      case ':': out.append(run, formats.time_separator); break;
      default: out.append(pattern, i, run); break;
    }
    if (c == 'h') after_hour = true;
    else if (c == 'm' || c == 'd' || c == 'y') after_hour = false;
    i += run;
  }
  return out;
}

std::string DateTimeToText(const DateTime& value, const AccessFormats& formats) {
  std::string text = FormatDateTime(formats.short_date_format, value, formats);
  if (value.hour != 0 || value.minute != 0 || value.second != 0)
    text += " " + FormatDateTime(formats.long_time_format, value, formats);
  return text;
}

std::string FloatToText(double value, const AccessFormats& formats) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  // "1.5e+20" is written "1,5E20" by the platform: no '+', no leading zeros.
  const size_t e = text.find('e');
  if (e != std::string::npos) {
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    bool negative = !exponent.empty() && exponent[0] == '-';
    if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-')) exponent.erase(0, 1);
    exponent.erase(0, exponent.find_first_not_of('0'));
    text = mantissa + "E" + (negative ? "-" : "") + (exponent.empty() ? "0" : exponent);
  }
  for (char& c : text)
    if (c == '.') c = formats.decimal_separator;
  return text;
}

}  // namespace tabulor::db::access
