#pragma once
// The groups of a view of a table that no one writes, laid out in a temporary
// file instead of memory. A source walked detail after detail through its
// master is read in the order of its groups, so a window of the file serves
// group after group; what stays in memory is that window and, per page of the
// file, the leading fields of its first row.
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "db/paradox/ordered_rows.h"

namespace tabulor::db {

class SpilledRows {
 public:
  SpilledRows(const RowOrder& order, int group_fields);
  ~SpilledRows();
  SpilledRows(const SpilledRows&) = delete;
  SpilledRows& operator=(const SpilledRows&) = delete;

  // Orders every row of the family (through sorted runs within the sort
  // budget) into the file.
  void Build(const TableFamily& fam);
  // As OrderedRows::Group: the rows whose leading values equal `prefix`, in
  // order, valid until the next call.
  std::span<const RowId> Group(const std::vector<Value>& prefix);
  // In a secondary index's order, the key bytes of the i-th row of the last group.
  const uint8_t* KeyAt(size_t i) const { return group_keys_.data() + i * key_size_; }

 private:
  // A row's record: its leading fields as stored, then the index key bytes (a
  // secondary index's order) or the order's other fields as stored, then its id.
  void MakeRecord(const TableFamily& fam, RowPos p, uint8_t* out) const;
  int CompareRecords(const uint8_t* a, const uint8_t* b) const;
  const uint8_t* Record(uint64_t i);
  RowId IdOf(const uint8_t* record) const;

  const RowOrder& order_;
  int group_fields_;
  size_t prefix_size_;
  size_t key_size_;    // the index key bytes, when the order is a secondary index's
  size_t rest_size_;   // what follows the leading fields before the id
  size_t record_size_;
  size_t page_records_;
  std::FILE* file_ = nullptr;
  uint64_t count_ = 0;
  std::vector<uint8_t> page_firsts_;  // prefix_size_ bytes a page
  std::vector<uint8_t> window_;       // the records read last
  uint64_t window_first_ = 0, window_count_ = 0;
  std::vector<RowId> group_rows_;
  std::vector<uint8_t> group_keys_;
};

}  // namespace tabulor::db
