// The Jet 4 fixture writer: what it writes reads back exactly through the
// layer, and identically through mdb-export and the second reader.
#include <gtest/gtest.h>

#include <climits>
#include <limits>

#include "db/common/datetime.h"
#include "test_support.h"
#include "tools/tabulor-mkmdb/jet4_writer.h"

namespace tabulor::db::access {
namespace {
using namespace testing;
using mkmdb::Jet4Column;
using mkmdb::Jet4Table;
using mkmdb::Jet4Type;
using mkmdb::Jet4Value;

std::string Repeat(const std::string& piece, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i) out += piece;
  return out;
}

Jet4Table AllTypes() {
  Jet4Table t{"Mixed",
              {{"Id", Jet4Type::kAutoIncrement},
               {"Label", Jet4Type::kText, 40},
               {"Notes", Jet4Type::kMemo},
               {"When", Jet4Type::kDateTime},
               {"Count", Jet4Type::kLong},
               {"Small", Jet4Type::kInteger},
               {"Ratio", Jet4Type::kDouble}},
              {}};
  auto row = [&](Jet4Value label, Jet4Value notes, Jet4Value when, Jet4Value count, Jet4Value small, Jet4Value ratio) {
    t.rows.push_back({Jet4Value{}, label, notes, when, count, small, ratio});
  };
  row(std::string("plain"), std::string("short memo"), DateTime{2003, 11, 6, 16, 58, 11, 0}, int32_t{42}, int32_t{-7},
      0.1 + 0.2);
  row(std::string(), std::string(), DateTime{1900, 1, 1, 0, 0, 0, 0}, int32_t{INT32_MIN}, int32_t{-32768}, -1e300);
  row(Jet4Value{}, Jet4Value{}, Jet4Value{}, Jet4Value{}, Jet4Value{}, Jet4Value{});
  row(std::string("Мир 漢字 € ĳ"), Repeat("x", 32), DateTime{2700, 12, 31, 23, 59, 59, 0}, int32_t{INT32_MAX},
      int32_t{32767}, 5e-324);
  row(std::string("tab\there\\back"), Repeat("é", 33), DateTime{1974, 9, 21, 12, 0, 0, 0}, int32_t{0}, int32_t{0},
      444.555);
  row(std::string("multi-page"), Repeat("Séance de rééducation\r\n", 500), DateTime{1899, 12, 30, 6, 30, 0, 0},
      int32_t{1}, int32_t{1}, 3.0);
  row(std::string("long chain"), Repeat("0123456789", 2000), DateTime{1850, 3, 1, 0, 0, 0, 0}, int32_t{-1}, int32_t{-1},
      -0.0);
  for (int i = 0; i < 400; ++i)
    row(std::string("row ") + std::to_string(i), i % 3 ? Jet4Value{std::string("n") + std::to_string(i)} : Jet4Value{},
        DateTime{2000 + i % 30, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60, 0}, int32_t{i * 1000}, int32_t{i},
        i / 7.0);
  return t;
}

Cell Expected(const Jet4Value& value) {
  Cell cell;
  if (std::holds_alternative<std::monostate>(value)) return cell;
  if (const auto* s = std::get_if<std::string>(&value)) {
    cell.kind = Cell::Kind::kText;
    cell.text = *s;
  } else if (const auto* i = std::get_if<int32_t>(&value)) {
    cell.kind = Cell::Kind::kInteger;
    cell.integer = *i;
  } else if (const auto* d = std::get_if<double>(&value)) {
    cell.kind = Cell::Kind::kFloat;
    cell.number = *d;
  } else {
    cell.kind = Cell::Kind::kDateTime;
    cell.number = std::get<DateTime>(value).ToOleDate();
  }
  return cell;
}

class Jet4WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table_ = AllTypes();
    file_ = dir_.File("mixed.mdb");
    mkmdb::WriteJet4Database(file_, {table_, Jet4Table{"Empty", {{"Name", Jet4Type::kText, 10}}, {}}});
  }
  ScratchDir dir_;
  Jet4Table table_;
  std::string file_;
};

TEST_F(Jet4WriterTest, ValuesReadBackExactlyThroughTheLayer) {
  const TableData data = ReadThroughLayer(file_, "Mixed");
  ASSERT_EQ(data.columns.size(), table_.columns.size());
  EXPECT_EQ(data.columns[0].type, ColumnType::kLongInteger);
  EXPECT_TRUE(data.columns[0].auto_increment);
  EXPECT_EQ(data.columns[1].type, ColumnType::kText);
  EXPECT_EQ(data.columns[1].size, 80);  // bytes: two per character
  EXPECT_EQ(data.columns[2].type, ColumnType::kMemo);
  EXPECT_EQ(data.columns[5].type, ColumnType::kInteger);
  ASSERT_EQ(data.rows.size(), table_.rows.size());
  for (size_t r = 0; r < data.rows.size(); ++r) {
    EXPECT_EQ(data.rows[r][0].integer, static_cast<int64_t>(r + 1)) << "autonumber of row " << r;
    for (size_t c = 1; c < table_.columns.size(); ++c) {
      EXPECT_EQ(data.rows[r][c], Expected(table_.rows[r][c])) << "row " << r << " column " << c;
    }
  }
  // Null and empty text stay apart, in text and in memo columns.
  EXPECT_TRUE(data.rows[1][1].kind == Cell::Kind::kText && data.rows[1][1].text.empty());
  EXPECT_TRUE(data.rows[2][1].IsNull());
  EXPECT_TRUE(data.rows[1][2].kind == Cell::Kind::kText && data.rows[1][2].text.empty());
  EXPECT_TRUE(data.rows[2][2].IsNull());
  EXPECT_EQ(data.rows[6][2].text.size(), 20000u);  // a memo over several long-value pages, not cut
}

