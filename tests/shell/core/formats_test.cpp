#include "shell/formats.h"

#include <gtest/gtest.h>

#include "db/access/formats.h"
#include "shell/access_formats.h"

namespace tabulor::shell {
namespace {

class FormatsTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = Formats(); }
  void TearDown() override { Formats() = saved_; }
  FormatSettings saved_;
};

db::DateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  db::DateTime t;
  t.year = y, t.month = mo, t.day = d, t.hour = h, t.minute = mi, t.second = s, t.msec = ms;
  return t;
}

TEST_F(FormatsTest, FrenchDefaults) {
  EXPECT_EQ(ShortDateFormat(), "dd/mm/yyyy");
  EXPECT_EQ(Formats().long_time_format, "hh:nn:ss");
  EXPECT_EQ(Formats().decimal_separator, ',');
  EXPECT_EQ(FormatDate(At(2026, 12, 7)), "07/12/2026");
  EXPECT_EQ(FormatTime(At(2026, 12, 7, 9, 5, 3)), "09:05:03");
}

TEST_F(FormatsTest, ShortDateFormatIsProcessWide) {
  SetShortDateFormat("dd/mm/yy");
  EXPECT_EQ(FormatDate(At(2026, 12, 7)), "07/12/26");
  EXPECT_EQ(FormatDate(At(1999, 1, 31)), "31/01/99");
  SetShortDateFormat("d/m/yyyy");
  EXPECT_EQ(FormatDate(At(2005, 3, 4)), "4/3/2005");
}

TEST_F(FormatsTest, PatternLettersSeparatorsAndLiterals) {
  Formats().date_separator = '-';
  EXPECT_EQ(FormatDateTime("yyyy/mm/dd hh:mm:ss.zzz", At(2026, 2, 3, 14, 7, 9, 42)), "2026-02-03 14:07:09.042");
  EXPECT_EQ(FormatDateTime("'le' dd \"à\" hh'h'nn", At(2026, 2, 3, 14, 7)), "le 03 à 14h07");
}

TEST_F(FormatsTest, ParseDateFollowsTheShortDateFormat) {
  SetShortDateFormat("dd/mm/yyyy");
  EXPECT_EQ(ParseDate("07/12/2026"), At(2026, 12, 7));
  EXPECT_EQ(ParseDate(" 7/1/1950 "), At(1950, 1, 7));
  EXPECT_FALSE(ParseDate("31/02/2020"));
  EXPECT_FALSE(ParseDate("12/2026/07/1"));
  EXPECT_FALSE(ParseDate("ab/cd/efgh"));
  EXPECT_FALSE(ParseDate(""));
  EXPECT_FALSE(ParseDate("2026-12-07"));

  SetShortDateFormat("mm/dd/yyyy");
  EXPECT_EQ(ParseDate("12/07/2026"), At(2026, 12, 7));
}

TEST_F(FormatsTest, TwoDigitYearsFallWithinFiftyYearsOfToday) {
  const int year = db::DateTime::Now().year;
  const int threshold = year - 50;
  SetShortDateFormat("dd/mm/yy");
  // The threshold's own two digits stay in its century, the year before goes a century up.
  const auto at = ParseDate("01/01/" + std::to_string(threshold % 100));
  ASSERT_TRUE(at);
  EXPECT_EQ(at->year, threshold);
  const int before = (threshold - 1) % 100;
  const auto up = ParseDate("01/01/" + std::to_string(before));
  ASSERT_TRUE(up);
  EXPECT_EQ(up->year, threshold - 1 + 100);
  // A day and a month alone are in the current year.
  EXPECT_EQ(ParseDate("03/04")->year, year);
}

TEST_F(FormatsTest, NumbersUseTheDecimalComma) {
  EXPECT_EQ(FormatNumber(2.5), "2,5");
  EXPECT_EQ(FormatNumber(280), "280");
  EXPECT_EQ(FormatNumber(-3.25), "-3,25");
  EXPECT_EQ(FormatNumber(0.1), "0,1");
  EXPECT_EQ(FormatNumber(2.8f), "2,79999995231628");
  EXPECT_EQ(FormatNumber(0.00001), "0,00001");
  EXPECT_EQ(FormatNumber(0.0000015), "1,5E-6");
  EXPECT_EQ(FormatNumber(1e15), "1E15");
  EXPECT_EQ(FormatNumber(123456789012345.0), "123456789012345");
  EXPECT_EQ(FormatNumber(0), "0");

  EXPECT_EQ(ParseNumber("2,5"), 2.5);
  EXPECT_EQ(ParseNumber(" -3,25 "), -3.25);
  EXPECT_EQ(ParseNumber("1,5E-6"), 1.5e-6);
  EXPECT_EQ(ParseNumber("+7"), 7.0);
  EXPECT_FALSE(ParseNumber("2.5"));
  EXPECT_FALSE(ParseNumber("2,5x"));
  EXPECT_FALSE(ParseNumber(""));

  Formats().decimal_separator = '.';
  EXPECT_EQ(FormatNumber(2.5), "2.5");
  EXPECT_EQ(ParseNumber("2.5"), 2.5);
  EXPECT_FALSE(ParseNumber("2,5"));
}

TEST_F(FormatsTest, TheAccessLayerReadsTheFormatsInForceAtEachConversion) {
  ShareFormatsWithAccessLayer();
  SetShortDateFormat("dd/mm/yy");
  EXPECT_EQ(db::access::CurrentAccessFormats().short_date_format, "dd/mm/yy");
  SetShortDateFormat("dd/mm/yyyy");
  Formats().decimal_separator = '.';
  const db::access::AccessFormats now = db::access::CurrentAccessFormats();
  EXPECT_EQ(now.short_date_format, "dd/mm/yyyy");
  EXPECT_EQ(now.decimal_separator, '.');
  EXPECT_EQ(now.long_time_format, "hh:nn:ss");
  db::access::SetAccessFormatsSource(nullptr);
}

}  // namespace
}  // namespace tabulor::shell
