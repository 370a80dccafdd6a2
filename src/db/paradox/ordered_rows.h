#pragma once
// The rows of a table in a cursor's order (a secondary index, or a list of
// fields), grouped by the values of the order's leading fields for a detail
// cursor, and kept in step with the table from its record of changes rather
// than sorted again after every change.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "db/paradox/chunked_array.h"
#include "db/paradox/index/index_layout.h"
#include "db/paradox/packed_keys.h"
#include "db/paradox/table_family.h"

namespace tabulor::db {

// A cursor's order: the key bytes of a secondary index file (as the file
// orders them, upper-cased for a case-insensitive index), or field values.
// Rows of equal keys keep their chain order.
class RowOrder {
 public:
  // `secondary`: the place of the index in the family's list, or -1 to order by the fields' values.
  RowOrder(const TableFamily& fam, std::vector<int> fields, bool case_insensitive, bool descending, int secondary);

  struct Key {
    std::vector<uint8_t> bytes;
    std::vector<Value> values;
  };
  Key KeyOf(const uint8_t* record) const;
  int Compare(const Key& a, const Key& b) const;
  bool Before(const Key& a, RowPos at_a, const Key& b, RowPos at_b) const {
    const int c = Compare(a, b);
    return c != 0 ? c < 0 : at_a < at_b;
  }
  // The values of the first `n` fields of the order, and their comparison as a
  // detail compares its rows with its master's values.
  std::vector<Value> Prefix(const uint8_t* record, int n) const;
  int ComparePrefix(const std::vector<Value>& a, const std::vector<Value>& b) const;
  // The order's fields.
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  // Its first `n` fields as the record stores them (PrefixSize(n) bytes), and
  // their comparison with a detail's master values as ComparePrefix compares.
  int PrefixSize(int n) const;
  void PrefixBytes(const uint8_t* record, int n, uint8_t* out) const;
  int ComparePrefixBytes(const uint8_t* bytes, const std::vector<Value>& b) const;
  // The first `n` fields as PrefixBytes stores them, of two rows: compared as
  // ComparePrefix compares, or, `directed`, in the order's direction as Compare.
  int CompareStored(const uint8_t* a, const uint8_t* b, int n, bool directed) const;
  // The values of the order's first `n` fields, from arrays of them: as
  // ComparePrefix does (n up to the group fields), and as Compare does (every field).
  int ComparePrefix(const Value* a, const Value* b, int n) const;
  int CompareValues(const Value* a, const Value* b) const;
  // Appends the values of the first `n` fields of the order.
  void AppendValues(const uint8_t* record, int n, std::vector<Value>& out) const;
  // The secondary index's layout (null for an order by values), and the size
  // of the key bytes KeyOf gives then.
  const index::KeyLayout* Layout() const { return layout_ ? &*layout_ : nullptr; }
  int KeySize() const { return layout_ ? layout_->IndexedSize() : 0; }

 private:
  Value FieldValue(const uint8_t* record, int field) const;
  Value StoredValue(const uint8_t* stored, int field) const;
  const TableFamily& fam_;
  std::vector<int> fields_;
  bool case_insensitive_;
  bool descending_;
  std::optional<index::KeyLayout> layout_;
};

// The rows of a table in a RowOrder, in groups of equal values of its first
// `group_fields` fields (none: one group of every row). In the order of a
// secondary index each row's key bytes are held, by row id, so that the
// searches in that order compare in memory rather than reading the rows'
// blocks again (a table larger than its block cache would otherwise be read
// from disk a block a comparison). Memory: the row ids in order (4 bytes a
// row), the index's key bytes for every row id below the family's limit
// (packed when mostly text: 4 bytes and about a third of the fields' stored
// sizes for names, some 20 of the 64 bytes of Patient_Existant) and, per group, where
// it starts and its leading fields as stored (4 bytes and the fields' stored
// sizes: 4 bytes for a long integer master key), so that a detail table's
// view of a large table costs no more per master row than per detail row.
class SpilledRows;

class OrderedRows {
 public:
  OrderedRows(const RowOrder& order, int group_fields);
  ~OrderedRows();
  int GroupFields() const { return group_fields_; }
  // Brings the rows to the family's present version: from its record of the
  // rows changed since when they are few, else by ordering every row again.
  void Update(const TableFamily& fam);
  // The rows whose leading values equal `prefix`, in order (empty when none),
  // valid until the next Update or Group.
  std::span<const RowId> Group(const std::vector<Value>& prefix);
  // In a secondary index's order, the key bytes (RowOrder::KeyOf) of the i-th
  // row of the last group, as of the last Update; null in an order by values.
  const uint8_t* HeldKeyAt(size_t i) const;
  // The grouped views of a table no one writes, of at least this many rows,
  // are kept in a temporary file rather than in memory (the tests make it small).
  static void SetSpillThreshold(int64_t rows);
  // How many views were built into a temporary file so far.
  static uint64_t SpilledBuilds();

 private:
  size_t GroupCount() const { return starts_.size(); }
  size_t GroupBegin(size_t g) const { return starts_[g]; }
  size_t GroupEnd(size_t g) const { return g + 1 < starts_.size() ? starts_[g + 1] : rows_.size(); }
  // The first group whose leading values are not below `prefix`.
  size_t LowerGroup(const std::vector<Value>& prefix) const;
  int CompareGroup(size_t g, const std::vector<Value>& prefix) const;
  // The key of a row, unpacked into one of two buffers (so that two can be compared).
  const uint8_t* HeldKey(RowId id, int buffer = 0) const {
    keys_.Get(id, unpacked_[buffer].data());
    return unpacked_[buffer].data();
  }
  void HoldKey(RowId id, const uint8_t* key);
  bool Spills(const TableFamily& fam) const;
  void Build(const TableFamily& fam);
  bool CatchUp(const TableFamily& fam);
  void Place(const TableFamily& fam, RowId id);
  const RowOrder& order_;
  int group_fields_;
  size_t key_size_;
  size_t prefix_size_;            // the stored sizes of the leading fields
  PackedKeys keys_;               // by row id (secondary index order)
  mutable std::vector<uint8_t> unpacked_[2];
  std::vector<uint8_t> scratch_;  // the key of the row being placed
  std::vector<RowId> rows_;       // every row, group after group, each in order
  std::vector<uint32_t> starts_;  // where each group starts in rows_, in the order of their leading values
  std::vector<uint8_t> prefixes_; // each group's leading fields as stored, prefix_size_ bytes
  std::span<const RowId> group_;  // the last group handed out
  // The rows in a temporary file in place of rows_, starts_, prefixes_ and keys_.
  std::unique_ptr<SpilledRows> spilled_;
  bool built_ = false;
  uint64_t version_ = 0;
  RowId id_limit_ = 0;  // the rows held are below it
};

}  // namespace tabulor::db
