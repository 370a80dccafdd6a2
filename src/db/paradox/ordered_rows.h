#pragma once
// The rows of a table in a cursor's order (a secondary index, or a list of
// fields), grouped by the values of the order's leading fields for a detail
// cursor, and kept in step with the table from its record of changes rather
// than sorted again after every change.
#include <cstdint>
#include <optional>
#include <vector>

#include "db/paradox/index/index_layout.h"
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

 private:
  Value FieldValue(const uint8_t* record, int field) const;
  const TableFamily& fam_;
  std::vector<int> fields_;
  bool case_insensitive_;
  bool descending_;
  std::optional<index::KeyLayout> layout_;
};

// The rows of a table in a RowOrder, in groups of equal values of its first
// `group_fields` fields (none: one group of every row). Memory: the row ids
// (4 bytes a row) and, per group, its values and two vectors (about 100
// bytes): a few tens of bytes a row at most, bounded by the table's row count.
class OrderedRows {
 public:
  OrderedRows(const RowOrder& order, int group_fields) : order_(order), group_fields_(group_fields) {}
  int GroupFields() const { return group_fields_; }
  // Brings the rows to the family's present version: from its record of the
  // rows changed since when they are few, else by ordering every row again.
  void Update(const TableFamily& fam);
  // The rows whose leading values equal `prefix`, in order (empty when none).
  const std::vector<RowId>& Group(const std::vector<Value>& prefix) const;

 private:
  struct Entry {
    std::vector<Value> prefix;
    std::vector<RowId> rows;
  };
  void Build(const TableFamily& fam);
  bool CatchUp(const TableFamily& fam);
  void Place(const TableFamily& fam, RowId id);
  const RowOrder& order_;
  int group_fields_;
  std::vector<Entry> groups_;  // by prefix
  bool built_ = false;
  uint64_t version_ = 0;
  RowId id_limit_ = 0;  // the rows held are below it
};

}  // namespace tabulor::db
