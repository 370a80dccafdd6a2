// Values the reader must not turn into plausible ones: text outside the
// Basic Multilingual Plane (surrogate pairs) and stored dates that are not
// dates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

#include "db/access/error.h"
#include "db/access/table.h"
#include "db/access/connection.h"
#include "test_support.h"
#include "tools/tabulor-mkmdb/jet4_writer.h"

namespace tabulor::db::access {
namespace {
using namespace testing;
using mkmdb::Jet4Type;

TEST(StoredValues, SurrogatePairsArriveAndDamagedDatesAreErrors) {
  ScratchDir dir;
  const db::DateTime marked{2005, 3, 4, 0, 0, 0, 0};
  mkmdb::Jet4Table t{"T", {{"Text", Jet4Type::kText, 20}, {"When", Jet4Type::kDateTime}}, {}};
  t.rows = {{std::string("a\xF0\x9F\x98\x80z \xF0\x90\x8D\x88"), marked}, {std::string("x"), marked}, {std::string("y"), marked}};
  const std::string path = dir.File("values.mdb");
  mkmdb::WriteJet4Database(path, {t});

  // The second and third dates become NaN and the year 10000 (rows are packed from the page end).
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), {});
  const double stored = marked.ToOleDate();
  std::vector<size_t> places;
  for (size_t at = 0; at + 8 <= bytes.size(); ++at)
    if (std::memcmp(bytes.data() + at, &stored, 8) == 0) places.push_back(at);
  ASSERT_EQ(places.size(), 3u);
  const double damaged[] = {std::numeric_limits<double>::quiet_NaN(), db::DateTime{9999, 12, 31, 0, 0, 0, 0}.ToOleDate() + 1};
  for (int i = 0; i < 2; ++i) {
    file.seekp(static_cast<std::streamoff>(places[i]));
    file.write(reinterpret_cast<const char*>(&damaged[i]), 8);
  }
  file.close();

  Connection connection;
  connection.SetConnectionString("Data Source=" + path);
  connection.Open();
  Table table(connection);
  table.SetTableName("T");
  table.Open();
  table.First();
  EXPECT_EQ(table.FieldByName("Text").AsString(), "a\xF0\x9F\x98\x80z \xF0\x90\x8D\x88");
  EXPECT_EQ(table.FieldByName("When").AsDateTime(), marked);
  if (SecondReaderAvailable()) EXPECT_NE(SecondReaderDump(path, "T").find("a\xF0\x9F\x98\x80z"), std::string::npos);
  for (int i = 0; i < 2; ++i) {
    table.Next();
    EXPECT_THROW(table.FieldByName("When").AsDateTime(), AccessError);
    EXPECT_THROW(table.FieldByName("When").AsString(), AccessError);
  }
}

}  // namespace
}  // namespace tabulor::db::access
