#include "db/paradox/format/index_tree.h"

#include <cstring>
#include <set>
#include <stdexcept>

#include "db/paradox/format/block.h"
#include "db/paradox/format/field_codec.h"

namespace tabulor::db::format {

IndexTreeShape WriteIndexTree(size_t count, const std::function<LeafEntry()>& next, int key_size, int block_size,
                              const std::function<void(int, const uint8_t*)>& write) {
  IndexTreeShape tree;
  if (count == 0) return tree;
  const int rec = key_size + 6;
  const size_t per_block = static_cast<size_t>((block_size - BlockHeader::kSize) / rec);
  if (per_block < 2) throw std::runtime_error("key too long for the index block size");
  // The shape first: every block's header names the chain's length.
  size_t blocks = 0;
  for (size_t n = count;; n = (n + per_block - 1) / per_block) {
    blocks += (n + per_block - 1) / per_block;
    if (n <= per_block) break;
  }
  RequireBlockCount(static_cast<int>(std::min<size_t>(blocks, kMaxBlocks + 1)));
  tree.block_count = static_cast<int>(blocks);
  std::vector<uint8_t> block(static_cast<size_t>(block_size));
  int number = 0;
  // Lays out one block of `n` entries, the k-th from `entry(k)`; returns the count under it.
  auto lay_out = [&](size_t n, const auto& entry) {
    std::fill(block.begin(), block.end(), 0);
    ++number;
    ChainedBlockHeader(number, tree.block_count, static_cast<int>(n), rec).Store(block.data());
    int total = 0;
    for (size_t k = 0; k < n; ++k) {
      const LeafEntry e = entry(k);
      uint8_t* r = block.data() + BlockHeader::kSize + k * rec;
      std::memcpy(r, e.key, static_cast<size_t>(key_size));
      EncodeInt(r + key_size, 2, e.block);
      EncodeInt(r + key_size + 2, 2, e.count);
      EncodeInt(r + key_size + 4, 2, 0);
      total += e.count;
    }
    tree.entries += static_cast<uint32_t>(n);
    write(number, block.data());
    return total;
  };
  // The leaves, a block at a time, noting the first entry of each for the level above.
  std::vector<IndexEntry> level;
  tree.levels = 1;
  for (size_t i = 0; i < count; i += per_block) {
    const size_t n = std::min(per_block, count - i);
    std::vector<uint8_t> first;
    const int total = lay_out(n, [&](size_t k) {
      const LeafEntry e = next();
      if (k == 0) first.assign(e.key, e.key + key_size);
      return e;
    });
    level.push_back({std::move(first), number, total});
  }
  while (level.size() > 1) {
    ++tree.levels;
    std::vector<IndexEntry> parents;
    for (size_t i = 0; i < level.size(); i += per_block) {
      const size_t n = std::min(per_block, level.size() - i);
      const int total =
          lay_out(n, [&](size_t k) { return LeafEntry{level[i + k].key.data(), level[i + k].block, level[i + k].count}; });
      parents.push_back({level[i].key, number, total});
    }
    level = std::move(parents);
  }
  tree.root = number;
  return tree;
}

std::vector<IndexEntry> ReadIndexLeaves(storage::PagedFile& file, const Header& h) {
  std::vector<IndexEntry> out;
  ForEachIndexLeaf(file, h, [&](IndexEntry&& e) { out.push_back(std::move(e)); });
  return out;
}

void ForEachIndexLeaf(storage::PagedFile& file, const Header& h, const std::function<void(IndexEntry&&)>& each) {
  if (h.index_levels == 0 || h.num_records == 0) return;
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
        each(std::move(e));
      else
        self(self, e.block, level - 1);
    }
  };
  visit(visit, h.index_root, h.index_levels);
}

}  // namespace tabulor::db::format
