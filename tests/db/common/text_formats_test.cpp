// The cases where the shell's and the Access layer's texts used to part ways.
#include "db/common/text_formats.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "db/common/number_notation.h"

namespace tabulor::db {
namespace {

const TextFormats kFrench;

DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return DateTime{y, mo, d, h, mi, s, 0}; }

TEST(FormatDateTime, MinutesOnlyRightAfterAnHourWhateverSeparatesThem) {
  const DateTime t = At(2026, 2, 3, 14, 7, 9);
  EXPECT_EQ(FormatDateTime("hh.mm", t, kFrench), "14.07");
  EXPECT_EQ(FormatDateTime("hh'h'mm", t, kFrench), "14h07");
  EXPECT_EQ(FormatDateTime("hh:nn mm", t, kFrench), "14:07 02");  // the letter before is n, not h
  EXPECT_EQ(FormatDateTime("hh:nn:ss dd/mm", t, kFrench), "14:07:09 03/02");
  EXPECT_EQ(FormatDateTime("'unclosed", t, kFrench), "unclosed");
}

TEST(ParseDateTime, DateTimeOrBothWithBlanksAndTabs) {
  EXPECT_EQ(ParseDateTime("\t03/02/2026\t14:07 ", kFrench), At(2026, 2, 3, 14, 7));
  EXPECT_EQ(ParseDate("\t03/02/2026 ", kFrench), At(2026, 2, 3));
  EXPECT_EQ(ParseDateTime("16:58:11,5", kFrench)->msec, 500);
  EXPECT_EQ(ParseDateTime("16:58", kFrench)->year, 1899);
  // A date alone is wanted: a time after it, or a time alone, is not one.
  EXPECT_FALSE(ParseDate("03/02/2026 14:07", kFrench));
  EXPECT_FALSE(ParseDate("14:07", kFrench));
  EXPECT_FALSE(ParseDate("01/01/10000", kFrench));
  EXPECT_FALSE(ParseDate("01/01/000", kFrench));  // three digits are taken as written: year 0
  EXPECT_FALSE(ParseDateTime("13:00 PM", kFrench));
  EXPECT_FALSE(ParseDateTime("01/02/2026 12:00:00,1234", kFrench));
}

// The engine's reading (kEngineDateText) and the locale's, side by side; the
// cases marked "was" are faults of the two readers they replaced.
struct DateTextCase {
  const char* text;
  bool engine;
  std::optional<DateTime> expected;
};

TEST(ParseDateTime, EngineAndLocaleReadingsOfOneReader) {
  const auto at = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return std::optional<DateTime>(DateTime{y, mo, d, h, mi, s, ms});
  };
  const std::optional<DateTime> refused;
  const int this_year = DateTime::Now().year;
  const DateTextCase cases[] = {
      // The engine's own forms.
      {"2020-09-21T08:05:30.1234567", true, at(2020, 9, 21, 8, 5, 30, 123)},  // ISO, a long fraction cut
      {"2020-09-21 T 08:05", true, at(2020, 9, 21, 8, 5)},
      {"21.09.2020 08:05:30,5", true, at(2020, 9, 21, 8, 5, 30, 500)},
      {"21/09/49", true, at(2049, 9, 21)},  // a fixed cut-off: 1950..2049
      {"21/09/50", true, at(1950, 9, 21)},
      {"21/09/074", true, at(74, 9, 21)},  // three digits are the year as written
      {"21/ 09/ 2020", true, at(2020, 9, 21)},  // blanks after a separator...
      {"21 /09/2020", true, refused},           // ...never before one, as the engine always read them
      {"08:05: 30", true, at(0, 0, 0, 8, 5, 30)},  // a time alone has no date
      {"08:05 :30", true, refused},
      {"10:00:00.", true, at(0, 0, 0, 10)},
      {"21/09", true, refused},  // the year is required
      {"21/09 10:00", true, refused},
      {"10:00 PM", true, refused},
      {"21/09/2020T", true, refused},
      {"21/09.2020", true, refused},
      // The locale's: its separators only, AM/PM, blanks anywhere, a moving window.
      {"21/09/2020T08:05", false, refused},
      {"21.09.2020", false, refused},
      {"21 / 09 / 2020 08 : 05 : 30 , 25", false, at(2020, 9, 21, 8, 5, 30, 250)},
      {"07:15:00 PM", false, at(1899, 12, 30, 19, 15)},
      {"21/09", false, at(this_year, 9, 21)},
      {"10:00:00,1234", false, refused},
      {"10:00:00,", false, refused},
      // Faults of the former engine reader.
      {"21/09/-5", true, refused},  // was 1995-09-21
      {"-0:05", true, refused},     // was 00:05
      {"+8:05", true, refused},
      {"21/09/2020+08:05", true, refused},
      {"4294967317/01/2020", true, refused},  // was 2020-01-21: wrapped past 32 bits
      {"08:4294967301", true, refused},
      {"21/09/2020\n08:05", true, refused},  // line breaks inside
      {"\n21/09/2020", true, refused},
      {"21/\r09/2020", true, refused},
      {"21/09/74\t08:05", true, at(1974, 9, 21, 8, 5)},             // was year 74
      {"21/09/74T08:05", true, at(1974, 9, 21, 8, 5)},              // was year 74
      {"21.09.00 08:05:30.250", true, at(2000, 9, 21, 8, 5, 30, 250)},  // was refused
      {"21/09/ 074", true, at(74, 9, 21)},                          // was 1974
      {"31/02/2024 10:00", true, refused},
      // Faults of the former locale reader.
      {"31/02/2024 10:00", false, refused},  // was 10:00 on 1899-12-30
      {"31/02 10:00", false, refused},
      {"01/01/0000002026", false, at(2026, 1, 1)},  // was year 202: every digit counts
      {"01/01/0000002026", true, at(2026, 1, 1)},
      {"0000000008:05", false, at(1899, 12, 30, 8, 5)},  // was 00:05
      {"4294967317/01/2020", false, refused},
      {"-0:05", false, refused},
  };
  for (const DateTextCase& c : cases) {
    DateTime value;
    const bool read = ParseDateTime(c.text, kFrench, c.engine ? kEngineDateText : DateTextOptions{}, value);
    EXPECT_EQ(read ? std::optional<DateTime>(value) : std::nullopt, c.expected)
        << "'" << c.text << "' read " << (c.engine ? "by the engine" : "for the locale") << ": "
        << (read ? value.IsoDateTime() : "refused");
  }
}

