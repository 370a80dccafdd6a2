#pragma once
// What each data block of a table no one writes holds (its number, its row
// count, the id of its first row and its first key), kept in a temporary file
// rather than in memory: such a table is opened to be read through once or
// searched, and never changes its chain. Memory holds, per 4 KiB page of the
// file, the first id and the first key of its first block, and a few pages, so
// a table costs the same whatever its number of blocks.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "db/paradox/block_ids.h"

namespace tabulor::db {

class FrozenChain {
 public:
  // `key_size`: the bytes of a block's first key (0 for an unkeyed table).
  FrozenChain(int key_size, const std::string& table);
  ~FrozenChain();
  FrozenChain(const FrozenChain&) = delete;
  FrozenChain& operator=(const FrozenChain&) = delete;

  // The next block of the chain, its rows carrying the ids after those of the
  // blocks before; `first_key` null when it has no rows.
  void Append(uint16_t number, int rows, const uint8_t* first_key);
  // After the last Append, before any read.
  void Finish();

  int Count() const { return static_cast<int>(count_); }
  uint16_t Number(int i) const;
  int Rows(int i) const;
  RowId FirstId(int i) const;
  // The first key of block i, or of the last block before it that has rows;
  // null when none has. Valid until the next call.
  const uint8_t* KeyAt(int i) const;
  // The block holding row `id`, or -1.
  int BlockOf(RowId id) const;
  // The first block whose KeyAt does not satisfy `before` (a null key
  // satisfies it), as a binary search over the chain in key order finds it.
  template <typename Pred>
  int FirstNotBefore(Pred before) const {
    // Down to the page first, from the first keys memory holds.
    size_t lo = 0, hi = page_count_;
    while (lo < hi) {
      const size_t mid = (lo + hi) / 2;
      const uint8_t* k = page_keys_.data() + mid * (key_size_ + 1);
      if (!k[0] || before(k + 1)) lo = mid + 1;
      else hi = mid;
    }
    // Every block of the pages before `lo` - 1 satisfies it; none from page `lo` on does.
    if (lo == 0) return 0;
    int from = static_cast<int>((lo - 1) * per_page_), to = static_cast<int>(std::min(lo * per_page_, count_));
    while (from < to) {
      const int mid = (from + to) / 2;
      const uint8_t* k = KeyAt(mid);
      if (!k || before(k)) from = mid + 1;
      else to = mid;
    }
    return from;
  }

 private:
  // A block's record: number (2), rows (2), first id (4), whether a key follows (1), key.
  const uint8_t* Record(size_t i) const;
  void WritePage();
  size_t key_size_;
  size_t record_size_;
  size_t per_page_;
  std::string table_;
  std::FILE* file_ = nullptr;
  size_t count_ = 0;
  size_t page_count_ = 0;
  RowId next_id_ = 0;
  std::vector<uint8_t> last_key_;  // of the last block appended with rows
  bool has_key_ = false;
  std::vector<uint8_t> page_;        // the page being appended
  std::vector<RowId> page_ids_;      // the first id of each page's first block
  std::vector<uint8_t> page_keys_;   // each page's first KeyAt: a flag, then key_size_ bytes
  // The pages read last, the one used last at the back.
  struct Held {
    size_t page;
    std::vector<uint8_t> bytes;
  };
  static constexpr size_t kHeldPages = 8;
  mutable std::vector<Held> held_;
};

}  // namespace tabulor::db
