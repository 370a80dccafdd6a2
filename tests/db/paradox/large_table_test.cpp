// A keyed table of more than 32767 data blocks: block numbers past the signed
// 16-bit range must still be found through the primary index; and no file is
// built past the last 16-bit block number.
#include <gtest/gtest.h>

#include "db/paradox/engine.h"
#include "db/paradox/format/block.h"
#include "db/paradox/format/index_tree.h"
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

// Block numbers are 16 bits: the chain of a built file ends at block 65535,
// and a file that would need one block more is refused, not wrapped to block 0.
TEST(LargeTable, BuiltFilesStopAtTheLast16BitBlockNumber) {
  const format::BlockHeader last = format::ChainedBlockHeader(65535, 65535, 3, 10);
  EXPECT_EQ(last.next, 0);
  EXPECT_EQ(last.prev, 65534);
  EXPECT_EQ(last.RecordCount(10), 3);
  EXPECT_EQ(format::ChainedBlockHeader(65534, 65535, 1, 10).next, 65535);
  EXPECT_EQ(format::ChainedBlockHeader(1, 65535, 1, 10).prev, 0);
  try {
    format::ChainedBlockHeader(1, 65536, 1, 10);
    ADD_FAILURE() << "a 65536-block file was laid out";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "the file would need 65536 blocks, a table file holds at most 65535");
  }

  // An index tree with two entries a block: 65536 leaves fill exactly 65535
  // blocks (32768 leaf blocks and the levels above them), one leaf more needs more.
  constexpr int kTwoEntriesABlock = format::BlockHeader::kSize + 2 * 7;
  std::vector<uint8_t> blocks;
  int written = 0;
  auto write_tree = [&](size_t leaves) {
    size_t i = 0;
    uint8_t key = 0;
    return format::WriteIndexTree(
        leaves,
        [&] {
          key = static_cast<uint8_t>(i >> 8);
          const format::LeafEntry leaf{&key, static_cast<int>(i % 65535 + 1), 1};
          ++i;
          return leaf;
        },
        1, kTwoEntriesABlock, [&](int number, const uint8_t* block) {
          EXPECT_EQ(number, ++written) << "blocks are written in order";
          blocks.insert(blocks.end(), block, block + kTwoEntriesABlock);
        });
  };
  const format::IndexTreeShape tree = write_tree(65536);
  EXPECT_EQ(tree.block_count, 65535);
  EXPECT_EQ(written, 65535);
  EXPECT_EQ(tree.root, 65535);
  EXPECT_EQ(tree.levels, 16);
  // An entry: the key, the block, the count under it and a zero, each number as the engine stores it.
  const uint8_t* second_entry = blocks.data() + format::BlockHeader::kSize + 7;
  EXPECT_EQ(std::vector<uint8_t>(second_entry, second_entry + 7), (std::vector<uint8_t>{0x00, 0x80, 0x02, 0x80, 0x01, 0x80, 0x00}));
  const uint8_t* last_block = blocks.data() + static_cast<size_t>(65534) * kTwoEntriesABlock;
  EXPECT_EQ(format::BlockHeader::Parse(last_block).next, 0);
  EXPECT_EQ(format::BlockHeader::Parse(last_block).prev, 65534);
  written = 0;
  EXPECT_THROW(write_tree(65537), std::runtime_error);
  EXPECT_EQ(written, 0) << "nothing is written of a tree that cannot be laid out";
}

}  // namespace
}  // namespace tabulor::db
