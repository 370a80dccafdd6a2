// Many small blobs in one table: the sub-allocated blocks fill the header's
// free-space table, and every blob must still read back after a reopen.
#include <gtest/gtest.h>

#include <random>

#include "db/paradox/engine.h"
#include "test_support.h"

namespace tabulor::db {
namespace {

using testing::ScratchDir;
using testing::VerifyTable;

Blob Pattern(uint32_t row, size_t size) {
  Blob b(size);
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>((row * 131 + i * 7) & 0xFF);
  return b;
}

TEST(BlobFile, ThousandsOfSmallBlobsSurviveAReopenAndVerify) {
  ScratchDir dir;
  Session session;
  TableDef def;
  def.fields = {{"ID", FieldType::kAutoInc, 0}, {"B", FieldType::kBlob, 10}};
  def.key_field_count = 1;
  CreateTable(session, dir.path(), "Small", def);

  // Sizes straddle the 2048-byte limit between sub-allocated and own blocks;
  // some rows stay empty. A flush every 500 rows makes several commits.
  std::mt19937 rng(7);
  std::vector<size_t> sizes;
  {
    Table t(session, dir.path(), "Small");
    t.Open();
    for (uint32_t row = 0; row < 6000; ++row) {
      size_t size = rng() % 10 < 3 ? 0 : 600 + rng() % 1800;
      sizes.push_back(size);
      t.Append();
      if (size) t.FieldByName("B").SetAsBlob(Pattern(row, size));
      t.Post();
      if (row % 500 == 499) t.FlushBuffers();
    }
    t.FlushBuffers();
    t.Close();
  }
  EXPECT_TRUE(VerifyTable(dir.path(), "Small").empty());

  Table t(session, dir.path(), "Small");
  t.Open();
  ASSERT_EQ(t.RecordCount(), 6000);
  uint32_t row = 0;
  for (t.First(); !t.Eof(); t.Next(), ++row) {
    ASSERT_EQ(t.FieldByName("B").AsBlob(), Pattern(row, sizes[row])) << "row " << row;
  }
  EXPECT_EQ(row, 6000u);

  // Deleting every other row frees slots that later blobs reuse.
  t.First();
  for (uint32_t i = 0; !t.Eof(); ++i) {
    if (i % 2 == 0) t.Delete(); else t.Next();
  }
  for (uint32_t extra = 0; extra < 1000; ++extra) {
    t.Append();
    t.FieldByName("B").SetAsBlob(Pattern(100000 + extra, 700));
    t.Post();
  }
  t.FlushBuffers();
  t.Close();
  EXPECT_TRUE(VerifyTable(dir.path(), "Small").empty());
  t.Open();
  EXPECT_EQ(t.RecordCount(), 4000);
}

}  // namespace
}  // namespace tabulor::db
