#pragma once
// The B-tree of a .PX (or .Ynn) file: one level-1 entry per data block with the
// block's first key, its number and its record count; higher levels hold the
// first key of each child index block. All blocks of all levels form one chain.
#include <cstdint>
#include <functional>
#include <vector>

#include "db/paradox/format/header.h"
#include "db/paradox/storage/paged_file.h"

namespace tabulor::db::format {

struct IndexEntry {
  std::vector<uint8_t> key;
  int block = 0;   // data block (level 1) or index block (above)
  int count = 0;   // records under the entry
};

struct IndexTreeShape {
  int block_count = 0;
  int root = 1;
  int levels = 0;
  uint32_t entries = 0;  // in all levels
};

// A tree built whole in memory.
struct IndexTree : IndexTreeShape {
  std::vector<uint8_t> blocks;  // blocks 1..block_count, each block_size bytes
};

// A level-1 entry as WriteIndexTree takes it: the key's bytes stay where they are.
struct LeafEntry {
  const uint8_t* key = nullptr;
  int block = 0;
  int count = 0;
};

// Lays out the tree of `count` level-1 entries, which `next` hands out in key
// order, leaves first and the root last, all blocks in one chain. Each block
// goes to `write` (its number, then block_size bytes) as soon as it is made,
// so what is held meanwhile is one block and the entries of the levels above
// the leaves. Throws std::runtime_error, before anything is written, when the
// tree would need more blocks than a file holds.
IndexTreeShape WriteIndexTree(size_t count, const std::function<LeafEntry()>& next, int key_size, int block_size,
                              const std::function<void(int, const uint8_t*)>& write);

// The level-1 entries in key order, found by descending from the root.
// Throws std::runtime_error on a damaged tree.
std::vector<IndexEntry> ReadIndexLeaves(storage::PagedFile& file, const Header& header);
// The same handed to `each` one at a time, holding a block of each level meanwhile.
void ForEachIndexLeaf(storage::PagedFile& file, const Header& header, const std::function<void(IndexEntry&&)>& each);

}  // namespace tabulor::db::format
