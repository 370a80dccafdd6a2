#pragma once
// Calendar date and time of day as the databases hold them: no time zone,
// proleptic Gregorian calendar, millisecond resolution.
#include <cstdint>
#include <compare>
#include <string>

namespace tabulor::db {

struct DateTime {
  int year = 0;    // 0 with month 0 and day 0: no date part
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int msec = 0;

  bool HasDate() const { return year != 0 || month != 0 || day != 0; }
  auto operator<=>(const DateTime&) const = default;

  // Days counted from 0001-01-01 = 1 (the Paradox date encoding).
  static DateTime FromOrdinalDays(int32_t days);
  int32_t OrdinalDays() const;  // 0 when there is no date part

  // Milliseconds since midnight of the time part.
  int32_t MillisecondsOfDay() const;
  static DateTime FromMillisecondsOfDay(int32_t ms);

  // The Delphi / OLE Automation representation: days since 1899-12-30, the
  // fraction being the time of day. Access (Jet) stores date-times this way.
  static DateTime FromOleDate(double value);
  double ToOleDate() const;

  // "YYYY-MM-DD", "HH:MM:SS.mmm" and "YYYY-MM-DD HH:MM:SS.mmm".
  std::string IsoDate() const;
  std::string IsoTime() const;
  std::string IsoDateTime() const;

  // The date of today and the current time, in local time.
  static DateTime Now();
  bool IsValidDate() const;
};

}  // namespace tabulor::db
