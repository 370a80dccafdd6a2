#pragma once
// Building the files of a secondary index from a table's rows, block for
// block as the original engine lays out a freshly built index.
#include <cstdint>
#include <vector>

#include "db/paradox/format/header.h"
#include "db/paradox/format/index_tree.h"
#include "db/paradox/index/index_layout.h"

namespace tabulor::db::index {

// The tree of a .PX or .Y file as the original engine lays out a fresh one:
// the root in block 1, then each level below it, leaves last; every block of a
// level but its last holds one entry less than it could.
format::IndexTree BuildEngineTree(const std::vector<format::IndexEntry>& leaves, int key_size, int block_size);

// How the change counters of the index files move.
enum class Counters {
  kRebuilt,  // built afresh from the data: the Y file's counter equals the X file's
  kKept,     // left as they are (the caller moves both on when the index changed)
};

// What the X file must agree on with its table.
struct TableStamps {
  uint8_t structure = 0;       // the table's 0x2E
  uint8_t primary_index = 0;   // the .PX's 0x2C (keyed tables)
  bool keyed = false;
};

struct IndexImage {
  std::vector<uint8_t> x;  // whole files
  std::vector<uint8_t> y;
  std::vector<format::IndexEntry> x_blocks;  // the level-1 entries of the Y tree
};

// The X and Y files for `rows`, keeping every byte of the given headers but
// the counts and the counters (an existing file's headers, or new ones).
IndexImage BuildIndexImage(const TableRows& rows, const KeyLayout& layout,
                           format::Header x_header, format::Header y_header, const TableStamps& stamps,
                           Counters counters);

// The X records in index order (for the unique test and the cursor).
std::vector<std::vector<uint8_t>> SortedRecords(const TableRows& rows, const KeyLayout& layout);

// Headers for a new index over a table.
format::Header NewXHeader(const format::Header& table, const TableDef& def, const IndexFiles& index,
                          const KeyLayout& layout, const format::CodePage& cp);
format::Header NewYHeader(const format::Header& table, const TableDef& def, const IndexFiles& index,
                          const KeyLayout& layout);

// Parses a header held in memory (whatever the file's present size).
format::Header ParseHeaderBytes(const std::vector<uint8_t>& raw);

}  // namespace tabulor::db::index
