#pragma once
// Building the files of a secondary index from a table's rows, block for
// block as the original engine lays out a freshly built index.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "db/paradox/format/header.h"
#include "db/paradox/format/index_tree.h"
#include "db/paradox/index/index_layout.h"
#include "db/paradox/storage/paged_file.h"

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

// The bytes of index records a flush holds at once while it sorts them (the
// tests make it small); a larger sort is done in sorted runs spilled to a
// temporary file and merged.
void SetSortBudget(size_t bytes);
size_t SortBudget();
// What the flushes did since the budget was set.
struct RewriteCounters {
  uint64_t merged = 0;  // indexes brought in step from the changed rows
  uint64_t built = 0;   // indexes built from every row
  uint64_t runs = 0;    // sorted runs spilled to a temporary file
};
RewriteCounters Rewrites();
void NoteRewrite(bool merged, int runs);

// Records of one size in order within the sort budget: added in any order,
// then handed out one at a time. Records that compare equal keep the order
// they were added in, as a stable sort leaves them.
class RecordSorter {
 public:
  // Below zero when the first record goes before the second.
  using Compare = std::function<int(const uint8_t*, const uint8_t*)>;
  RecordSorter(size_t record_size, Compare compare, size_t budget);
  // X records in index order.
  RecordSorter(const KeyLayout& layout, size_t budget);
  ~RecordSorter();
  RecordSorter(const RecordSorter&) = delete;
  RecordSorter& operator=(const RecordSorter&) = delete;
  // Space for the next record, RecordSize() bytes.
  uint8_t* Add();
  // After the last Add: the records in index order, valid until the next call; nullptr at the end.
  const uint8_t* Next();
  size_t Count() const { return count_; }
  int Runs() const { return static_cast<int>(runs_.size()); }  // spilled to the temporary file

 private:
  void SortChunk();
  void SpillChunk();
  void StartMerge();
  bool Refill(size_t run);
  bool RunBefore(size_t a, size_t b) const;
  struct Run {
    uint64_t offset = 0, records = 0;  // in the temporary file
    uint64_t taken = 0;                // records read into its buffer so far
    std::vector<uint8_t> buffer;
    size_t at = 0, held = 0;           // the next record in the buffer, and how many it holds
  };
  Compare compare_;
  size_t rs_;
  size_t chunk_records_;
  std::vector<uint8_t> chunk_;
  std::vector<uint32_t> order_;
  size_t chunk_count_ = 0;
  size_t count_ = 0;
  bool merging_ = false;
  size_t next_ = 0;  // in the sorted chunk, when nothing was spilled
  std::FILE* spill_ = nullptr;
  uint64_t spilled_bytes_ = 0;
  std::vector<Run> runs_;
  std::vector<size_t> heap_;  // runs by their next record
  size_t last_run_ = SIZE_MAX;  // the run the record handed out last came from
};

// The rows that changed since the index files were last written (which are in
// step with the rows as they were then). The X records of those rows are
// named by the table's key (keyed tables: the maintained indexes) or by their
// tuple number (unkeyed tables whose rows only changed in place or were
// appended, which leaves every other row's number and place as it was).
struct IndexChanges {
  bool by_key = false;
  size_t name_size = 0;
  // The names of the records to drop, `name_size` bytes each.
  std::vector<uint8_t> stale;
  // The changed rows that live, with their tuple numbers, in any order.
  std::function<void(const std::function<void(const RowRef&, int64_t)>&)> each;
  size_t count = 0;  // rows `each` hands out
};

// What writing an X file from records in index order left.
struct XWritten {
  uint32_t records = 0;
  int blocks = 0;
  std::vector<format::IndexEntry> leaves;  // one per X block, for the Y tree
  bool changed = false;                    // the records or their blocks differ from what the file held
};

// Writes the records handed out by `next` (nullptr at the end) into the X
// file block by block, as BuildIndexImage lays them out, leaving blocks that
// already hold those bytes untouched and the header and the file's end to
// the caller. `before_write(n)` is called before block n is written.
XWritten WriteXBlocks(storage::PagedFile& x, const format::Header& xh, const KeyLayout& layout,
                      const std::function<const uint8_t*()>& next, const std::function<void(int)>& before_write);

// The headers of an index holding `records` in `blocks` X blocks (their
// counts, the tree's shape, the table's stamps and the counters), and the Y
// file's whole content.
std::vector<uint8_t> FinishIndexHeaders(format::Header& xh, format::Header& yh, uint32_t records, int blocks,
                                        const std::vector<format::IndexEntry>& leaves, int key_size,
                                        const TableStamps& stamps, Counters counters);

// Headers for a new index over a table.
format::Header NewXHeader(const format::Header& table, const TableDef& def, const IndexFiles& index,
                          const KeyLayout& layout, const format::CodePage& cp);
format::Header NewYHeader(const format::Header& table, const TableDef& def, const IndexFiles& index,
                          const KeyLayout& layout);

// Parses a header held in memory (whatever the file's present size).
format::Header ParseHeaderBytes(const std::vector<uint8_t>& raw);

}  // namespace tabulor::db::index
