#include "db/paradox/values.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "db/common/number_notation.h"
#include "db/common/text_formats.h"
#include "db/paradox/names.h"

namespace tabulor::db {

bool IsBlobType(FieldType t) {
  return t == FieldType::kMemo || t == FieldType::kBlob || t == FieldType::kFmtMemo || t == FieldType::kOle ||
         t == FieldType::kGraphic;
}

}  // namespace tabulor::db

namespace tabulor::db::values {
namespace {

std::string Trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

// A comma or a point before the decimals, whatever the process's locale.
double ParseNumber(const std::string& text) {
  if (Trimmed(text).empty()) throw std::invalid_argument("'' is not a valid number");
  TextFormats formats;
  double d = 0;
  for (char separator : {',', '.'}) {
    formats.decimal_separator = separator;
    if (db::ParseNumber(text, formats, d) == NumberTextError::kNone) return d;
  }
  throw std::invalid_argument("'" + text + "' is not a valid number");
}

int64_t ParseInteger(const std::string& text) {
  std::string t = Trimmed(text);
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (t.empty() || *end != '\0' || errno == ERANGE) {
    double d = ParseNumber(text);
    if (d != std::trunc(d)) throw std::invalid_argument("'" + text + "' is not a valid integer");
    return static_cast<int64_t>(d);
  }
  return v;
}

std::string FormatDouble(double d) { return FormatNumber(d, kCNumberNotation); }

int Sign(double d) { return d < 0 ? -1 : d > 0 ? 1 : 0; }

}  // namespace

DateTime ParseDateTime(const std::string& text) {
  std::string t = Trimmed(text);
  DateTime r;
  int a = 0, b = 0, c = 0, h = 0, m = 0, s = 0, ms = 0;
  char sep1 = 0, sep2 = 0;
  int used = 0;
  auto parse_time = [&](const char* p) -> bool {
    int n = 0;
    h = m = s = ms = 0;
    if (std::sscanf(p, "%d:%d%n", &h, &m, &n) < 2) return false;
    const char* rest = p + n;
    if (*rest == ':') {
      int k = 0;
      if (std::sscanf(rest, ":%d%n", &s, &k) < 1) return false;
      rest += k;
      if (*rest == '.' || *rest == ',') {
        int digits = 0;
        ++rest;
        while (*rest >= '0' && *rest <= '9' && digits < 3) ms = ms * 10 + (*rest++ - '0'), ++digits;
        while (digits++ < 3) ms *= 10;
        while (*rest >= '0' && *rest <= '9') ++rest;
      }
    }
    while (*rest == ' ') ++rest;
    if (*rest) return false;
    return h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 60;
  };
  if (std::sscanf(t.c_str(), "%d%c%d%c%d%n", &a, &sep1, &b, &sep2, &c, &used) == 5 && sep1 == sep2 &&
      (sep1 == '-' || sep1 == '/' || sep1 == '.')) {
    if (sep1 == '-') {
      r.year = a, r.month = b, r.day = c;
    } else {
      r.day = a, r.month = b, r.year = c;
      if (used > 0 && c < 100 && t.find_first_of("/.") != std::string::npos) {
        size_t last = t.find_last_of(sep1);
        size_t end = t.find(' ', last);
        if ((end == std::string::npos ? t.size() : end) - last - 1 <= 2) r.year = c < 50 ? 2000 + c : 1900 + c;
      }
    }
    if (!r.IsValidDate()) throw std::invalid_argument("'" + text + "' is not a valid date");
    std::string rest = Trimmed(t.substr(static_cast<size_t>(used)));
    if (!rest.empty()) {
      if (rest[0] == 'T') rest = rest.substr(1);
      if (!parse_time(rest.c_str())) throw std::invalid_argument("'" + text + "' is not a valid date and time");
      r.hour = h, r.minute = m, r.second = s, r.msec = ms;
    }
    return r;
  }
  if (parse_time(t.c_str())) {
    r.hour = h, r.minute = m, r.second = s, r.msec = ms;
    return r;
  }
  throw std::invalid_argument("'" + text + "' is not a valid date or time");
}

std::string ToText(const Value& v, FieldType type) {
  if (IsNull(v)) return {};
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  if (auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&v)) return FormatDouble(*d);
  if (auto* b = std::get_if<bool>(&v)) return *b ? "True" : "False";
  if (auto* dt = std::get_if<DateTime>(&v)) {
    std::string time = dt->IsoTime().substr(0, 8);
    if (type == FieldType::kTime) return time;
    if (type == FieldType::kDate) return dt->IsoDate();
    return dt->IsoDate() + " " + time;
  }
  const Blob& blob = std::get<Blob>(v);
  return std::string(blob.begin(), blob.end());
}