TEST_F(Jet4WriterTest, MdbExportReadsTheSameValues) {
  const TableData ours = ReadThroughLayer(file_, "Mixed");
  const auto theirs = MdbExportRows(file_, "Mixed");
  ASSERT_EQ(theirs.size(), ours.rows.size());
  for (size_t r = 0; r < theirs.size(); ++r) {
    for (size_t c = 0; c < ours.columns.size(); ++c) {
      const Cell& cell = ours.rows[r][c];
      if (cell.kind == Cell::Kind::kDateTime && cell.number < 0) continue;  // libmdb cannot format those
      EXPECT_TRUE(SameExportedValue(ExportForm(cell, ours.columns[c]), theirs[r][c], ours.columns[c]))
          << "row " << r << " column " << c << ": " << ExportForm(cell, ours.columns[c]) << " / " << theirs[r][c];
    }
  }
  EXPECT_TRUE(MdbExportRows(file_, "Empty").empty() || MdbExportRows(file_, "Empty")[0] == std::vector<std::string>{""});
}

TEST_F(Jet4WriterTest, SecondReaderReadsTheSameValues) {
  if (!SecondReaderAvailable()) GTEST_SKIP() << "node or mdb-reader is not installed";
  EXPECT_TRUE(SameDump(LayerDump(file_, "Mixed"), SecondReaderDump(file_, "Mixed")));
  EXPECT_EQ(SecondReaderDump(file_, "Empty"), "#fields\tName:10\n");
}

TEST(Jet4Writer, TableOfMoreThan512Pages) {
  // Beyond what a usage-map row of the usual size covers.
  ScratchDir dir;
  Jet4Table big{"Big", {{"N", Jet4Type::kLong}, {"Text", Jet4Type::kText, 255}}, {}};
  for (int32_t i = 0; i < 5200; ++i) big.rows.push_back({i, std::to_string(i) + Repeat("é", 240)});
  mkmdb::WriteJet4Database(dir.File("big.mdb"), {big});
  ASSERT_GT(std::filesystem::file_size(dir.File("big.mdb")), 600u * 4096);
  const TableData data = ReadThroughLayer(dir.File("big.mdb"), "Big");
  ASSERT_EQ(data.rows.size(), 5200u);
  for (int32_t i = 0; i < 5200; ++i) EXPECT_EQ(data.rows[i][0].integer, i);
  EXPECT_EQ(MdbExportRows(dir.File("big.mdb"), "Big").size(), 5200u);
  if (SecondReaderAvailable()) {
    EXPECT_TRUE(SameDump(LayerDump(dir.File("big.mdb"), "Big"), SecondReaderDump(dir.File("big.mdb"), "Big")));
  }
}

TEST(Jet4Writer, TimesBeforeTheEpochAreAddedAwayFromZero) {
  // Access stores 1850-03-01 06:00 as -18201.25 (the second reader gets this wrong, so only ours is checked).
  ScratchDir dir;
  mkmdb::WriteJet4Database(dir.File("old.mdb"),
                           {Jet4Table{"Old", {{"When", Jet4Type::kDateTime}}, {{DateTime{1850, 3, 1, 6, 0, 0, 0}}}}});
  const TableData data = ReadThroughLayer(dir.File("old.mdb"), "Old");
  ASSERT_EQ(data.rows.size(), 1u);
  EXPECT_EQ(data.rows[0][0].number, -18201.25);
  EXPECT_EQ(DateTime::FromOleDate(data.rows[0][0].number).IsoDateTime(), "1850-03-01 06:00:00.000");
}

TEST(Jet4Writer, RejectsValuesThatDoNotFitTheirColumn) {
  Jet4Table too_long{"T", {{"Code", Jet4Type::kText, 5}}, {{std::string("123456")}}};
  EXPECT_THROW(mkmdb::BuildJet4Database({too_long}), std::invalid_argument);
  Jet4Table wrong_type{"T", {{"Count", Jet4Type::kLong}}, {{std::string("12")}}};
  EXPECT_THROW(mkmdb::BuildJet4Database({wrong_type}), std::invalid_argument);
  Jet4Table small{"T", {{"Small", Jet4Type::kInteger}}, {{int32_t{40000}}}};
  EXPECT_THROW(mkmdb::BuildJet4Database({small}), std::invalid_argument);
  Jet4Table width{"T", {{"A", Jet4Type::kLong}, {"B", Jet4Type::kLong}}, {{int32_t{1}}}};
  EXPECT_THROW(mkmdb::BuildJet4Database({width}), std::invalid_argument);
}

TEST(Jet4Writer, FileIsWholePagesWithTheJet4Header) {
  const std::string bytes = mkmdb::BuildJet4Database({AllTypes()});
  ASSERT_EQ(bytes.size() % 4096, 0u);
  EXPECT_EQ(bytes[0], '\0');
  EXPECT_EQ(bytes.substr(4, 15), "Standard Jet DB");
  EXPECT_EQ(bytes[0x14], '\x01');
  EXPECT_EQ(bytes[2 * 4096], '\x02');  // the catalog's definition
}

}  // namespace
}  // namespace tabulor::db::access
