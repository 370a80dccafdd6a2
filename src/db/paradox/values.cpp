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
  static const TextFormats kFormats;  // dd/mm/yyyy, ':' between hours, minutes and seconds
  DateTime value;
  if (!db::ParseDateTime(text, kFormats, kEngineDateText, value))
    throw std::invalid_argument("'" + text + "' is not a valid date or time");
  return value;
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