int64_t ToInteger(const Value& v) {
  if (IsNull(v)) return 0;
  if (auto* i = std::get_if<int64_t>(&v)) return *i;
  if (auto* d = std::get_if<double>(&v)) {
    if (!(std::fabs(*d) < 9.2e18)) throw std::invalid_argument("number out of integer range");
    return std::llround(*d);
  }
  if (auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
  if (auto* s = std::get_if<std::string>(&v)) return s->empty() ? 0 : ParseInteger(*s);
  throw std::invalid_argument("the value is not an integer");
}

double ToFloat(const Value& v) {
  if (IsNull(v)) return 0;
  if (auto* i = std::get_if<int64_t>(&v)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&v)) return *d;
  if (auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
  if (auto* s = std::get_if<std::string>(&v)) return s->empty() ? 0 : ParseNumber(*s);
  if (auto* dt = std::get_if<DateTime>(&v)) return dt->ToOleDate();
  throw std::invalid_argument("the value is not a number");
}

bool ToBoolean(const Value& v) {
  if (IsNull(v)) return false;
  if (auto* b = std::get_if<bool>(&v)) return *b;
  if (auto* i = std::get_if<int64_t>(&v)) return *i != 0;
  if (auto* d = std::get_if<double>(&v)) return *d != 0;
  if (auto* s = std::get_if<std::string>(&v)) {
    std::string u = names::Upper(Trimmed(*s));
    if (u == "T" || u == "TRUE" || u == "Y" || u == "YES" || u == "1") return true;
    if (u.empty() || u == "F" || u == "FALSE" || u == "N" || u == "NO" || u == "0") return false;
    throw std::invalid_argument("'" + *s + "' is not a valid Boolean");
  }
  throw std::invalid_argument("the value is not a Boolean");
}

DateTime ToDateTime(const Value& v) {
  if (IsNull(v)) return {};
  if (auto* dt = std::get_if<DateTime>(&v)) return *dt;
  if (auto* s = std::get_if<std::string>(&v)) return s->empty() ? DateTime{} : ParseDateTime(*s);
  if (auto* d = std::get_if<double>(&v)) return DateTime::FromOleDate(*d);
  if (auto* i = std::get_if<int64_t>(&v)) return DateTime::FromOleDate(static_cast<double>(*i));
  throw std::invalid_argument("the value is not a date");
}

Value ToFieldKind(FieldType type, int decimals, const Value& v) {
  if (IsNull(v)) return {};
  switch (type) {
    case FieldType::kAlpha: case FieldType::kMemo: case FieldType::kFmtMemo: {
      std::string s = ToText(v, type);
      if (s.empty()) return {};
      return s;
    }
    case FieldType::kShort: case FieldType::kLong: case FieldType::kAutoInc: return ToInteger(v);
    case FieldType::kMoney: case FieldType::kNumber: return ToFloat(v);
    case FieldType::kDate: case FieldType::kTime: case FieldType::kTimestamp: {
      DateTime d = ToDateTime(v);
      if (type == FieldType::kDate) d.hour = d.minute = d.second = d.msec = 0;
      if (type == FieldType::kTime) d.year = d.month = d.day = 0;
      if (type != FieldType::kTime && !d.HasDate() && d.MillisecondsOfDay() == 0) return {};
      return d;
    }
    case FieldType::kLogical: return ToBoolean(v);
    case FieldType::kBcd: {
      if (auto* s = std::get_if<std::string>(&v)) return s->empty() ? Value{} : Value{Trimmed(*s)};
      if (auto* i = std::get_if<int64_t>(&v)) return std::to_string(*i);
      // printf's "%.*f" of the C locale, whatever the process's.
      char buf[400];
      const auto written = std::to_chars(buf, buf + sizeof buf, ToFloat(v), std::chars_format::fixed, decimals);
      return std::string(buf, written.ptr);
    }
    case FieldType::kBytes: case FieldType::kBlob: case FieldType::kOle: case FieldType::kGraphic: {
      if (auto* b = std::get_if<Blob>(&v)) return b->empty() ? Value{} : Value{*b};
      std::string s = ToText(v, type);
      if (s.empty()) return {};
      return Blob(s.begin(), s.end());
    }
  }
  throw std::invalid_argument("unknown field type");
}

int Compare(const Value& a, const Value& b, bool ci) {
  if (IsNull(a) || IsNull(b)) return IsNull(a) == IsNull(b) ? 0 : IsNull(a) ? -1 : 1;
  if (auto* sa = std::get_if<std::string>(&a)) {
    if (auto* sb = std::get_if<std::string>(&b)) {
      int c = ci ? names::Upper(*sa).compare(names::Upper(*sb)) : sa->compare(*sb);
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
  }
  if (auto* da = std::get_if<DateTime>(&a)) {
    if (auto* db = std::get_if<DateTime>(&b)) return *da < *db ? -1 : *db < *da ? 1 : 0;
  }
  if (auto* ba = std::get_if<Blob>(&a)) {
    if (auto* bb = std::get_if<Blob>(&b)) return *ba < *bb ? -1 : *bb < *ba ? 1 : 0;
  }
  if (std::holds_alternative<int64_t>(a) && std::holds_alternative<int64_t>(b)) {
    int64_t x = std::get<int64_t>(a), y = std::get<int64_t>(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  return Sign(ToFloat(a) - ToFloat(b));
}

}  // namespace tabulor::db::values
