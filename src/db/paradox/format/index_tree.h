#pragma once
// The B-tree of a .PX (or .Ynn) file: one level-1 entry per data block with the
// block's first key, its number and its record count; higher levels hold the
// first key of each child index block. All blocks of all levels form one chain.
#include <cstdint>
#include <vector>

#include "db/paradox/format/header.h"
#include "db/paradox/storage/paged_file.h"

namespace tabulor::db::format {

struct IndexEntry {
  std::vector<uint8_t> key;
  int block = 0;   // data block (level 1) or index block (above)
  int count = 0;   // records under the entry
};

struct IndexTree {
  std::vector<uint8_t> blocks;  // blocks 1..block_count, each block_size bytes
  int block_count = 0;
  int root = 1;
  int levels = 0;
  uint32_t entries = 0;         // in all levels
};

IndexTree BuildIndexTree(std::vector<IndexEntry> leaves, int key_size, int block_size);

// The level-1 entries in key order, found by descending from the root.
// Throws std::runtime_error on a damaged tree.
std::vector<IndexEntry> ReadIndexLeaves(storage::PagedFile& file, const Header& header);

}  // namespace tabulor::db::format
