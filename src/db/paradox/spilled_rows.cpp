#include "db/paradox/spilled_rows.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

#include "db/paradox/index/index_build.h"

namespace tabulor::db {
namespace {
constexpr size_t kPageBytes = 4096;
constexpr size_t kWindowPages = 16;
}  // namespace

SpilledRows::SpilledRows(const RowOrder& order, int group_fields)
    : order_(order),
      group_fields_(group_fields),
      prefix_size_(static_cast<size_t>(order.PrefixSize(group_fields))),
      key_size_(static_cast<size_t>(order.KeySize())),
      rest_size_(key_size_ ? key_size_ : static_cast<size_t>(order.PrefixSize(order.FieldCount())) - prefix_size_),
      record_size_(prefix_size_ + rest_size_ + sizeof(RowId)),
      page_records_(std::max<size_t>(1, kPageBytes / record_size_)) {}

SpilledRows::~SpilledRows() {
  if (file_) std::fclose(file_);
}

void SpilledRows::MakeRecord(const TableFamily& fam, RowPos p, uint8_t* out) const {
  const RowBytes row = fam.Row(p);
  if (key_size_) {
    order_.PrefixBytes(row, group_fields_, out);
    order_.Layout()->IndexedPart(row, out + prefix_size_);
  } else {
    order_.PrefixBytes(row, order_.FieldCount(), out);
  }
  const RowId id = fam.IdAt(p);
  std::memcpy(out + prefix_size_ + rest_size_, &id, sizeof id);
}

RowId SpilledRows::IdOf(const uint8_t* record) const {
  RowId id;
  std::memcpy(&id, record + prefix_size_ + rest_size_, sizeof id);
  return id;
}

// As OrderedRows orders its rows: by the leading fields, then by the index key
// or every field of the order; equal rows stay in chain order (the sort is stable).
int SpilledRows::CompareRecords(const uint8_t* a, const uint8_t* b) const {
  if (int c = order_.CompareStored(a, b, group_fields_, false)) return c;
  if (key_size_) return order_.Layout()->Compare(a + prefix_size_, b + prefix_size_, static_cast<int>(key_size_));
  return order_.CompareStored(a, b, order_.FieldCount(), true);
}

void SpilledRows::Build(const TableFamily& fam) {
  if (file_) std::fclose(file_);
  file_ = std::tmpfile();
  if (!file_) throw std::runtime_error("no temporary file for the rows of " + fam.Name() + " in order");
  count_ = 0;
  page_firsts_.clear();
  window_count_ = 0;
  index::RecordSorter sorter(
      record_size_, [this](const uint8_t* a, const uint8_t* b) { return CompareRecords(a, b); }, index::SortBudget());
  RowPos p;
  for (bool ok = fam.First(p); ok; ok = fam.Next(p)) MakeRecord(fam, p, sorter.Add());
  for (const uint8_t* r; (r = sorter.Next()) != nullptr; ++count_) {
    if (count_ % page_records_ == 0) page_firsts_.insert(page_firsts_.end(), r, r + prefix_size_);
    if (std::fwrite(r, 1, record_size_, file_) != record_size_)
      throw std::runtime_error("writing the temporary file of the rows of " + fam.Name() + " failed");
  }
  if (std::fflush(file_) != 0) throw std::runtime_error("writing the temporary file of the rows of " + fam.Name() + " failed");
  page_firsts_.shrink_to_fit();
}

const uint8_t* SpilledRows::Record(uint64_t i) {
  if (i < window_first_ || i >= window_first_ + window_count_) {
    window_first_ = i - i % page_records_;
    window_count_ = std::min<uint64_t>(count_ - window_first_, kWindowPages * page_records_);
    window_.resize(window_count_ * record_size_);
    const ssize_t want = static_cast<ssize_t>(window_.size());
    if (pread(fileno(file_), window_.data(), window_.size(), static_cast<off_t>(window_first_ * record_size_)) != want) {
      window_count_ = 0;
      throw std::runtime_error("reading the temporary file of rows in order failed");
    }
  }
  return window_.data() + (i - window_first_) * record_size_;
}

std::span<const RowId> SpilledRows::Group(const std::vector<Value>& prefix) {
  group_rows_.clear();
  group_keys_.clear();
  const auto below = [&](const uint8_t* record) { return order_.ComparePrefixBytes(record, prefix) < 0; };
  // The first page whose first row is not below the prefix; the group's first
  // row lies in the page before it, or is that page's first.
  size_t lo = 0, hi = page_firsts_.size() / prefix_size_;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (below(page_firsts_.data() + mid * prefix_size_)) lo = mid + 1;
    else hi = mid;
  }
  uint64_t first = lo > 0 ? (lo - 1) * page_records_ : 0;
  uint64_t last = std::min<uint64_t>(count_, lo * page_records_);
  while (first < last) {
    const uint64_t mid = first + (last - first) / 2;
    if (below(Record(mid))) first = mid + 1;
    else last = mid;
  }
  for (uint64_t i = first; i < count_; ++i) {
    const uint8_t* r = Record(i);
    if (order_.ComparePrefixBytes(r, prefix) != 0) break;
    group_rows_.push_back(IdOf(r));
    if (key_size_) group_keys_.insert(group_keys_.end(), r + prefix_size_, r + prefix_size_ + key_size_);
  }
  return group_rows_;
}

}  // namespace tabulor::db
