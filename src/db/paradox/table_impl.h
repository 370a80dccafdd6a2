#pragma once
// The state of a table cursor.
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "db/common/string_map.h"
#include "db/paradox/engine.h"
#include "db/paradox/ordered_rows.h"
#include "db/paradox/table_family.h"

namespace tabulor::db {

struct Table::Impl {
  std::shared_ptr<TableFamily> family;
  std::vector<std::unique_ptr<Field>> fields;
  // Field positions by the names callers asked for, exactly as spelled: the
  // steps of a run ask for the same few names on every row.
  StringMap<int> field_by_name;
  bool read_only = false;
  bool exclusive = false;
  std::string index_name;
  std::string index_field_names;
  Table* master = nullptr;
  std::vector<std::string> master_field_names;

  // The current order: field positions of the current index (empty: the
  // primary key, i.e. the order of the data blocks).
  std::vector<int> order;
  bool order_case_insensitive = false;
  bool order_descending = false;
  // The secondary index file giving the order (its place in the family's
  // list), or -1: rows are then ordered by their values.
  int secondary = -1;
  // That index's key layout, for searches in its order.
  std::optional<index::KeyLayout> secondary_layout;

  // Rows in the current order when it is not the block order or when a master
  // filters them; brought up to date when the table or the master's row changes.
  bool use_view = false;
  std::unique_ptr<RowOrder> row_order;       // a secondary index or field list
  std::unique_ptr<OrderedRows> all_rows;     // every row in that order
  std::unique_ptr<OrderedRows> detail_rows;  // grouped by the master fields
  std::vector<RowId> block_order_rows;       // a detail's rows in block order
  std::span<const RowId> view;  // into block_order_rows or an OrderedRows group
  // In a secondary index's order: the rows that hold the view's key bytes
  // (OrderedRows::HeldKeyAt); null otherwise.
  const OrderedRows* view_keys = nullptr;
  bool view_valid = false;
  uint64_t view_version = 0;
  bool view_filtered = false;
  std::vector<Value> view_master_values;
  // The master's row bytes the view was made for: while they and the table
  // stay the same, so does the view, without decoding the master's fields.
  const Table* view_master = nullptr;
  std::optional<std::vector<uint8_t>> view_master_record;
  int view_index = -1;
  // The cursor stands on a row a search found through the index files
  // (TableFamily::FirstWithKey) and holds no view, so that searching a large
  // table costs no memory per row; a move builds the view again.
  bool view_deferred = false;
  // A cursor that moved after such a search keeps its view from then on.
  bool view_kept = false;
  // Its row changed or went meanwhile: the view about to be built places it.
  bool place_of_changed_row = false;

  RowPos pos;
  bool has_row = false;
  bool eof = true;
  bool bof = true;
  std::vector<uint8_t> current;  // the current row's bytes, to find it again after changes
  uint64_t seen_version = 0;

  CursorState state = CursorState::kInactive;
  std::vector<uint8_t> buffer;         // the row being edited or appended
  std::map<int, Blob> pending_blobs;   // blob fields set in the buffer (empty: cleared)
  // Blob fields set to a copy, as stored, of a blob in a blob file: the source's
  // row, whose blob is read a piece at a time into this table's blob file when
  // the row is posted. A field is in one of the two maps at most.
  struct BlobCopy {
    std::shared_ptr<TableFamily> source;
    int field = 0;
    std::vector<uint8_t> record;
  };
  std::map<int, BlobCopy> pending_copies;

  RowBytes Record() const {
    if (family->Abandoned()) family->RequireUsable();
    if (state == CursorState::kEdit || state == CursorState::kAppend) return RowBytes(buffer.data());
    return has_row ? family->Row(pos) : RowBytes();
  }
};

}  // namespace tabulor::db
