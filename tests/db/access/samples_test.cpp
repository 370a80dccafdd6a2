// Every table of the public sample files reads through the layer with the
// values mdb-export gives, and with those of the second reader; a file
// protected by a password is refused.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <fstream>

#include "db/access/connection.h"
#include "db/access/error.h"
#include "db/access/isolated_reader.h"
#include "db/access/table.h"
#include "db/common/datetime.h"
#include "common/samples.h"
#include "test_support.h"
#include "tools/tabulor-mkmdb/jet4_pages.h"

namespace tabulor::db::access {
namespace {
using namespace testing;

std::vector<std::string> TablesOf(const std::string& file) {
  Connection connection;
  connection.SetConnectionString("Data Source=" + file);
  connection.Open();
  return connection.TableNames();
}

const char kProtectedSample[] = "V2000_with-password.mdb";

// The samples the layer reads: all but the one protected by a password.
std::vector<std::string> ReadableSamples() {
  std::vector<std::string> files = SampleFiles();
  std::erase(files, SamplePath(kProtectedSample));
  return files;
}

// libmdb 1.0.0 cannot format dates before 1899-12-30 or after about year 4637.
bool OutsideLibmdbDateRange(const Cell& cell) {
  return cell.kind == Cell::Kind::kDateTime && (cell.number < 0 || cell.number > 1e6);
}

TEST(SampleFiles, EveryTableMatchesMdbExport) {
  TABULOR_REQUIRE_SAMPLES("access");
  ASSERT_EQ(SampleFiles().size(), 9u);
  const auto files = ReadableSamples();
  ASSERT_EQ(files.size(), 8u);
  int tables_checked = 0;
  size_t cells_checked = 0;
  for (const std::string& file : files) {
    for (const std::string& table : TablesOf(file)) {
      SCOPED_TRACE(file + " / " + table);
      const TableData ours = ReadThroughLayer(file, table);
      const auto theirs = MdbExportRows(file, table);
      ASSERT_EQ(ours.rows.size(), theirs.size());
      for (size_t r = 0; r < ours.rows.size(); ++r) {
        ASSERT_EQ(theirs[r].size(), ours.columns.size()) << "row " << r;
        for (size_t c = 0; c < ours.columns.size(); ++c) {
          const Cell& cell = ours.rows[r][c];
          if (OutsideLibmdbDateRange(cell)) {
            EXPECT_EQ(theirs[r][c].substr(0, 10), "1900-01-00");  // checked against the second reader below
            continue;
          }
          EXPECT_TRUE(SameExportedValue(ExportForm(cell, ours.columns[c]), theirs[r][c], ours.columns[c]))
              << "row " << r << " column " << ours.columns[c].name << ": ours " << ExportForm(cell, ours.columns[c])
              << ", mdb-export " << theirs[r][c];
          ++cells_checked;
        }
      }
      ++tables_checked;
    }
  }
  EXPECT_EQ(tables_checked, 18);
  EXPECT_GT(cells_checked, 30000u);
}

TEST(SampleFiles, EveryTableMatchesTheSecondReader) {
  TABULOR_REQUIRE_SAMPLES("access");
  if (!SecondReaderAvailable()) GTEST_SKIP() << "node or mdb-reader is not installed";
  for (const std::string& file : ReadableSamples()) {
    for (const std::string& table : TablesOf(file)) {
      SCOPED_TRACE(file + " / " + table);
      EXPECT_TRUE(SameDump(LayerDump(file, table), SecondReaderDump(file, table)));
    }
  }
}

TEST(SampleFiles, DatesOfAnyYearAreExact) {
  TABULOR_REQUIRE_SAMPLES("access");
  const TableData data = ReadThroughLayer(SamplePath("DateTestDatabase.mdb"), "DateTest");
  ASSERT_EQ(data.rows.size(), 6u);
  auto date = [&](size_t row, size_t column) { return DateTime::FromOleDate(data.rows[row][column].number).IsoDate(); };
  EXPECT_EQ(date(1, 1), "9999-01-01");
  EXPECT_EQ(date(2, 1), "1898-01-01");
  EXPECT_EQ(date(2, 2), "1899-01-01");
  EXPECT_EQ(date(3, 1), "0632-01-01");
  EXPECT_EQ(data.rows[5][4].text, "New line\r\nin field");
}

TEST(SampleFiles, NumbersIgnoreTheProcessLocale) {
  TABULOR_REQUIRE_SAMPLES("access");
  // A desktop program runs with the user's locale; values must not follow it.
  if (!std::setlocale(LC_ALL, "fr_FR.UTF-8")) GTEST_SKIP() << "fr_FR.UTF-8 is not installed";
  char formatted[32];
  std::snprintf(formatted, sizeof formatted, "%.1f", 2.5);
  EXPECT_STREQ(formatted, "2,5");  // the locale is in force
  const TableData data = ReadThroughLayer(SamplePath("testV1997.mdb"), "Table1");
  std::setlocale(LC_ALL, "C");
  ASSERT_EQ(data.rows.size(), 2u);
  EXPECT_EQ(data.rows[1][5].number, 444.555);
  EXPECT_EQ(data.rows[1][7].number, 3.5);
  EXPECT_EQ(DateTime::FromOleDate(data.rows[1][6].number).IsoDate(), "1974-09-21");
}

// Access's own protected Jet 4 file, and a Jet 3 sample given a password
// (Jet 3 keeps it unmasked by the date): libmdb reads both as if they had
// none, the layer refuses them, listing as well as reading a table.
TEST(SampleFiles, PasswordProtectedFilesAreRefused) {
  TABULOR_REQUIRE_SAMPLES("access");
  ScratchDir dir;
  std::ifstream in(SamplePath("testV1997.mdb"), std::ios::binary);
  std::string jet3(std::istreambuf_iterator<char>(in), {});
  mkmdb::Page header(jet3.begin(), jet3.begin() + 2048);
  mkmdb::SetDatabasePassword(header, "secret");
  std::copy(header.begin(), header.end(), jet3.begin());
  std::ofstream(dir.File("protected97.mdb"), std::ios::binary).write(jet3.data(), static_cast<std::streamsize>(jet3.size()));
  const std::vector<std::pair<std::string, size_t>> files = {{SamplePath(kProtectedSample), 3}, {dir.File("protected97.mdb"), 2}};
  for (const auto& [file, rows] : files) {
    SCOPED_TRACE(file);
    EXPECT_EQ(MdbExportRows(file, "Table1").size(), rows);
    const std::string refused = " impossible : la base de données " + file + " est protégée par un mot de passe";
    try {
      TablesOf(file);
      ADD_FAILURE() << "opened";
    } catch (const AccessError& e) {
      EXPECT_EQ(e.what(), "Lecture de " + file + refused);
    }
    try {
      ReadIsolated(file, "Table1");
      ADD_FAILURE() << "read";
    } catch (const AccessError& e) {
      EXPECT_EQ(e.what(), "Lecture de la table Table1 de " + file + refused);
    }
  }
}

TEST(SampleFiles, Jet3TextInItsCodePage) {
  TABULOR_REQUIRE_SAMPLES("access");
  EXPECT_EQ(TablesOf(SamplePath("nwind.mdb")).back(), "Umsätze");
  const TableData data = ReadThroughLayer(SamplePath("nwind.mdb"), "umsätze");  // ASCII letters in any case
  EXPECT_EQ(data.rows.size(), 830u);
}

}  // namespace
}  // namespace tabulor::db::access
