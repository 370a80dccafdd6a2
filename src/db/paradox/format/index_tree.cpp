#include "db/paradox/format/index_tree.h"

#include <cstring>
#include <set>
#include <stdexcept>

#include "db/paradox/format/block.h"
#include "db/paradox/format/field_codec.h"

namespace tabulor::db::format {

IndexTree BuildIndexTree(std::vector<IndexEntry> leaves, int key_size, int block_size) {
  IndexTree tree;
  if (leaves.empty()) return tree;
  const int rec = key_size + 6;
  const size_t per_block = static_cast<size_t>((block_size - BlockHeader::kSize) / rec);
  if (per_block < 2) throw std::runtime_error("key too long for the index block size");
  std::vector<IndexEntry> level = std::move(leaves);
  while (true) {
    ++tree.levels;
    std::vector<IndexEntry> parents;
    for (size_t i = 0; i < level.size(); i += per_block) {
      size_t n = std::min(per_block, level.size() - i);
      int number = ++tree.block_count;
      RequireBlockCount(number);
      tree.blocks.resize(static_cast<size_t>(tree.block_count) * block_size, 0);
      uint8_t* b = tree.blocks.data() + static_cast<size_t>(number - 1) * block_size;
      BlockHeader{0, 0, BlockHeader::SizeFor(static_cast<int>(n), rec)}.Store(b);
      int total = 0;
      for (size_t k = 0; k < n; ++k) {
        const IndexEntry& e = level[i + k];
        uint8_t* r = b + BlockHeader::kSize + k * rec;
        std::memcpy(r, e.key.data(), static_cast<size_t>(key_size));
        EncodeInt(r + key_size, 2, e.block);
        EncodeInt(r + key_size + 2, 2, e.count);
        EncodeInt(r + key_size + 4, 2, 0);
        total += e.count;
      }
      tree.entries += static_cast<uint32_t>(n);
      parents.push_back({level[i].key, number, total});
    }
    if (parents.size() == 1) {
      tree.root = parents[0].block;
      break;
    }
    level = std::move(parents);
  }
  // One chain through every block, in the order they were laid out.
  for (int n = 1; n <= tree.block_count; ++n) {
    uint8_t* b = tree.blocks.data() + static_cast<size_t>(n - 1) * block_size;
    const int records = BlockHeader::Parse(b).RecordCount(rec);
    ChainedBlockHeader(n, tree.block_count, records, rec).Store(b);
  }
  return tree;
}

std::vector<IndexEntry> ReadIndexLeaves(storage::PagedFile& file, const Header& h) {
  std::vector<IndexEntry> out;
  if (h.index_levels == 0 || h.num_records == 0) return out;
  if (h.index_levels > 16) throw std::runtime_error("damaged index: too many levels");
  const int key_size = h.record_size - 6;
  std::set<int> seen;
  std::vector<uint8_t> buf(static_cast<size_t>(h.block_size));
  auto visit = [&](auto&& self, int number, int level) -> void {
    if (number < 1 || number > h.file_blocks) throw std::runtime_error("damaged index: block " + std::to_string(number) + " out of range");
    if (!seen.insert(number).second) throw std::runtime_error("damaged index: block " + std::to_string(number) + " reached twice");
    std::fill(buf.begin(), buf.end(), 0);
    if (file.Read(BlockOffset(h.header_size, h.block_size, number), buf.data(), buf.size()) < BlockHeader::kSize)
      throw std::runtime_error("damaged index: block " + std::to_string(number) + " past the end of the file");
    BlockHeader bh = BlockHeader::Parse(buf.data());
    int n = bh.RecordCount(h.record_size);
    if (n < 0 || BlockHeader::kSize + n * h.record_size > h.block_size)
      throw std::runtime_error("damaged index: block " + std::to_string(number) + " has a bad size");
    std::vector<IndexEntry> entries;
    for (int k = 0; k < n; ++k) {
      const uint8_t* r = buf.data() + BlockHeader::kSize + k * h.record_size;
      IndexEntry e;
      e.key.assign(r, r + key_size);
      // Block numbers and counts are unsigned 16-bit values under the S encoding:
      // a table has up to 65535 blocks.
      e.block = static_cast<uint16_t>(DecodeInt(r + key_size, 2));
      e.count = static_cast<uint16_t>(DecodeInt(r + key_size + 2, 2));
      entries.push_back(std::move(e));
    }
    for (auto& e : entries) {
      if (level == 1)
        out.push_back(std::move(e));
      else
        self(self, e.block, level - 1);
    }
  };
  visit(visit, h.index_root, h.index_levels);
  return out;
}

}  // namespace tabulor::db::format
