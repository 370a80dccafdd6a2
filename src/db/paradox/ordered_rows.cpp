#include "db/paradox/ordered_rows.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "db/paradox/format/field_codec.h"
#include "db/paradox/spilled_rows.h"
#include "db/paradox/values.h"

namespace tabulor::db {

RowOrder::RowOrder(const TableFamily& fam, std::vector<int> fields, bool case_insensitive, bool descending,
                   int secondary)
    : fam_(fam), fields_(std::move(fields)), case_insensitive_(case_insensitive), descending_(descending) {
  if (secondary >= 0)
    layout_.emplace(fam.Header(), fam.Definition().key_field_count, fam.SecondaryIndexes()[secondary], fam.Codec());
}

Value RowOrder::FieldValue(const uint8_t* record, int field) const {
  return StoredValue(record + fam_.Header().offsets[field], field);
}

Value RowOrder::StoredValue(const uint8_t* stored, int field) const {
  const FieldDef& fd = fam_.Definition().fields[field];
  if (IsBlobType(fd.type)) return {};
  return format::DecodeField(fd.type, stored, fam_.Header().stored_sizes[field], fam_.Codec());
}

RowOrder::Key RowOrder::KeyOf(const uint8_t* record) const {
  Key key;
  if (layout_) key.bytes = layout_->IndexedPart(record);
  else key.values = Prefix(record, static_cast<int>(fields_.size()));
  return key;
}

int RowOrder::Compare(const Key& a, const Key& b) const {
  if (layout_) return layout_->Compare(a.bytes.data(), b.bytes.data(), layout_->IndexedSize());
  return CompareValues(a.values.data(), b.values.data());
}

int RowOrder::CompareValues(const Value* a, const Value* b) const {
  for (size_t k = 0; k < fields_.size(); ++k)
    if (int c = values::Compare(a[k], b[k], case_insensitive_)) return descending_ ? -c : c;
  return 0;
}

std::vector<Value> RowOrder::Prefix(const uint8_t* record, int n) const {
  std::vector<Value> out;
  out.reserve(static_cast<size_t>(n));
  AppendValues(record, n, out);
  return out;
}

void RowOrder::AppendValues(const uint8_t* record, int n, std::vector<Value>& out) const {
  for (int k = 0; k < n; ++k) out.push_back(FieldValue(record, fields_[k]));
}

int RowOrder::ComparePrefix(const std::vector<Value>& a, const std::vector<Value>& b) const {
  return ComparePrefix(a.data(), b.data(), static_cast<int>(std::min(a.size(), b.size())));
}

int RowOrder::ComparePrefix(const Value* a, const Value* b, int n) const {
  for (int k = 0; k < n; ++k)
    if (int c = values::Compare(a[k], b[k], case_insensitive_)) return c;
  return 0;
}

int RowOrder::PrefixSize(int n) const {
  int size = 0;
  for (int k = 0; k < n; ++k) size += fam_.Header().stored_sizes[fields_[k]];
  return size;
}

void RowOrder::PrefixBytes(const uint8_t* record, int n, uint8_t* out) const {
  for (int k = 0; k < n; ++k) {
    const int size = fam_.Header().stored_sizes[fields_[k]];
    std::memcpy(out, record + fam_.Header().offsets[fields_[k]], static_cast<size_t>(size));
    out += size;
  }
}

int RowOrder::ComparePrefixBytes(const uint8_t* bytes, const std::vector<Value>& b) const {
  for (size_t k = 0; k < b.size(); ++k) {
    const int field = fields_[k];
    if (int c = values::Compare(StoredValue(bytes, field), b[k], case_insensitive_)) return c;
    bytes += fam_.Header().stored_sizes[field];
  }
  return 0;
}

int RowOrder::CompareStored(const uint8_t* a, const uint8_t* b, int n, bool directed) const {
  for (int k = 0; k < n; ++k) {
    const int field = fields_[k];
    if (int c = values::Compare(StoredValue(a, field), StoredValue(b, field), case_insensitive_))
      return directed && descending_ ? -c : c;
    a += fam_.Header().stored_sizes[field];
    b += fam_.Header().stored_sizes[field];
  }
  return 0;
}

namespace {
std::atomic<int64_t> spill_threshold{16384};
std::atomic<uint64_t> spilled_builds{0};
}  // namespace

void OrderedRows::SetSpillThreshold(int64_t rows) { spill_threshold = rows; }
uint64_t OrderedRows::SpilledBuilds() { return spilled_builds; }

OrderedRows::OrderedRows(const RowOrder& order, int group_fields)
    : order_(order),
      group_fields_(group_fields),
      key_size_(static_cast<size_t>(order.KeySize())),
      prefix_size_(static_cast<size_t>(order.PrefixSize(group_fields))),
      // Text fields make most of a name's key: packed, it takes a third.
      keys_(key_size_, order.Layout() && 2 * order.Layout()->TextSize() >= order.Layout()->IndexedSize()),
      unpacked_{std::vector<uint8_t>(key_size_), std::vector<uint8_t>(key_size_)} {}

OrderedRows::~OrderedRows() = default;

// A table no one writes keeps its version: its view is never brought up to
// date, only built again should the table be written after all.
bool OrderedRows::Spills(const TableFamily& fam) const {
  return fam.ReadOnly() && group_fields_ > 0 && prefix_size_ > 0 && fam.RecordCount() >= spill_threshold;
}

void OrderedRows::Update(const TableFamily& fam) {
  if (built_ && version_ == fam.Version()) return;
  if (!built_ || spilled_ || !CatchUp(fam)) Build(fam);
  built_ = true;
  version_ = fam.Version();
  id_limit_ = fam.IdLimit();
}

int OrderedRows::CompareGroup(size_t g, const std::vector<Value>& prefix) const {
  return order_.ComparePrefixBytes(prefixes_.data() + g * prefix_size_, prefix);
}

size_t OrderedRows::LowerGroup(const std::vector<Value>& prefix) const {
  size_t lo = 0, hi = GroupCount();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (CompareGroup(mid, prefix) < 0) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

std::span<const RowId> OrderedRows::Group(const std::vector<Value>& prefix) {
  if (spilled_) return group_ = spilled_->Group(prefix);
  if (group_fields_ == 0) return group_ = rows_;
  const size_t g = LowerGroup(prefix);
  if (g == GroupCount() || CompareGroup(g, prefix) != 0) return group_ = {};
  return group_ = std::span<const RowId>(rows_).subspan(GroupBegin(g), GroupEnd(g) - GroupBegin(g));
}

const uint8_t* OrderedRows::HeldKeyAt(size_t i) const {
  if (!key_size_) return nullptr;
  return spilled_ ? spilled_->KeyAt(i) : HeldKey(group_[i]);
}

void OrderedRows::Build(const TableFamily& fam) {
  // In a secondary index's order the keys go straight to where they are held,
  // by row id; in an order by values every row's values lie in one array.
  const index::KeyLayout* layout = key_size_ ? order_.Layout() : nullptr;
  const int value_count = layout ? group_fields_ : order_.FieldCount();
  const size_t rows = static_cast<size_t>(fam.RecordCount());
  keys_.clear();
  group_ = {};
  if (Spills(fam)) {
    std::vector<RowId>().swap(rows_);
    std::vector<uint32_t>().swap(starts_);
    std::vector<uint8_t>().swap(prefixes_);
    if (!spilled_) spilled_ = std::make_unique<SpilledRows>(order_, group_fields_);
    spilled_->Build(fam);
    ++spilled_builds;
    return;
  }
  spilled_.reset();
  if (layout) keys_.grow(fam.IdLimit());
  std::vector<RowId> ids;
  std::vector<Value> values;
  std::vector<uint8_t> prefixes;
  ids.reserve(rows);
  values.reserve(rows * static_cast<size_t>(value_count));
  prefixes.reserve(rows * prefix_size_);
  RowPos p;
  for (bool ok = fam.First(p); ok; ok = fam.Next(p)) {
    const RowBytes record = fam.Row(p);
    const RowId id = fam.IdAt(p);
    if (layout) {
      scratch_.resize(key_size_);
      layout->IndexedPart(record, scratch_.data());
      keys_.Set(id, scratch_.data());
    }
    order_.AppendValues(record, value_count, values);
    prefixes.resize(prefixes.size() + prefix_size_);
    order_.PrefixBytes(record, group_fields_, prefixes.data() + prefixes.size() - prefix_size_);
    ids.push_back(id);
  }
  const auto values_of = [&](uint32_t i) { return values.data() + static_cast<size_t>(i) * value_count; };
  std::vector<uint32_t> sorted(ids.size());
  for (uint32_t i = 0; i < sorted.size(); ++i) sorted[i] = i;
  // A stable sort over the chain order: equal keys keep it, as the index files do.
  std::stable_sort(sorted.begin(), sorted.end(), [&](uint32_t a, uint32_t b) {
    if (int c = order_.ComparePrefix(values_of(a), values_of(b), group_fields_)) return c < 0;
    if (layout) return layout->Compare(HeldKey(ids[a], 0), HeldKey(ids[b], 1), static_cast<int>(key_size_)) < 0;
    return order_.CompareValues(values_of(a), values_of(b)) < 0;
  });
  rows_.clear();
  rows_.reserve(sorted.size());
  starts_.clear();
  prefixes_.clear();
  for (size_t i = 0; i < sorted.size(); ++i) {
    const uint32_t at = sorted[i];
    if (group_fields_ > 0 &&
        (i == 0 || order_.ComparePrefix(values_of(sorted[i - 1]), values_of(at), group_fields_) != 0)) {
      starts_.push_back(static_cast<uint32_t>(rows_.size()));
      const uint8_t* stored = prefixes.data() + static_cast<size_t>(at) * prefix_size_;
      prefixes_.insert(prefixes_.end(), stored, stored + prefix_size_);
    }
    rows_.push_back(ids[at]);
  }
  starts_.shrink_to_fit();
  prefixes_.shrink_to_fit();
}

void OrderedRows::HoldKey(RowId id, const uint8_t* key) { keys_.Set(id, key); }

bool OrderedRows::CatchUp(const TableFamily& fam) {
  std::vector<RowId> touched;
  if (!fam.ChangedSince(version_, touched)) return false;
  std::sort(touched.begin(), touched.end());
  touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
  // Past a few, ordering every row again costs less than placing each.
  if (touched.size() > 64 + static_cast<size_t>(fam.RecordCount()) / 32) return false;
  // The rows held that changed leave first: the others are still in order.
  const auto held_end = std::lower_bound(touched.begin(), touched.end(), id_limit_);
  if (held_end != touched.begin()) {
    const auto left = [&](RowId id) { return std::binary_search(touched.begin(), held_end, id); };
    if (group_fields_ == 0) {
      std::erase_if(rows_, left);
    } else {
      // Every group closes up in place; the ones left empty go with their leading fields.
      size_t kept_rows = 0, kept_groups = 0;
      for (size_t g = 0; g < GroupCount(); ++g) {
        const size_t start = kept_rows;
        for (size_t i = GroupBegin(g); i < GroupEnd(g); ++i)
          if (!left(rows_[i])) rows_[kept_rows++] = rows_[i];
        if (kept_rows == start) continue;
        std::memmove(prefixes_.data() + kept_groups * prefix_size_, prefixes_.data() + g * prefix_size_, prefix_size_);
        starts_[kept_groups++] = static_cast<uint32_t>(start);
      }
      rows_.resize(kept_rows);
      starts_.resize(kept_groups);
      prefixes_.resize(kept_groups * prefix_size_);
    }
  }
  for (RowId id : touched)
    if (fam.Alive(id)) Place(fam, id);
  return true;
}

void OrderedRows::Place(const TableFamily& fam, RowId id) {
  const RowPos at = fam.PosOf(id);
  const RowBytes record = fam.Row(at);
  size_t begin = 0, end = rows_.size(), g = 0;
  if (group_fields_ > 0) {
    const std::vector<Value> prefix = order_.Prefix(record, group_fields_);
    g = LowerGroup(prefix);
    if (g == GroupCount() || CompareGroup(g, prefix) != 0) {
      const uint32_t start = g == GroupCount() ? static_cast<uint32_t>(rows_.size()) : starts_[g];
      starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(g), start);
      prefixes_.resize(prefixes_.size() + prefix_size_);
      uint8_t* stored = prefixes_.data() + g * prefix_size_;
      std::memmove(stored + prefix_size_, stored, prefixes_.size() - (g + 1) * prefix_size_);
      order_.PrefixBytes(record, group_fields_, stored);
    }
    begin = GroupBegin(g);
    end = GroupEnd(g);
  }
  size_t lo = begin, hi = end;
  if (key_size_) {
    // The held keys compared in memory; equal keys in chain order.
    const index::KeyLayout& layout = *order_.Layout();
    scratch_.resize(key_size_);
    layout.IndexedPart(record, scratch_.data());
    const int n = static_cast<int>(key_size_);
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      const RowId held = rows_[mid];
      const int c = layout.Compare(HeldKey(held), scratch_.data(), n);
      if (c != 0 ? c < 0 : fam.PosOf(held) < at) lo = mid + 1;
      else hi = mid;
    }
    HoldKey(id, scratch_.data());
  } else {
    const RowOrder::Key key = order_.KeyOf(record);
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      const RowPos q = fam.PosOf(rows_[mid]);
      const RowBytes row = fam.Row(q);
      if (order_.Before(order_.KeyOf(row), q, key, at)) lo = mid + 1;
      else hi = mid;
    }
  }
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(lo), id);
  for (size_t later = g + 1; later < GroupCount(); ++later) ++starts_[later];
}

}  // namespace tabulor::db
