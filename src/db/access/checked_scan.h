#pragma once
// The rows of a table, found as libmdb's own scan finds them (the pages its
// usage map lists, in page order; on each page the rows not flagged deleted),
// but where libmdb skips what it cannot read, this throws AccessError: a
// usage map that is missing, too short or of an unknown kind, a listed page
// beyond the end of the file or not a data page of the table, a row that
// cannot be located, and a number of rows other than the definition's.
// For the reading process only (libmdb.h).
#include <cstddef>
#include <cstdint>

#include "db/access/libmdb.h"

namespace tabulor::db::access {

class CheckedScan {
 public:
  CheckedScan(MdbHandle* mdb, MdbTableDef* table);

  // The next row, as its place in mdb->pg_buf. False after the last one,
  // once their number has been checked.
  bool Next(int& start, size_t& size);

 private:
  void CheckUsageMaps();
  bool NextPage();

  MdbHandle* mdb_;
  MdbTableDef* table_;
  uint32_t page_count_;
  uint32_t page_ = 0;  // the data page in mdb->pg_buf, 0 before the first
  unsigned rows_on_page_ = 0;
  unsigned next_row_ = 0;
  uint64_t rows_found_ = 0;
};

}  // namespace tabulor::db::access