// The engine's texts are printf's "%.15g" of the C locale, written by the same
// code as the locale's: compared with printf over edge cases and values of every magnitude.
TEST(FormatNumber, CNotationIsPrintfsInTheCLocale) {
  ASSERT_TRUE(std::setlocale(LC_NUMERIC, "C"));
  std::vector<double> values = {0.0, -0.0, 1, -1, 0.1, 1e-4, 9.99999999999999e-5, 0.0001, 1e-5, 1e15, 1e14,
                                999999999999999.0, 999999999999999.9, 123456789012345678.0, 1e300, 1e-300,
                                5e-324, 1.0 / 3, 2.5, 1.5e-7, -42.125, std::nan(""), INFINITY, -INFINITY};
  std::mt19937_64 random(7);
  for (int i = 0; i < 200000; ++i) {
    uint64_t bits = random();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    values.push_back(d);
    values.push_back(std::ldexp(static_cast<double>(random() % 1000000) / 7.0, static_cast<int>(random() % 120) - 60));
    values.push_back(static_cast<double>(static_cast<int64_t>(random() % 100000000) - 50000000) / 100.0);
  }
  int differences = 0;
  for (double d : values) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.15g", d);
    if (FormatNumber(d, kCNumberNotation) != expected && ++differences <= 5)
      ADD_FAILURE() << expected << " written " << FormatNumber(d, kCNumberNotation);
  }
  EXPECT_EQ(differences, 0);
  EXPECT_EQ(FormatNumber(1e-5, kCNumberNotation), "1e-05");
  EXPECT_EQ(FormatNumber(1e-5, kFrench), "0,00001");  // the locale's notation is left as it was
}

TEST(FormatNumber, FixedFormDownToOneHundredThousandth) {
  EXPECT_EQ(FormatNumber(0.00001, kFrench), "0,00001");
  EXPECT_EQ(FormatNumber(0.000099, kFrench), "0,000099");
  EXPECT_EQ(FormatNumber(0.0000099, kFrench), "9,9E-6");
  EXPECT_EQ(FormatNumber(-0.0, kFrench), "0");
  EXPECT_EQ(FormatNumber(999999999999999.9, kFrench), "1E15");  // rounding to 15 digits carries
  EXPECT_EQ(FormatNumber(std::nan(""), kFrench), "NAN");
  EXPECT_EQ(FormatNumber(-INFINITY, kFrench), "-INF");
}

TEST(ParseNumber, OnlyDigitsSeparatorAndExponent) {
  double value = 0;
  EXPECT_EQ(ParseNumber("\t2,5E+2 ", kFrench, value), NumberTextError::kNone);
  EXPECT_EQ(value, 250.0);
  EXPECT_EQ(ParseNumber("5,", kFrench, value), NumberTextError::kNone);
  EXPECT_EQ(value, 5.0);
  for (const char* bad : {"INF", "nan", "+-1", "1E", ",", "--1", "1 2", "0x1A"})
    EXPECT_EQ(ParseNumber(bad, kFrench, value), NumberTextError::kNotANumber) << bad;
  EXPECT_EQ(ParseNumber("1E400", kFrench, value), NumberTextError::kOutOfRange);
}

}  // namespace
}  // namespace tabulor::db
