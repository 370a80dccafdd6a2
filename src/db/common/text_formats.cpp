#include "db/common/text_formats.h"

#include "db/common/number_notation.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tabulor::db {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsLetter(char c) { return Lower(c) >= 'a' && Lower(c) <= 'z'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Past any day, month, year, hour, minute or second: longer numbers stay here
// and are refused as too large, never cut to their first digits or wrapped.
constexpr int kTooLarge = 1'000'000'000;

class Scanner {
 public:
  Scanner(std::string_view text, bool blanks_before_separators)
      : text_(text), blanks_before_separators_(blanks_before_separators) {}
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  bool AtEnd() const { return pos_ == text_.size(); }
  bool Next(char c) const { return pos_ < text_.size() && text_[pos_] == c; }
  // A separator, blanks before it when they are allowed there.
  bool Char(char c) {
    if (blanks_before_separators_) SkipBlanks();
    if (!Next(c)) return false;
    ++pos_;
    return true;
  }
  // Digits after blanks, with how many there were; nullopt when there are none.
  std::optional<int> Number(int& digits) {
    SkipBlanks();
    digits = 0;
    int64_t value = 0;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) {
      value = std::min<int64_t>(value * 10 + (text_[pos_] - '0'), kTooLarge);
      ++digits;
      ++pos_;
    }
    if (digits == 0) return std::nullopt;
    return static_cast<int>(value);
  }
  // Milliseconds of a seconds fraction of any length, none too: its first three digits.
  int CutFraction() {
    if (blanks_before_separators_) SkipBlanks();
    int msec = 0, digits = 0;
    for (; pos_ < text_.size() && IsDigit(text_[pos_]); ++pos_)
      if (digits < 3) msec = msec * 10 + (text_[pos_] - '0'), ++digits;
    for (; digits < 3; ++digits) msec *= 10;
    return msec;
  }
  std::string_view Rest() const { return text_.substr(pos_); }
  void Skip(size_t n) { pos_ += n; }
  size_t pos() const { return pos_; }
  void set_pos(size_t pos) { pos_ = pos; }

 private:
  std::string_view text_;
  bool blanks_before_separators_;
  size_t pos_ = 0;
};

// The order of day, month and year in a short date pattern, e.g. "dmy".
std::string FieldOrder(std::string_view pattern) {
  std::string order;
  for (char c : pattern) {
    const char f = Lower(c);
    if ((f == 'd' || f == 'm' || f == 'y') && order.find(f) == std::string::npos) order += f;
  }
  return order.size() == 3 ? order : "dmy";
}

// kNoDate: the text does not start with a date (the scanner is back where it
// was); kBad: it starts with something that looks like a date but is none.
enum class DateScan { kDate, kNoDate, kBad };

DateScan ScanDate(Scanner& in, const TextFormats& formats, const DateTextOptions& options, DateTime& out) {
  int values[3];
  int digits[3];
  int count = 0;
  char separator = 0;
  const size_t start = in.pos();
  for (; count < 3; ++count) {
    if (count == 1) {
      for (const char c : {formats.date_separator, options.other_date_separator, options.iso_dates ? '-' : '\0'}) {
        if (c != '\0' && in.Char(c)) {
          separator = c;
          break;
        }
      }
      if (separator == 0) break;
    } else if (count == 2 && !in.Char(separator)) {
      break;
    }
    const auto n = in.Number(digits[count]);
    if (!n) {
      if (count > 0) return DateScan::kBad;  // a separator with nothing after it
      in.set_pos(start);
      return DateScan::kNoDate;
    }
    values[count] = *n;
  }
  if (count < 2) {
    in.set_pos(start);
    return DateScan::kNoDate;
  }
  if (count == 2 && options.year_required) return DateScan::kBad;
  const bool iso = options.iso_dates && separator == '-' && formats.date_separator != '-';
  std::string order = iso ? "ymd" : FieldOrder(formats.short_date_format);
  DateTime date;
  int year_digits = 4;
  if (count == 2) {
    order.erase(order.find('y'), 1);
    date.year = DateTime::Now().year;  // day and month only: the current year
  }
  for (int i = 0; i < count; ++i) {
    switch (order[i]) {
      case 'd': date.day = values[i]; break;
      case 'm': date.month = values[i]; break;
      case 'y':
        date.year = values[i];
        year_digits = digits[i];
        break;
    }
  }
  if (year_digits <= 2 && !iso) {
    const bool fixed = options.two_digit_years_from != 0;
    const int base = fixed ? options.two_digit_years_from : DateTime::Now().year - formats.two_digit_year_window;
    date.year += base / 100 * 100;
    if ((fixed || formats.two_digit_year_window > 0) && date.year < base) date.year += 100;
  }
  if (!date.IsValidDate()) return DateScan::kBad;
  out.year = date.year;
  out.month = date.month;
  out.day = date.day;
  return DateScan::kDate;
}

