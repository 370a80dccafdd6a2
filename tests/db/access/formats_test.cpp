// Conversions between texts and values with the process-wide formats.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>

#include "db/access/error.h"
#include "db/access/formats.h"

namespace tabulor::db::access {
namespace {

AccessFormats French(const char* short_date = "dd/mm/yy") {
  AccessFormats f;
  f.short_date_format = short_date;
  f.long_time_format = "hh:nn:ss";
  f.decimal_separator = ',';
  return f;
}

TEST(TextToDateTime, DayMonthYearInTheOrderOfTheShortDateFormat) {
  EXPECT_EQ(TextToDateTime("21/09/1974", French()).IsoDateTime(), "1974-09-21 00:00:00.000");
  EXPECT_EQ(TextToDateTime(" 1/2/2001", French()).IsoDate(), "2001-02-01");
  AccessFormats us = French("mm/dd/yyyy");
  EXPECT_EQ(TextToDateTime("09/21/1974", us).IsoDate(), "1974-09-21");
  AccessFormats iso = French("yyyy-mm-dd");
  iso.date_separator = '-';
  EXPECT_EQ(TextToDateTime("1974-09-21", iso).IsoDate(), "1974-09-21");
  EXPECT_EQ(TextToDateTime("01/01/1900", French()).IsoDate(), "1900-01-01");
}

TEST(TextToDateTime, TwoDigitYearsUseTheCenturyWindow) {
  AccessFormats f = French();
  const int now = DateTime::Now().year;
  f.two_digit_year_window = 50;
  const int two_digits = (now - 10) % 100;  // ten years ago
  char text[16];
  std::snprintf(text, sizeof text, "15/06/%02d", two_digits);
  EXPECT_EQ(TextToDateTime(text, f).year, now - 10);
  std::snprintf(text, sizeof text, "15/06/%02d", (now + 60) % 100);  // 40 years ago, not 60 ahead
  EXPECT_EQ(TextToDateTime(text, f).year, now - 40);
}

TEST(TextToDateTime, DayAndMonthAloneTakeTheCurrentYear) {
  EXPECT_EQ(TextToDateTime("14/07", French()).year, DateTime::Now().year);
}

TEST(TextToDateTime, TimesWithOrWithoutADate) {
  EXPECT_EQ(TextToDateTime("21/09/1974 08:05:30", French()).IsoDateTime(), "1974-09-21 08:05:30.000");
  EXPECT_EQ(TextToDateTime("16:58:11", French()).IsoDateTime(), "1899-12-30 16:58:11.000");
  EXPECT_EQ(TextToDateTime("9:05", French()).IsoTime(), "09:05:00.000");
  EXPECT_EQ(TextToDateTime("07:15:00 PM", French()).hour, 19);
  EXPECT_EQ(TextToDateTime("12:00:00 AM", French()).hour, 0);
}

TEST(TextToDateTime, TextsThatAreNotDatesFailNamingTheText) {
  for (const char* bad : {"", "   ", "abc", "31/02/2001", "29/02/1900", "00/01/2001", "12/13/2001", "1/2/3/4",
                          "21/09/1974 25:00", "21/09/1974 10:61", "21/09/1974 x", "12", "/01/2001", "21.09.1974"}) {
    try {
      TextToDateTime(bad, French());
      ADD_FAILURE() << "'" << bad << "' was read as a date";
    } catch (const AccessError& e) {
      EXPECT_NE(std::string(e.what()).find(std::string("'") + bad + "'"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(TextToDateTime("29/02/2000", French()).IsoDate(), "2000-02-29");
}

TEST(TextToFloat, UsesTheDecimalSeparatorInForce) {
  EXPECT_EQ(TextToFloat("2,5", French()), 2.5);
  EXPECT_EQ(TextToFloat(" -0,125 ", French()), -0.125);
  EXPECT_EQ(TextToFloat("1,5E3", French()), 1500.0);
  EXPECT_EQ(TextToFloat("+7", French()), 7.0);
  EXPECT_EQ(TextToFloat(",5", French()), 0.5);
  AccessFormats dot = French();
  dot.decimal_separator = '.';
  EXPECT_EQ(TextToFloat("51.2", dot), 51.2);
  EXPECT_THROW(TextToFloat("51.2", French()), AccessError);
  EXPECT_THROW(TextToFloat("2,5", dot), AccessError);
  for (const char* bad : {"", " ", "abc", "1,2,3", "1 000", "1e", "e5", "-", "1,5x", "0x10"})
    EXPECT_THROW(TextToFloat(bad, French()), AccessError) << bad;
  EXPECT_THROW(TextToFloat("1e999", French()), AccessError);
}

TEST(TextToFloat, IgnoresTheCLocale) {
  if (!std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) GTEST_SKIP() << "fr_FR.UTF-8 is not installed";
  AccessFormats dot = French();
  dot.decimal_separator = '.';
  EXPECT_EQ(TextToFloat("51.2", dot), 51.2);
  EXPECT_EQ(FloatToText(0.5, dot), "0.5");
  std::setlocale(LC_NUMERIC, "C");
}

TEST(TextToInteger, WholeNumbersOnly) {
  EXPECT_EQ(TextToInteger("40"), 40);
  EXPECT_EQ(TextToInteger("  -12"), -12);
  EXPECT_EQ(TextToInteger("$1F"), 31);
  EXPECT_EQ(TextToInteger("2147483647"), 2147483647);
  for (const char* bad : {"", " ", "2,5", "2.5", "12 ", "abc", "2147483648", "99999999999999999999", "-", "$"})
    EXPECT_THROW(TextToInteger(bad), AccessError) << bad;
}

TEST(DateTimeToText, DateAndTimeInTheCurrentFormats) {
  const DateTime morning{2005, 3, 4, 8, 5, 9, 0};
  EXPECT_EQ(DateTimeToText(morning, French()), "04/03/05 08:05:09");
  EXPECT_EQ(DateTimeToText(morning, French("dd/mm/yyyy")), "04/03/2005 08:05:09");
  EXPECT_EQ(DateTimeToText(DateTime{2005, 3, 4, 0, 0, 0, 0}, French()), "04/03/05");
  AccessFormats f = French("d/m/yyyy");
  f.long_time_format = "h:nn";
  EXPECT_EQ(DateTimeToText(morning, f), "4/3/2005 8:05");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:mm:ss.zzz", DateTime{1999, 12, 31, 23, 59, 58, 7}, French()),
            "1999-12-31 23:59:58.007");
  EXPECT_EQ(FormatDateTime("dd \"de\" mm", morning, French()), "04 de 03");
}

TEST(FloatToText, ShortestFormWithFifteenDigits) {
  EXPECT_EQ(FloatToText(2.5, French()), "2,5");
  EXPECT_EQ(FloatToText(165, French()), "165");
  EXPECT_EQ(FloatToText(0.1 + 0.2, French()), "0,3");
  EXPECT_EQ(FloatToText(-1.5e20, French()), "-1,5E20");
  EXPECT_EQ(FloatToText(1e-7, French()), "1E-7");
  EXPECT_EQ(FloatToText(0, French()), "0");
}

}  // namespace
}  // namespace tabulor::db::access

namespace tabulor::db::access {
namespace {

TEST(AccessFormats, FixedOrReadFromASource) {
  const AccessFormats saved = CurrentAccessFormats();
  std::string short_date = "dd/mm/yy";
  SetAccessFormatsSource([&] {
    AccessFormats f;
    f.short_date_format = short_date;
    return f;
  });
  EXPECT_EQ(CurrentAccessFormats().short_date_format, "dd/mm/yy");
  short_date = "dd/mm/yyyy";  // the owner changed its format: seen at once
  EXPECT_EQ(CurrentAccessFormats().short_date_format, "dd/mm/yyyy");
  AccessFormats fixed;
  fixed.decimal_separator = '.';
  SetAccessFormats(fixed);
  EXPECT_EQ(CurrentAccessFormats().decimal_separator, '.');
  SetAccessFormats(saved);
}

}  // namespace
}  // namespace tabulor::db::access
