#include "db/paradox/ordered_rows.h"

#include <algorithm>
#include <cstring>

#include "db/paradox/format/field_codec.h"
#include "db/paradox/values.h"

namespace tabulor::db {

RowOrder::RowOrder(const TableFamily& fam, std::vector<int> fields, bool case_insensitive, bool descending,
                   int secondary)
    : fam_(fam), fields_(std::move(fields)), case_insensitive_(case_insensitive), descending_(descending) {
  if (secondary >= 0)
    layout_.emplace(fam.Header(), fam.Definition().key_field_count, fam.SecondaryIndexes()[secondary], fam.Codec());
}

Value RowOrder::FieldValue(const uint8_t* record, int field) const {
  const FieldDef& fd = fam_.Definition().fields[field];
  if (IsBlobType(fd.type)) return {};
  return format::DecodeField(fd.type, record + fam_.Header().offsets[field], fam_.Header().stored_sizes[field],
                             fam_.Codec());
}

RowOrder::Key RowOrder::KeyOf(const uint8_t* record) const {
  Key key;
  if (layout_) key.bytes = layout_->IndexedPart(record);
  else key.values = Prefix(record, static_cast<int>(fields_.size()));
  return key;
}

int RowOrder::Compare(const Key& a, const Key& b) const {
  if (layout_) return layout_->Compare(a.bytes.data(), b.bytes.data(), layout_->IndexedSize());
  for (size_t k = 0; k < a.values.size(); ++k)
    if (int c = values::Compare(a.values[k], b.values[k], case_insensitive_)) return descending_ ? -c : c;
  return 0;
}

std::vector<Value> RowOrder::Prefix(const uint8_t* record, int n) const {
  std::vector<Value> out;
  out.reserve(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) out.push_back(FieldValue(record, fields_[k]));
  return out;
}

int RowOrder::ComparePrefix(const std::vector<Value>& a, const std::vector<Value>& b) const {
  for (size_t k = 0; k < a.size() && k < b.size(); ++k)
    if (int c = values::Compare(a[k], b[k], case_insensitive_)) return c;
  return 0;
}

void OrderedRows::Update(const TableFamily& fam) {
  if (built_ && version_ == fam.Version()) return;
  if (!built_ || !CatchUp(fam)) Build(fam);
  built_ = true;
  version_ = fam.Version();
  id_limit_ = fam.IdLimit();
}

const std::vector<RowId>& OrderedRows::Group(const std::vector<Value>& prefix) const {
  static const std::vector<RowId> kNone;
  auto it = std::lower_bound(groups_.begin(), groups_.end(), prefix,
                             [&](const Entry& e, const std::vector<Value>& p) { return order_.ComparePrefix(e.prefix, p) < 0; });
  return it != groups_.end() && order_.ComparePrefix(it->prefix, prefix) == 0 ? it->rows : kNone;
}

void OrderedRows::Build(const TableFamily& fam) {
  // In a secondary index's order the keys go straight to where they are held, by row id.
  struct Item {
    RowOrder::Key key;  // empty then
    std::vector<Value> prefix;
    RowId id;
  };
  const index::KeyLayout* layout = key_size_ ? order_.Layout() : nullptr;
  keys_.clear();
  if (layout) keys_.resize(static_cast<size_t>(fam.IdLimit()) * key_size_);
  std::vector<Item> items;
  items.reserve(static_cast<size_t>(fam.RecordCount()));
  RowPos p;
  for (bool ok = fam.First(p); ok; ok = fam.Next(p)) {
    const RowBytes record = fam.Row(p);
    const RowId id = fam.IdAt(p);
    if (layout) layout->IndexedPart(record, keys_.data() + static_cast<size_t>(id) * key_size_);
    items.push_back({layout ? RowOrder::Key{} : order_.KeyOf(record), order_.Prefix(record, group_fields_), id});
  }
  const auto before = [&](const Item& a, const Item& b) {
    if (layout) return layout->Compare(HeldKey(a.id), HeldKey(b.id), static_cast<int>(key_size_)) < 0;
    return order_.Compare(a.key, b.key) < 0;
  };
  // Stable sorts over the chain order: equal keys keep it, as the index files do.
  std::stable_sort(items.begin(), items.end(), before);
  if (group_fields_ > 0)
    std::stable_sort(items.begin(), items.end(),
                     [&](const Item& a, const Item& b) { return order_.ComparePrefix(a.prefix, b.prefix) < 0; });
  groups_.clear();
  for (Item& item : items) {
    if (groups_.empty() || order_.ComparePrefix(groups_.back().prefix, item.prefix) != 0)
      groups_.push_back({std::move(item.prefix), {}});
    groups_.back().rows.push_back(item.id);
  }
}

void OrderedRows::HoldKey(RowId id, const uint8_t* key) {
  const size_t at = static_cast<size_t>(id) * key_size_;
  if (keys_.size() < at + key_size_) keys_.resize(at + key_size_);
  std::memcpy(keys_.data() + at, key, key_size_);
}

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
    for (Entry& g : groups_)
      std::erase_if(g.rows, [&](RowId id) { return std::binary_search(touched.begin(), held_end, id); });
    std::erase_if(groups_, [](const Entry& g) { return g.rows.empty(); });
  }
  for (RowId id : touched)
    if (fam.Alive(id)) Place(fam, id);
  return true;
}

void OrderedRows::Place(const TableFamily& fam, RowId id) {
  const RowPos at = fam.PosOf(id);
  const RowBytes record = fam.Row(at);
  std::vector<Value> prefix = order_.Prefix(record, group_fields_);
  auto g = std::lower_bound(groups_.begin(), groups_.end(), prefix,
                            [&](const Entry& e, const std::vector<Value>& p) { return order_.ComparePrefix(e.prefix, p) < 0; });
  if (g == groups_.end() || order_.ComparePrefix(g->prefix, prefix) != 0)
    g = groups_.insert(g, {std::move(prefix), {}});
  if (key_size_) {
    // The held keys compared in memory; equal keys in chain order.
    const index::KeyLayout& layout = *order_.Layout();
    scratch_.resize(key_size_);
    layout.IndexedPart(record, scratch_.data());
    const int n = static_cast<int>(key_size_);
    size_t lo = 0, hi = g->rows.size();
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      const RowId held = g->rows[mid];
      const int c = layout.Compare(HeldKey(held), scratch_.data(), n);
      if (c != 0 ? c < 0 : fam.PosOf(held) < at) lo = mid + 1;
      else hi = mid;
    }
    g->rows.insert(g->rows.begin() + static_cast<std::ptrdiff_t>(lo), id);
    HoldKey(id, scratch_.data());
    return;
  }
  const RowOrder::Key key = order_.KeyOf(record);
  auto it = std::lower_bound(g->rows.begin(), g->rows.end(), id, [&](RowId held, RowId) {
    const RowPos q = fam.PosOf(held);
    const RowBytes row = fam.Row(q);
    return order_.Before(order_.KeyOf(row), q, key, at);
  });
  g->rows.insert(it, id);
}

}  // namespace tabulor::db