bool ScanTime(Scanner& in, const TextFormats& formats, const DateTextOptions& options, DateTime& out) {
  int digits = 0;
  auto hour = in.Number(digits);
  if (!hour) return false;
  if (!in.Char(formats.time_separator)) return false;  // a lone number is not a time
  const auto minute = in.Number(digits);
  if (!minute) return false;
  int second = 0, msec = 0;
  if (in.Char(formats.time_separator)) {
    const auto s = in.Number(digits);
    if (!s) return false;
    second = *s;
    if (in.Char(formats.decimal_separator) || in.Char('.')) {
      if (options.cut_long_fractions) {
        msec = in.CutFraction();
      } else {
        const auto z = in.Number(digits);
        if (!z || digits > 3) return false;
        msec = *z * (digits == 1 ? 100 : digits == 2 ? 10 : 1);
      }
    }
  }
  if (options.am_pm) {
    in.SkipBlanks();
    const std::string_view rest = in.Rest();
    if (rest.size() >= 2 && Lower(rest[1]) == 'm' && (Lower(rest[0]) == 'a' || Lower(rest[0]) == 'p')) {
      if (*hour < 1 || *hour > 12) return false;
      if (Lower(rest[0]) == 'a' && *hour == 12) *hour = 0;
      if (Lower(rest[0]) == 'p' && *hour < 12) *hour += 12;
      in.Skip(2);
    }
  }
  if (*hour > 23 || *minute > 59 || second > 59) return false;
  out.hour = *hour;
  out.minute = *minute;
  out.second = second;
  out.msec = msec;
  return true;
}

}  // namespace

std::string FormatDateTime(std::string_view pattern, const DateTime& value, const TextFormats& formats) {
  std::string out;
  bool after_hour = false;  // "m" right after an hour (separators between) means minutes
  auto put = [&out](int v, int width) {
    char number[16];
    std::snprintf(number, sizeof number, "%0*d", width, v);
    out += number;
  };
  for (size_t i = 0; i < pattern.size();) {
    if (pattern[i] == '"' || pattern[i] == '\'') {  // quoted literal
      auto end = pattern.find(pattern[i], i + 1);
      if (end == std::string_view::npos) end = pattern.size();
      out += pattern.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    const char c = Lower(pattern[i]);
    size_t run = 1;
    while (i + run < pattern.size() && Lower(pattern[i + run]) == c) ++run;
    const int width = run >= 2 ? 2 : 1;
    switch (c) {
      case 'd': put(value.day, width); break;
      case 'y': run <= 2 ? put(value.year % 100, 2) : put(value.year, 4); break;
      case 'm': put(after_hour ? value.minute : value.month, width); break;
      case 'h': put(value.hour, width); break;
      case 'n': put(value.minute, width); break;
      case 's': put(value.second, width); break;
      case 'z': put(value.msec, run >= 3 ? 3 : 1); break;
      case '/': out.append(run, formats.date_separator); break;
      case ':': out.append(run, formats.time_separator); break;
      default: out.append(pattern.substr(i, run)); break;
    }
    if (IsLetter(c)) after_hour = c == 'h';
    i += run;
  }
  return out;
}

std::optional<DateTime> ParseDate(std::string_view text, const TextFormats& formats) {
  const DateTextOptions options;
  Scanner in(text, options.blanks_before_separators);
  DateTime value;
  if (ScanDate(in, formats, options, value) != DateScan::kDate) return std::nullopt;
  in.SkipBlanks();
  if (!in.AtEnd()) return std::nullopt;
  return value;
}

bool ParseDateTime(std::string_view text, const TextFormats& formats, const DateTextOptions& options,
                   DateTime& value) {
  Scanner in(text, options.blanks_before_separators);
  DateTime read;
  const DateScan date = ScanDate(in, formats, options, read);
  if (date == DateScan::kBad) return false;
  in.SkipBlanks();
  if (!in.AtEnd()) {
    if (date == DateScan::kDate && options.iso_dates && in.Next('T')) in.Skip(1);
    if (!ScanTime(in, formats, options, read)) return false;
    in.SkipBlanks();
    if (!in.AtEnd()) return false;
  } else if (date != DateScan::kDate) {
    return false;
  }
  if (date != DateScan::kDate && options.time_alone_on_day_zero) {
    read.year = 1899;
    read.month = 12;
    read.day = 30;
  }
  value = read;
  return true;
}

std::optional<DateTime> ParseDateTime(std::string_view text, const TextFormats& formats) {
  DateTime value;
  if (!ParseDateTime(text, formats, DateTextOptions{}, value)) return std::nullopt;
  return value;
}

std::string FormatNumber(double value, const TextFormats& formats) {
  return FormatNumber(value, NumberNotation{formats.decimal_separator, 15, -5, false});
}

std::string FormatNumber(double value, const NumberNotation& notation) {
  const bool c = notation.c_notation;
  if (std::isnan(value)) return c ? (std::signbit(value) ? "-nan" : "nan") : "NAN";
  if (std::isinf(value)) return value > 0 ? (c ? "inf" : "INF") : (c ? "-inf" : "-INF");
  if (value == 0) return c && std::signbit(value) ? "-0" : "0";
  // 15 significant digits, correctly rounded; to_chars, unlike printf, ignores the C locale.
  char buf[40];
  const auto written = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  const std::string text(buf, written.ptr);
  const auto e = text.find('e');
  const int exponent = std::atoi(text.c_str() + e + 1);
  const bool negative = text[0] == '-';
  std::string digits;
  for (size_t i = negative ? 1 : 0; i < e; ++i)
    if (text[i] != '.') digits += text[i];
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  const char sep = notation.decimal_separator;
  std::string out = negative ? "-" : "";
  if (exponent >= notation.exponent_from || exponent < notation.exponent_below) {
    out += digits[0];
    if (digits.size() > 1) out += sep + digits.substr(1);
    if (c) {
      const std::string power = std::to_string(exponent < 0 ? -exponent : exponent);
      out += std::string(exponent < 0 ? "e-" : "e+") + (power.size() < 2 ? "0" : "") + power;
    } else {
      out += "E" + std::to_string(exponent);
    }
  } else if (exponent < 0) {
    out += "0";
    out += sep;
    out += std::string(-exponent - 1, '0') + digits;
  } else {
    const size_t int_digits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= int_digits) {
      out += digits + std::string(int_digits - digits.size(), '0');
    } else {
      out += digits.substr(0, int_digits);
      out += sep;
      out += digits.substr(int_digits);
    }
  }
  return out;
}

