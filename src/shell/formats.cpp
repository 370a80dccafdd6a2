#include "shell/formats.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tabulor::shell {
namespace {

std::string Padded(int value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

size_t RunLength(std::string_view s, size_t at) {
  size_t n = 1;
  while (at + n < s.size() && Lower(s[at + n]) == Lower(s[at])) ++n;
  return n;
}

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

FormatSettings& Formats() {
  static FormatSettings settings;
  return settings;
}

void SetShortDateFormat(std::string pattern) { Formats().short_date = std::move(pattern); }
const std::string& ShortDateFormat() { return Formats().short_date; }

std::string FormatDateTime(std::string_view pattern, const db::DateTime& v) {
  const FormatSettings& fs = Formats();
  std::string out;
  bool after_hour = false;  // "m" right after an hour means minutes
  for (size_t i = 0; i < pattern.size();) {
    const char c = Lower(pattern[i]);
    if (pattern[i] == '\'' || pattern[i] == '"') {
      const auto close = pattern.find(pattern[i], i + 1);
      const auto end = close == std::string_view::npos ? pattern.size() : close;
      out += pattern.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    const size_t n = RunLength(pattern, i);
    switch (c) {
      case 'd': out += Padded(v.day, n >= 2 ? 2 : 1); break;
      case 'm':
        if (after_hour) out += Padded(v.minute, n >= 2 ? 2 : 1);
        else out += Padded(v.month, n >= 2 ? 2 : 1);
        break;
      case 'y': out += n <= 2 ? Padded(v.year % 100, 2) : Padded(v.year, 4); break;
      case 'h': out += Padded(v.hour, n >= 2 ? 2 : 1); break;
      case 'n': out += Padded(v.minute, n >= 2 ? 2 : 1); break;
      case 's': out += Padded(v.second, n >= 2 ? 2 : 1); break;
      case 'z': out += Padded(v.msec, n >= 3 ? 3 : 1); break;
      case '/': out.append(n, fs.date_separator); break;
      case ':': out.append(n, fs.time_separator); break;
      default: out.append(pattern.substr(i, n)); break;
    }
    if (c == 'h') after_hour = true;
    else if (c != ':' && c != ' ') after_hour = false;
    i += n;
  }
  return out;
}

std::string FormatDate(const db::DateTime& value) { return FormatDateTime(Formats().short_date, value); }
std::string FormatTime(const db::DateTime& value) { return FormatDateTime(Formats().long_time, value); }

std::optional<db::DateTime> ParseDate(std::string_view text) {
  const FormatSettings& fs = Formats();
  text = Trim(text);
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const auto sep = text.find(fs.date_separator, start);
    parts.push_back(Trim(text.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start)));
    if (sep == std::string_view::npos) break;
    start = sep + 1;
  }
  if (parts.size() < 2 || parts.size() > 3) return std::nullopt;

  // The order of day, month and year as the short date format lists them.
  std::string order;
  for (char c : fs.short_date) {
    const char l = Lower(c);
    if ((l == 'd' || l == 'm' || l == 'y') && order.find(l) == std::string::npos) order += l;
  }
  if (order.size() != 3) order = "dmy";
  if (parts.size() == 2) order.erase(order.find('y'), 1);

  const db::DateTime today = db::DateTime::Now();
  db::DateTime date;
  date.year = today.year;
  for (size_t k = 0; k < parts.size(); ++k) {
    const std::string_view part = parts[k];
    int value = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || ec != std::errc() || end != part.data() + part.size() || value < 0) return std::nullopt;
    switch (order[k]) {
      case 'd': date.day = value; break;
      case 'm': date.month = value; break;
      case 'y':
        if (part.size() <= 2) {
          const int threshold = today.year - fs.two_digit_year_window;
          value += threshold / 100 * 100;
          if (fs.two_digit_year_window > 0 && value < threshold) value += 100;
        }
        date.year = value;
        break;
    }
  }
  if (date.year < 1 || !date.IsValidDate()) return std::nullopt;
  return date;
}

std::string FormatNumber(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", value);
  std::string text(buf);
  const auto e = text.find('e');
  const int exponent = std::atoi(text.c_str() + e + 1);
  const bool negative = text[0] == '-';
  std::string digits;
  for (size_t i = negative ? 1 : 0; i < e; ++i)
    if (text[i] != '.') digits += text[i];
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  const char sep = Formats().decimal_separator;
  std::string out = negative ? "-" : "";
  if (exponent >= 15 || exponent < -5) {
    out += digits[0];
    if (digits.size() > 1) out += sep + digits.substr(1);
    out += "E" + std::to_string(exponent);
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

std::optional<double> ParseNumber(std::string_view text) {
  text = Trim(text);
  const char sep = Formats().decimal_separator;
  std::string normal;
  for (char c : text) {
    if (c == sep) normal += '.';
    else if (c == '.' || c == ',') return std::nullopt;  // not this locale's separator
    else normal += c;
  }
  if (!normal.empty() && normal.front() == '+') normal.erase(0, 1);
  if (normal.empty()) return std::nullopt;
  double value = 0;
  const auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
  if (ec != std::errc() || end != normal.data() + normal.size()) return std::nullopt;
  return value;
}

}  // namespace tabulor::shell
