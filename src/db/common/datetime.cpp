#include "db/common/datetime.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace tabulor::db {
namespace {

// Days from 1970-01-01 for a proleptic Gregorian civil date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

constexpr int64_t kOrdinalOf1970 = 719163;  // 1970-01-01 counted from 0001-01-01 = 1
constexpr int64_t kOrdinalOf1899_12_30 = 693594;
constexpr int64_t kMsPerDay = 86400000;

}  // namespace

DateTime DateTime::FromOrdinalDays(int32_t days) {
  DateTime r;
  if (days == 0) return r;
  CivilFromDays(static_cast<int64_t>(days) - kOrdinalOf1970, r.year, r.month, r.day);
  return r;
}

int32_t DateTime::OrdinalDays() const {
  if (!HasDate()) return 0;
  return static_cast<int32_t>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                              kOrdinalOf1970);
}

int32_t DateTime::MillisecondsOfDay() const {
  return ((hour * 60 + minute) * 60 + second) * 1000 + msec;
}

DateTime DateTime::FromMillisecondsOfDay(int32_t ms) {
  DateTime r;
  r.msec = ms % 1000;
  ms /= 1000;
  r.second = ms % 60;
  ms /= 60;
  r.minute = ms % 60;
  r.hour = ms / 60;
  return r;
}

DateTime DateTime::FromOleDate(double value) {
  // The integer part counts days (negative before 1899-12-30); the fraction's
  // absolute value is the time of day, as in Delphi's TDateTime.
  double whole = std::trunc(value);
  double frac = std::fabs(value - whole);
  int64_t ms = std::llround(frac * kMsPerDay);
  if (ms >= kMsPerDay) {  // rounding carried into the next day
    ms -= kMsPerDay;
    whole += value < 0 ? -1 : 1;
  }
  DateTime r = FromOrdinalDays(static_cast<int32_t>(static_cast<int64_t>(whole) + kOrdinalOf1899_12_30));
  DateTime t = FromMillisecondsOfDay(static_cast<int32_t>(ms));
  r.hour = t.hour;
  r.minute = t.minute;
  r.second = t.second;
  r.msec = t.msec;
  return r;
}

double DateTime::ToOleDate() const {
  double days = HasDate() ? static_cast<double>(OrdinalDays() - kOrdinalOf1899_12_30) : 0.0;
  double frac = static_cast<double>(MillisecondsOfDay()) / kMsPerDay;
  return days >= 0 ? days + frac : days - frac;
}

std::string DateTime::IsoDate() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, day);
  return buf;
}

std::string DateTime::IsoTime() const {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", hour, minute, second, msec);
  return buf;
}

std::string DateTime::IsoDateTime() const { return IsoDate() + " " + IsoTime(); }

DateTime DateTime::Now() {
  std::timespec ts{};
  std::timespec_get(&ts, TIME_UTC);
  std::tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  DateTime r;
  r.year = tm.tm_year + 1900;
  r.month = tm.tm_mon + 1;
  r.day = tm.tm_mday;
  r.hour = tm.tm_hour;
  r.minute = tm.tm_min;
  r.second = tm.tm_sec;
  r.msec = static_cast<int>(ts.tv_nsec / 1000000);
  return r;
}

bool DateTime::IsValidDate() const {
  if (month < 1 || month > 12 || day < 1 || year < 1 || year > 9999) return false;
  return FromOrdinalDays(OrdinalDays()).day == day;
}

}  // namespace tabulor::db
