// A keyed table of more than 32767 data blocks: block numbers past the signed
// 16-bit range must still be found through the primary index.
#include <gtest/gtest.h>

#include "db/paradox/engine.h"
#include "test_support.h"

namespace tabulor::db {
namespace {

using testing::ScratchDir;
using testing::VerifyTable;

TEST(LargeTable, BlockNumbersAbove32767AreFoundThroughThePrimaryIndex) {
  ScratchDir dir;
  Session session;
  TableDef def;
  // One 1,789-byte record a 2 KiB block: every row gets a block of its own.
  def.fields = {{"ID", FieldType::kLong, 0}};
  for (int i = 0; i < 7; ++i) def.fields.push_back({"T" + std::to_string(i), FieldType::kAlpha, 255});
  def.key_field_count = 1;
  CreateTable(session, dir.path(), "Wide", def);

  constexpr int kRows = 33000;
  {
    Table t(session, dir.path(), "Wide");
    t.Open();
    for (int i = 1; i <= kRows; ++i) {
      t.Append();
      t.FieldByName("ID").SetAsInteger(i);
      t.FieldByName("T0").SetAsString("row " + std::to_string(i));
      t.Post();
    }
    t.FlushBuffers();
  }
  EXPECT_EQ(VerifyTable(dir.path(), "Wide"), std::vector<std::string>{});

  Table t(session, dir.path(), "Wide");
  t.Open();
  EXPECT_EQ(t.RecordCount(), kRows);
  for (int id : {1, 32767, 32768, 32769, kRows}) {
    ASSERT_TRUE(t.FindKey({int64_t{id}})) << id;
    EXPECT_EQ(t.FieldByName("T0").AsString(), "row " + std::to_string(id));
  }
  EXPECT_FALSE(t.FindKey({int64_t{kRows + 1}}));
}

}  // namespace
}  // namespace tabulor::db
