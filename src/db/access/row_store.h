#pragma once
// The rows of an open table, kept in an unlinked temporary file rather than in
// memory, and where each row is in a second one: memory holds the rows being
// read and a few pages of row places, whatever the size of the table. The
// files vanish with the store (or the process). Rows are appended while the
// table is read, then read back by index, in an order the owner may change
// (the sort of a detail on its key).
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "db/access/table_data.h"
#include "db/access/wire.h"

namespace tabulor::db::access {

class RowStore {
 public:
  RowStore();  // throws AccessError when no temporary file can be made
  ~RowStore();
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  void Append(const std::vector<Cell>& row);  // throws AccessError when the file cannot be written
  // A row as the reading process encoded it, kept as it is: the file holds
  // each row's width and then its cells in that same encoding.
  void Append(const EncodedRow& row);
  void Finish();                              // writes what is still buffered and lets its buffer go; before any read

  size_t Size() const { return count_; }
  // Row `index` of the current order; throws AccessError when the file cannot be read.
  void Read(size_t index, std::vector<Cell>& row) const;
  // One cell of row `index`, the others skipped.
  void ReadCell(size_t index, size_t column, Cell& cell) const;
  // Every row's cell of `column`, in the current order, read sequentially.
  void ScanColumn(size_t column, const std::function<void(size_t, Cell&&)>& each) const;
  // Puts the rows in the order of `order`, a permutation of the current indexes
  // (holding the places of every row while it works).
  void Reorder(const std::vector<uint32_t>& order);

 private:
  // Where row `index` is in the rows' file: its offset and length, 12 bytes in the places' file.
  struct Place {
    uint64_t offset;
    uint32_t length;
  };
  static constexpr size_t kPlaceBytes = 12;
  static constexpr size_t kPlacesPerPage = 1024;
  static constexpr size_t kCachedPages = 4;
  struct PlacePage {
    size_t page = SIZE_MAX;
    uint64_t used = 0;  // when last used, for the choice of the page to drop
    std::string bytes;
  };
  Place PlaceOf(size_t index) const;  // throws std::out_of_range past the last row
  const char* Load(size_t index) const;  // the encoded row, valid until the next load
  void WriteBuffered();
  void WritePlaces();  // the places appended since the last whole page
  void Appended(size_t start);  // the row encoded from `start` of the buffer is the last one

  int fd_ = -1;
  int places_fd_ = -1;
  std::string buffer_;  // encoded rows not yet written
  uint64_t written_ = 0;
  size_t count_ = 0;
  std::string new_places_;  // the places of the rows appended since the last whole page
  mutable std::array<PlacePage, kCachedPages> pages_;
  mutable uint64_t uses_ = 0;
  // The last stretch of the file read, and where the last row read ended.
  mutable std::string chunk_;
  mutable uint64_t chunk_start_ = 0;
  mutable uint64_t last_end_ = UINT64_MAX;
};

}  // namespace tabulor::db::access