namespace {

// A number's text in the C form: on the stack while it is short, as most are.
class CForm {
 public:
  CForm& operator+=(char c) {
    if (size_ < sizeof short_) short_[size_] = c;
    else {
      if (size_ == sizeof short_) long_.assign(short_, sizeof short_);
      long_ += c;
    }
    ++size_;
    return *this;
  }
  const char* data() const { return size_ <= sizeof short_ ? short_ : long_.data(); }
  size_t size() const { return size_; }

 private:
  char short_[64];
  std::string long_;
  size_t size_ = 0;
};

}  // namespace

NumberTextError ParseNumber(std::string_view text, const TextFormats& formats, double& value) {
  const std::string_view trimmed = Trim(text);
  auto at = [&](size_t k) { return k < trimmed.size() ? trimmed[k] : '\0'; };
  // Rewritten in the C form for from_chars, which ignores the C locale a desktop program sets.
  CForm c_form;
  bool digits = false;
  size_t i = 0;
  if (at(i) == '-') c_form += trimmed[i++];
  else if (at(i) == '+') ++i;
  while (IsDigit(at(i))) c_form += trimmed[i++], digits = true;
  if (at(i) == formats.decimal_separator) {
    c_form += '.';
    ++i;
    while (IsDigit(at(i))) c_form += trimmed[i++], digits = true;
  }
  if (digits && (at(i) == 'e' || at(i) == 'E')) {
    c_form += 'e';
    ++i;
    if (at(i) == '+' || at(i) == '-') c_form += trimmed[i++];
    if (!IsDigit(at(i))) digits = false;
    while (IsDigit(at(i))) c_form += trimmed[i++];
  }
  if (!digits || i != trimmed.size()) return NumberTextError::kNotANumber;
  const auto [end, error] = std::from_chars(c_form.data(), c_form.data() + c_form.size(), value);
  if (error == std::errc::result_out_of_range) return NumberTextError::kOutOfRange;
  if (error != std::errc() || end != c_form.data() + c_form.size()) return NumberTextError::kNotANumber;
  return NumberTextError::kNone;
}

}  // namespace tabulor::db
