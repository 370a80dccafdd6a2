// The table cursor: opening, order, navigation, search and row changes.
#include <algorithm>
#include <cstring>
#include <optional>

#include "db/paradox/engine.h"
#include "db/paradox/format/field_codec.h"
#include "db/paradox/names.h"
#include "db/paradox/schema_ops/rename.h"
#include "db/paradox/session_impl.h"
#include "db/paradox/table_impl.h"
#include "db/paradox/values.h"

namespace tabulor::db {
namespace {

std::vector<std::string> SplitFields(const std::string& list) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string name = list.substr(start, end - start);
    size_t a = name.find_first_not_of(' ');
    if (a != std::string::npos) out.push_back(name.substr(a, name.find_last_not_of(' ') - a + 1));
    start = end + 1;
  }
  return out;
}

// The leading key bytes of a keyed table for values of its first key fields
// (already of the fields' kinds).
std::vector<uint8_t> KeyPrefix(TableFamily& fam, const std::vector<Value>& values) {
  std::vector<uint8_t> prefix(static_cast<size_t>(fam.PrefixSize(static_cast<int>(values.size()))), 0);
  for (size_t k = 0; k < values.size(); ++k) {
    const FieldDef& fd = fam.Definition().fields[k];
    try {
      format::EncodeField(fd.type, values[k], prefix.data() + fam.Header().offsets[k], fam.Header().stored_sizes[k],
                          fd.size, fam.Codec());
    } catch (const std::exception& e) {
      fam.Fail(e.what(), fd.name);
    }
  }
  return prefix;
}

int FieldIndex(const TableFamily& fam, std::string_view name) {
  const auto& fields = fam.Definition().fields;
  for (size_t i = 0; i < fields.size(); ++i)
    if (names::EqualNoCase(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

}  // namespace

Table::Table(Session& session, std::string database, std::string table_name)
    : session_(session), database_(std::move(database)), table_name_(std::move(table_name)),
      impl_(std::make_unique<Impl>()) {}

Table::~Table() {
  try {
    if (Active()) {
      if (impl_->state != CursorState::kBrowse) Cancel();
      impl_->family->Flush();
    }
  } catch (...) {
    // A destructor cannot report; the next open finds the table as at its last flush.
  }
}

void Table::SetDatabaseName(std::string database) {
  if (Active()) throw EngineError("Table " + table_name_ + " is open: its database cannot change", table_name_);
  database_ = std::move(database);
}

void Table::SetTableName(std::string table_name) {
  if (Active()) throw EngineError("Table " + table_name_ + " is open: its name cannot change", table_name_);
  table_name_ = std::move(table_name);
}

void Table::SetReadOnly(bool v) { impl_->read_only = v; }
void Table::SetExclusive(bool v) { impl_->exclusive = v; }

void Table::SetIndexName(std::string name) {
  impl_->index_name = std::move(name);
  impl_->index_field_names.clear();
  if (Active()) {
    ApplyOrder();
    First();
  }
}

void Table::SetIndexFieldNames(std::string fields) {
  impl_->index_field_names = std::move(fields);
  impl_->index_name.clear();
  if (Active()) {
    ApplyOrder();
    First();
  }
}

void Table::SetMasterSource(Table* master, std::string master_fields) {
  impl_->master = master;
  impl_->master_field_names = SplitFields(master_fields);
  if (Active()) {
    ApplyOrder();
    First();
  }
}

bool Table::Active() const { return impl_->state != CursorState::kInactive; }

std::string Table::Directory() const { return session_.ResolveDirectory(database_); }

std::string Table::Path() const {
  if (Active()) return impl_->family->Path();
  FamilyFiles files = FamilyFiles::Find(session_.env(), Directory(), table_name_);
  return files.Path(files.db.empty() ? names::WithoutDbExtension(table_name_) + ".DB" : files.db);
}

bool Table::Exists() const {
  return !FamilyFiles::Find(session_.env(), Directory(), table_name_).db.empty();
}

void Table::Open() {
  if (Active()) return;
  AttachFamily();
  FinishOpen();
}

std::vector<std::string> Table::OpenVerified() {
  if (Active()) return impl_->family->Verify();
  AttachFamily();
  std::vector<std::string> problems;
  try {
    problems = impl_->family->Verify();
  } catch (...) {
    Release();
    throw;
  }
  if (!problems.empty()) {
    Release();
    return problems;
  }
  FinishOpen();
  return problems;
}

void Table::AttachFamily() {
  const std::string dir = Directory();
  schema_ops::CompletePendingRenames(session_.env(), dir);
  FamilyFiles files = FamilyFiles::Find(session_.env(), dir, table_name_);
  if (files.db.empty())
    throw EngineError("Table " + table_name_ + " does not exist in " + dir, table_name_);
  const std::string path = files.Path(files.db);
  auto& registry = session_.impl_->families;
  std::shared_ptr<TableFamily> family = registry[path].lock();
  if (family && family->Broken()) family.reset();
  if (family && (impl_->exclusive || family->exclusive))
    throw EngineError("Table " + files.db + " is busy: it is open elsewhere", files.db);
  if (!family) {
    family = std::make_shared<TableFamily>(session_.shared_env(), files, files.db, impl_->read_only, true,
                                           session_.impl_->block_cache);
    registry[path] = family;
  }
  if (impl_->exclusive) family->exclusive = true;
  impl_->family = family;
  impl_->fields.clear();
  for (int i = 0; i < static_cast<int>(family->Definition().fields.size()); ++i)
    impl_->fields.emplace_back(new Field(this, i));
  impl_->state = CursorState::kBrowse;
}

void Table::FinishOpen() {
  try {
    ApplyOrder();
  } catch (...) {
    Release();
    throw;
  }
  First();
}

void Table::Release() {
  if (impl_->exclusive && impl_->family) impl_->family->exclusive = false;
  std::string path = impl_->family ? impl_->family->Path() : std::string();
  impl_->family.reset();
  impl_->fields.clear();
  impl_->field_by_name.clear();
  impl_->state = CursorState::kInactive;
  impl_->has_row = false;
  impl_->view = {};
  impl_->view_keys = nullptr;
  impl_->all_rows.reset();
  impl_->detail_rows.reset();
  impl_->row_order.reset();
  impl_->secondary_layout.reset();
  impl_->block_order_rows.clear();
  impl_->view_valid = false;
  impl_->view_deferred = impl_->view_kept = false;
  auto& registry = session_.impl_->families;
  if (auto it = registry.find(path); it != registry.end() && it->second.expired()) registry.erase(it);
}

void Table::Close() {
  if (!Active()) return;
  if (impl_->family->Abandoned()) {
    // Nothing of a stale cursor is written.
    Release();
    return;
  }
  if (impl_->state == CursorState::kEdit || impl_->state == CursorState::kAppend) Post();
  impl_->family->Flush();
  Release();
}

int64_t Table::RecordCount() const {
  RequireActive();
  auto* self = const_cast<Table*>(this);
  self->Sync();
  // A deferred view would show every row: it has no master.
  return impl_->use_view && !impl_->view_deferred ? static_cast<int64_t>(impl_->view.size()) : impl_->family->RecordCount();
}

int Table::FieldCount() const {
  RequireActive();
  return static_cast<int>(impl_->fields.size());
}

const TableDef& Table::Definition() const {
  RequireActive();
  return impl_->family->Definition();
}

void Table::RequireActive() const {
  if (!Active()) throw EngineError("Table " + table_name_ + " is not open", table_name_);
  if (impl_->family->Abandoned()) impl_->family->RequireUsable();
}

void Table::PrepareWrite() {
  Impl& m = *impl_;
  if (m.read_only) m.family->Fail("the table is read-only");
  auto& units = session_.impl_->units;
  if (auto it = units.find(m.family->Directory()); it != units.end()) it->second->Enlist(m.family);
  m.family->PrepareWrite();
}

void Table::RequireBrowse() {
  RequireActive();
  if (impl_->state != CursorState::kBrowse) Post();
}

// ---- order and view ----

void Table::ApplyOrder() {
  Impl& m = *impl_;
  TableFamily& fam = *m.family;
  m.order.clear();
  m.order_case_insensitive = m.order_descending = false;
  m.secondary = -1;
  m.secondary_layout.reset();
  const int keys = fam.Definition().key_field_count;
  if (!m.index_field_names.empty()) {
    for (const std::string& name : SplitFields(m.index_field_names)) {
      int i = FieldIndex(fam, name);
      if (i < 0) fam.Fail("no field named " + name + " for the index", name);
      m.order.push_back(i);
    }
  } else if (!m.index_name.empty() && !names::EqualNoCase(m.index_name, "PRIMARY")) {
    const IndexDef* found = nullptr;
    for (const IndexDef& idx : fam.Definition().indexes)
      if (names::EqualNoCase(idx.name, m.index_name)) found = &idx;
    if (found) {
      for (const std::string& name : found->fields) m.order.push_back(FieldIndex(fam, name));
      m.order_case_insensitive = found->case_insensitive;
      m.order_descending = found->descending;
      const auto& files = fam.SecondaryIndexes();
      for (size_t i = 0; i < files.size(); ++i)
        if (names::EqualNoCase(files[i].def.name, found->name)) m.secondary = static_cast<int>(i);
    } else if (int i = FieldIndex(fam, m.index_name); i >= 0) {
      m.order.push_back(i);
    } else {
      fam.Fail("no index named " + m.index_name);
    }
  }
  // The leading fields of the primary key are served by the blocks themselves.
  bool primary_prefix = keys > 0 && !m.order.empty() && static_cast<int>(m.order.size()) <= keys &&
                        !m.order_case_insensitive && !m.order_descending;
  for (size_t k = 0; primary_prefix && k < m.order.size(); ++k) primary_prefix = m.order[k] == static_cast<int>(k);
  if (primary_prefix) m.order.clear();
  if (m.master && m.order.empty() && keys == 0)
    fam.Fail("a detail table needs an index for its master fields");
  m.use_view = !m.order.empty() || m.master != nullptr;
  m.view = {};
  m.view_keys = nullptr;
  m.all_rows.reset();
  m.detail_rows.reset();
  m.row_order.reset();
  if (!m.order.empty())
    m.row_order = std::make_unique<RowOrder>(fam, m.order, m.order_case_insensitive, m.order_descending, m.secondary);
  if (m.secondary >= 0)
    m.secondary_layout.emplace(fam.Header(), fam.Definition().key_field_count, fam.SecondaryIndexes()[m.secondary],
                               fam.Codec());
  m.block_order_rows.clear();
  m.view_valid = false;
  m.view_deferred = m.view_kept = false;
}

std::vector<int> Table::IndexFields() const {
  if (!impl_->order.empty()) return impl_->order;
  std::vector<int> keys;
  for (int i = 0; i < impl_->family->Definition().key_field_count; ++i) keys.push_back(i);
  return keys;
}

void Table::Capture() {
  Impl& m = *impl_;
  if (m.has_row) {
    const RowBytes row = m.family->Row(m.pos);
    m.current.assign(row.data(), row.data() + m.family->RecordSize());
  }
  m.seen_version = m.family->Version();
}

void Table::Sync() {
  Impl& m = *impl_;
  if (m.state == CursorState::kInactive) return;
  TableFamily& fam = *m.family;
  if (!m.use_view || m.view_deferred) {
    if (m.seen_version == fam.Version()) return;
    if (m.has_row) {
      RowPos p;
      bool found = false;
      if (fam.KeySize() > 0) {
        std::vector<uint8_t> key(m.current.begin(), m.current.begin() + fam.KeySize());
        found = fam.LowerBound(key, p);
        if (m.view_deferred) {
          const RowBytes row = found ? fam.Row(p) : RowBytes();
          if (!row || std::memcmp(row, m.current.data(), m.current.size()) != 0) {
            // The row changed or went: the view tells where the cursor stands now.
            m.view_deferred = false;
            m.view_valid = false;
            m.place_of_changed_row = true;
            found = false;
          }
        }
      } else {
        found = fam.FindIdentical(m.current.data(), p);
        if (!found) {
          p = m.pos;
          found = p.block < fam.BlockCount() && p.slot < fam.RowsIn(p.block);
        }
      }
      if (!m.place_of_changed_row) {
        m.has_row = found;
        if (found) m.pos = p;
        else m.eof = true;
      }
    }
    if (!m.place_of_changed_row) {
      Capture();
      return;
    }
  }
  const bool filtered = m.master && m.master->Active();
  // The master's current row bytes (null when it has none).
  auto master_row = [&]() {
    m.master->Sync();
    return m.master->impl_->Record();
  };
  if (filtered && m.view_valid && m.view_filtered && m.view_master == m.master && m.view_version == fam.Version()) {
    const RowBytes rec = master_row();
    const std::optional<std::vector<uint8_t>>& seen = m.view_master_record;
    if (rec ? seen && std::memcmp(rec, seen->data(), seen->size()) == 0 : !seen) return;
  }
  std::vector<Value> master_values;
  const std::vector<int> index_fields = IndexFields();
  if (filtered) {
    if (m.master_field_names.size() > index_fields.size())
      fam.Fail("more master fields than index fields");
    for (size_t k = 0; k < m.master_field_names.size(); ++k) {
      const FieldDef& fd = fam.Definition().fields[index_fields[k]];
      Value v = m.master->FieldByName(m.master_field_names[k]).AsVariant();
      try {
        master_values.push_back(values::ToFieldKind(fd.type, fd.size, v));
      } catch (const std::exception& e) {
        fam.Fail(e.what(), fd.name);
      }
    }
  }
  const bool master_moved = filtered != m.view_filtered || (filtered && master_values != m.view_master_values);
  if (m.view_valid && !master_moved && m.view_version == fam.Version()) return;

  if (m.row_order) {
    // A detail reads the group of its master's values, kept with the others.
    std::unique_ptr<OrderedRows>& rows = filtered ? m.detail_rows : m.all_rows;
    if (!rows || rows->GroupFields() != static_cast<int>(master_values.size()))
      rows = std::make_unique<OrderedRows>(*m.row_order, static_cast<int>(master_values.size()));
    rows->Update(fam);
    m.view = rows->Group(master_values);
    m.view_keys = m.row_order->KeySize() > 0 ? rows.get() : nullptr;
  } else {
    ReadBlockOrderRows(filtered, master_values);
    m.view = m.block_order_rows;
    m.view_keys = nullptr;
  }
  m.view_valid = true;
  m.view_version = fam.Version();
  m.view_filtered = filtered;
  m.view_master_values = master_values;
  m.view_master = filtered ? m.master : nullptr;
  m.view_master_record.reset();
  if (filtered)
    if (const RowBytes rec = master_row())
      m.view_master_record.emplace(rec.data(), rec.data() + m.master->impl_->family->RecordSize());

  int index = -1;
  if (!master_moved && m.has_row) {
    index = FindCurrentInView();
    if (index < 0 && m.place_of_changed_row) m.view_index = PlaceOfChangedRow();
    if (index < 0 && !m.view.empty()) index = std::min<int>(m.view_index, static_cast<int>(m.view.size()) - 1);
  } else {
    index = m.view.empty() ? -1 : 0;
    m.bof = true;
    m.eof = m.view.empty();
  }
  m.place_of_changed_row = false;
  SetViewIndex(index);
}

// A cursor whose view was let go after a search, and whose row then changed
// or went: the place in the view the row held, as a view kept all along would
// keep it. Rows of the row's former bytes would stand from some place in the
// view now; the rows changed since the cursor last looked that now stand
// before that place were not there then (the row itself among them, when it
// lives on under a key before its former one).
int Table::PlaceOfChangedRow() const {
  const Impl& m = *impl_;
  const TableFamily& fam = *m.family;
  const index::KeyLayout& layout = *m.secondary_layout;
  const size_t key_size = static_cast<size_t>(fam.KeySize());
  auto place = [&](const uint8_t* record) {
    const std::vector<uint8_t> key = layout.IndexedPart(record);
    size_t lo = 0, hi = m.view.size();
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      const RowBytes row = fam.Row(fam.PosOf(m.view[mid]));
      const int c = m.view_keys ? layout.Compare(m.view_keys->HeldKeyAt(mid), key.data(), layout.IndexedSize())
                                : layout.CompareRecord(row, key.data(), layout.IndexedSize());
      if (c != 0 ? c < 0 : std::memcmp(row, record, key_size) < 0) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  };
  const size_t at = place(m.current.data());
  std::vector<RowId> changed;
  if (!fam.ChangedSince(m.seen_version, changed)) return static_cast<int>(at);
  std::sort(changed.begin(), changed.end());
  changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
  size_t arrived = 0;
  for (RowId id : changed) {
    if (!fam.Alive(id)) continue;
    const RowBytes row = fam.Row(fam.PosOf(id));
    if (place(row) < at) ++arrived;
  }
  return static_cast<int>(at - arrived);
}

// A detail in block order: the rows of its master's key range, or every row.
void Table::ReadBlockOrderRows(bool filtered, const std::vector<Value>& master_values) {
  Impl& m = *impl_;
  TableFamily& fam = *m.family;
  const std::vector<int> index_fields = IndexFields();
  auto value_of = [&](RowPos p, int field) -> Value {
    const FieldDef& fd = fam.Definition().fields[field];
    if (IsBlobType(fd.type)) return {};
    const RowBytes row = fam.Row(p);
    return format::DecodeField(fd.type, row + fam.Header().offsets[field], fam.Header().stored_sizes[field], fam.Codec());
  };
  m.block_order_rows.clear();
  RowPos p;
  bool ok = fam.First(p);
  // A detail on its primary key reads only the range of its master's key.
  std::vector<uint8_t> range;
  if (filtered && fam.KeySize() > 0 && !master_values.empty()) {
    range = KeyPrefix(fam, master_values);
    ok = fam.LowerBound(range, p);
  }
  for (; ok; ok = fam.Next(p)) {
    if (!range.empty()) {
      const RowBytes row = fam.Row(p);
      if (std::memcmp(row, range.data(), range.size()) != 0) break;
    }
    bool match = true;
    for (size_t k = 0; filtered && match && k < master_values.size(); ++k)
      match = values::Compare(value_of(p, index_fields[k]), master_values[k], m.order_case_insensitive) == 0;
    if (match) m.block_order_rows.push_back(fam.IdAt(p));
  }
}

// Where the view holds a row with the current row's bytes (the first such), or -1.
int Table::FindCurrentInView() const {
  const Impl& m = *impl_;
  const TableFamily& fam = *m.family;
  const std::span<const RowId> view = m.view;
  auto same = [&](RowId id) {
    const RowBytes row = fam.Row(fam.PosOf(id));
    return std::memcmp(row, m.current.data(), m.current.size()) == 0;
  };
  if (!m.row_order) {
    for (size_t i = 0; i < view.size(); ++i)
      if (same(view[i])) return static_cast<int>(i);
    return -1;
  }
  const RowOrder& order = *m.row_order;
  if (m.secondary_layout && fam.KeySize() > 0) {
    // As below, comparing the index's key bytes in place of RowOrder's keys.
    const index::KeyLayout& layout = *m.secondary_layout;
    RowPos p;
    std::vector<uint8_t> primary(m.current.begin(), m.current.begin() + fam.KeySize());
    if (!fam.LowerBound(primary, p)) return -1;
    if (const RowBytes row = fam.Row(p); std::memcmp(row, m.current.data(), m.current.size()) != 0) return -1;
    const std::vector<uint8_t> key = layout.IndexedPart(m.current.data());
    if (m.view_keys) {
      // The view's keys are in memory: no row is read.
      const OrderedRows& held = *m.view_keys;
      size_t lo = 0, hi = view.size();
      while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        const int c = layout.Compare(held.HeldKeyAt(mid), key.data(), static_cast<int>(key.size()));
        if (c != 0 ? c < 0 : fam.PosOf(view[mid]) < p) lo = mid + 1;
        else hi = mid;
      }
      return lo < view.size() && view[lo] == fam.IdAt(p) ? static_cast<int>(lo) : -1;
    }
    auto it = std::lower_bound(view.begin(), view.end(), p, [&](RowId held, RowPos at) {
      const RowPos held_at = fam.PosOf(held);
      const RowBytes row = fam.Row(held_at);
      const int c = layout.CompareRecord(row, key.data(), layout.IndexedSize());
      return c != 0 ? c < 0 : held_at < at;
    });
    return it != view.end() && *it == fam.IdAt(p) ? static_cast<int>(it - view.begin()) : -1;
  }
  const RowOrder::Key key = order.KeyOf(m.current.data());
  auto key_at = [&](RowId id) {
    const RowBytes row = fam.Row(fam.PosOf(id));
    return order.KeyOf(row);
  };
  if (fam.KeySize() > 0) {
    // A keyed table holds at most one such row: the one with the current key.
    RowPos p;
    std::vector<uint8_t> primary(m.current.begin(), m.current.begin() + fam.KeySize());
    if (!fam.LowerBound(primary, p)) return -1;
    if (const RowBytes row = fam.Row(p); std::memcmp(row, m.current.data(), m.current.size()) != 0) return -1;
    auto it = std::lower_bound(view.begin(), view.end(), p, [&](RowId held, RowPos at) {
      return order.Before(key_at(held), fam.PosOf(held), key, at);
    });
    return it != view.end() && *it == fam.IdAt(p) ? static_cast<int>(it - view.begin()) : -1;
  }
  auto it = std::lower_bound(view.begin(), view.end(), key,
                             [&](RowId held, const RowOrder::Key& k) { return order.Compare(key_at(held), k) < 0; });
  for (; it != view.end() && order.Compare(key_at(*it), key) == 0; ++it)
    if (same(*it)) return static_cast<int>(it - view.begin());
  return -1;
}

void Table::SetViewIndex(int index) {
  Impl& m = *impl_;
  m.view_index = index;
  m.has_row = index >= 0 && index < static_cast<int>(m.view.size());
  if (m.has_row) m.pos = m.family->PosOf(m.view[index]);
  Capture();
}

void Table::RestoreView() {
  Impl& m = *impl_;
  if (!m.view_deferred) return;
  m.view_kept = true;
  Sync();                         // first the row itself, as the table now holds it
  if (!m.view_deferred) return;   // its change had the view built already
  m.view_deferred = false;
  m.view_valid = false;
}

// ---- navigation ----

void Table::First() {
  RequireBrowse();
  Impl& m = *impl_;
  RestoreView();
  Sync();
  if (m.use_view) {
    SetViewIndex(m.view.empty() ? -1 : 0);
  } else {
    m.has_row = m.family->First(m.pos);
    Capture();
  }
  m.bof = true;
  m.eof = !m.has_row;
}

void Table::Last() {
  RequireBrowse();
  Impl& m = *impl_;
  RestoreView();
  Sync();
  if (m.use_view) {
    SetViewIndex(static_cast<int>(m.view.size()) - 1);
  } else {
    m.has_row = m.family->Last(m.pos);
    Capture();
  }
  m.eof = true;
  m.bof = !m.has_row;
}

void Table::Next() {
  RequireBrowse();
  Impl& m = *impl_;
  RestoreView();
  Sync();
  if (!m.has_row) {
    m.eof = true;
    return;
  }
  m.bof = false;
  if (m.use_view) {
    if (m.view_index + 1 < static_cast<int>(m.view.size())) SetViewIndex(m.view_index + 1);
    else m.eof = true;
    return;
  }
  RowPos p = m.pos;
  if (m.family->Next(p)) {
    m.pos = p;
    Capture();
  } else {
    m.eof = true;
  }
}

void Table::Prior() {
  RequireBrowse();
  Impl& m = *impl_;
  RestoreView();
  Sync();
  if (!m.has_row) {
    m.bof = true;
    return;
  }
  m.eof = false;
  if (m.use_view) {
    if (m.view_index > 0) SetViewIndex(m.view_index - 1);
    else m.bof = true;
    return;
  }
  RowPos p = m.pos;
  if (m.family->Prior(p)) {
    m.pos = p;
    Capture();
  } else {
    m.bof = true;
  }
}

bool Table::Eof() const {
  RequireActive();
  const_cast<Table*>(this)->Sync();
  return impl_->eof || !impl_->has_row;
}

bool Table::Bof() const {
  RequireActive();
  const_cast<Table*>(this)->Sync();
  return impl_->bof || !impl_->has_row;
}

CursorState Table::State() const { return impl_->state; }

// ---- search ----

bool Table::FindKey(const std::vector<Value>& key) {
  RequireBrowse();
  Impl& m = *impl_;
  TableFamily& fam = *m.family;
  Sync();
  const std::vector<int> primary_fields = m.order.empty() ? IndexFields() : std::vector<int>();
  const std::vector<int>& fields = m.order.empty() ? primary_fields : m.order;
  if (fields.empty()) fam.Fail("the table has no index to search");
  if (key.empty() || key.size() > fields.size()) fam.Fail("FindKey needs 1 to " + std::to_string(fields.size()) + " values");
  std::vector<Value> wanted;
  for (size_t k = 0; k < key.size(); ++k) {
    const FieldDef& fd = fam.Definition().fields[fields[k]];
    try {
      wanted.push_back(values::ToFieldKind(fd.type, fd.size, key[k]));
    } catch (const std::exception& e) {
      fam.Fail(e.what(), fd.name);
    }
  }
  if (!m.use_view) {
    std::vector<uint8_t> prefix = KeyPrefix(fam, wanted);
    RowPos p;
    if (!fam.LowerBound(prefix, p)) return false;
    if (const RowBytes row = fam.Row(p); std::memcmp(row, prefix.data(), prefix.size()) != 0) return false;
    m.pos = p;
    m.has_row = true;
    m.eof = m.bof = false;
    Capture();
    return true;
  }
  const index::KeyLayout* layout = m.secondary_layout ? &*m.secondary_layout : nullptr;
  std::vector<uint8_t> wanted_key;
  int wanted_bytes = 0;
  if (layout) {
    // The searched values in the form the index stores its keys.
    std::vector<uint8_t> record(static_cast<size_t>(fam.RecordSize()), 0);
    for (size_t k = 0; k < wanted.size(); ++k) {
      const int f = fields[k];
      const FieldDef& fd = fam.Definition().fields[f];
      try {
        format::EncodeField(fd.type, wanted[k], record.data() + fam.Header().offsets[f], fam.Header().stored_sizes[f],
                            fd.size, fam.Codec());
      } catch (const std::exception& e) {
        fam.Fail(e.what(), fd.name);
      }
      wanted_bytes += fam.Header().stored_sizes[f];
    }
    wanted_key = layout->IndexedPart(record.data());
  }
  if (layout && !m.master && !m.view_kept && fam.IndexFilesSearchable()) {
    // The index's files serve the search: the view and its keys are let go.
    m.view_deferred = true;
    m.view_valid = false;
    m.view = {};
    m.view_keys = nullptr;
    m.all_rows.reset();
    RowPos p;
    if (!fam.FirstWithKey(m.secondary, wanted_key.data(), wanted_bytes, p)) return false;
    m.pos = p;
    m.has_row = true;
    m.eof = m.bof = false;
    Capture();
    return true;
  }
  auto compare_row = [&](RowPos p) {
    const RowBytes row = fam.Row(p);
    if (layout) return layout->CompareRecord(row, wanted_key.data(), wanted_bytes);
    for (size_t k = 0; k < wanted.size(); ++k) {
      const int f = fields[k];
      const FieldDef& fd = fam.Definition().fields[f];
      Value v = format::DecodeField(fd.type, row + fam.Header().offsets[f], fam.Header().stored_sizes[f], fam.Codec());
      int c = values::Compare(v, wanted[k], m.order_case_insensitive);
      if (c) return m.order_descending ? -c : c;
    }
    return 0;
  };
  const std::span<const RowId> view = m.view;
  // The view's keys in memory, when it holds them, spare reading its rows.
  const OrderedRows* held = layout ? m.view_keys : nullptr;
  auto compare_at = [&](int i) {
    if (held) return layout->Compare(held->HeldKeyAt(i), wanted_key.data(), wanted_bytes);
    return compare_row(fam.PosOf(view[i]));
  };
  int lo = 0, hi = static_cast<int>(view.size());
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (compare_at(mid) < 0) lo = mid + 1;
    else hi = mid;
  }
  if (lo >= static_cast<int>(view.size()) || compare_at(lo) != 0) return false;
  SetViewIndex(lo);
  m.eof = m.bof = false;
  return true;
}

bool Table::Locate(std::string_view field, const Value& value, bool case_insensitive) {
  RequireBrowse();
  Impl& m = *impl_;
  TableFamily& fam = *m.family;
  RestoreView();
  Sync();
  Field& f = FieldByName(field);
  Value wanted;
  try {
    wanted = values::ToFieldKind(f.Type(), f.Size(), value);
  } catch (const std::exception& e) {
    fam.Fail(e.what(), f.Name());
  }
  const int index = f.Index();
  const FieldDef& fd = fam.Definition().fields[index];
  auto matches = [&](RowPos p) {
    const RowBytes rec = fam.Row(p);
    Value v;
    if (IsBlobType(fd.type)) {
      Blob b = fam.ReadBlob(index, rec);
      v = values::ToFieldKind(fd.type, fd.size, fd.type == FieldType::kMemo || fd.type == FieldType::kFmtMemo
                                                     ? Value{fam.Codec().ToUtf8(std::string(b.begin(), b.end()))}
                                                     : Value{b});
    } else {
      v = format::DecodeField(fd.type, rec + fam.Header().offsets[index], fam.Header().stored_sizes[index], fam.Codec());
    }
    return values::Compare(v, wanted, case_insensitive) == 0;
  };
  if (m.use_view) {
    for (size_t i = 0; i < m.view.size(); ++i)
      if (matches(m.family->PosOf(m.view[i]))) {
        SetViewIndex(static_cast<int>(i));
        m.eof = m.bof = false;
        return true;
      }
    return false;
  }
  RowPos p;
  for (bool ok = fam.First(p); ok; ok = fam.Next(p))
    if (matches(p)) {
      m.pos = p;
      m.has_row = true;
      m.eof = m.bof = false;
      Capture();
      return true;
    }
  return false;
}

// ---- fields ----

Field* Table::FindField(std::string_view name) {
  RequireActive();
  auto known = impl_->field_by_name.find(name);
  if (known == impl_->field_by_name.end())
    known = impl_->field_by_name.emplace(std::string(name), FieldIndex(*impl_->family, name)).first;
  return known->second < 0 ? nullptr : impl_->fields[known->second].get();
}

Field& Table::FieldByName(std::string_view name) {
  Field* f = FindField(name);
  if (!f) impl_->family->Fail("no field named " + std::string(name), std::string(name));
  return *f;
}

Field& Table::FieldAt(int index) {
  RequireActive();
  if (index < 0 || index >= static_cast<int>(impl_->fields.size()))
    impl_->family->Fail("no field number " + std::to_string(index));
  return *impl_->fields[index];
}

// ---- rows ----

int Table::CopyRecordFrom(Table& source, const RecordCopy& how) {
  RequireActive();
  source.RequireActive();
  Impl& m = *impl_;
  TableFamily& to = *m.family;
  TableFamily& from = *source.impl_->family;
  if (m.state != CursorState::kEdit && m.state != CursorState::kAppend)
    to.Fail("the table is not in edit or append mode");
  source.Sync();
  const RowBytes source_record = source.impl_->Record();
  if (!source_record) from.Fail("there is no current row to copy");
  const auto& to_fields = to.Definition().fields;
  const auto& from_fields = from.Definition().fields;
  std::vector<std::pair<int, int>> pairs;  // (destination, source) positions
  if (!how.fields.empty()) {
    for (const std::string& name : how.fields) {
      const int t = FieldIndex(to, name);
      const int f = FieldIndex(from, name);
      if (t < 0) to.Fail("no field named " + name, name);
      if (f < 0) from.Fail("no field named " + name, name);
      pairs.emplace_back(t, f);
    }
  } else if (how.match == RecordCopy::Match::kByPosition) {
    const int n = static_cast<int>(std::min(to_fields.size(), from_fields.size()));
    for (int i = 0; i < n; ++i) pairs.emplace_back(i, i);
  } else {
    for (size_t t = 0; t < to_fields.size(); ++t)
      if (const int f = FieldIndex(from, to_fields[t].name); f >= 0) pairs.emplace_back(static_cast<int>(t), f);
  }
  const bool same_text = to.Codec().Charset() == from.Codec().Charset();
  int copied = 0;
  for (const auto& [t, f] : pairs) {
    if (t < how.first_field) continue;
    const FieldDef& td = to_fields[t];
    const FieldDef& fd = from_fields[f];
    if (td.type == FieldType::kAutoInc && !how.keep_autoinc) continue;
    const int stored = to.Header().stored_sizes[t];
    if (IsBlobType(td.type) && IsBlobType(fd.type)) {
      FieldAt(t).CopyBlobFrom(source.FieldAt(f));
    } else if (!IsBlobType(td.type) && td.type == fd.type && td.size == fd.size &&
               stored == from.Header().stored_sizes[f] && (td.type != FieldType::kAlpha || same_text)) {
      // The same encoding on both sides: the stored bytes, a blank (null) one included.
      std::memcpy(m.buffer.data() + to.Header().offsets[t], source_record + from.Header().offsets[f],
                  static_cast<size_t>(stored));
    } else {
      FieldAt(t).Assign(source.FieldAt(f));
    }
    ++copied;
  }
  return copied;
}

void Table::Append() {
  RequireBrowse();
  Impl& m = *impl_;
  PrepareWrite();
  m.buffer.assign(static_cast<size_t>(m.family->RecordSize()), 0);
  m.pending_blobs.clear();
  m.pending_copies.clear();
  m.state = CursorState::kAppend;
}

void Table::Edit() {
  RequireActive();
  Impl& m = *impl_;
  if (m.state != CursorState::kBrowse) return;
  PrepareWrite();
  Sync();
  if (!m.has_row) m.family->Fail("there is no current row to edit");
  m.buffer = m.current;
  m.pending_blobs.clear();
  m.pending_copies.clear();
  m.state = CursorState::kEdit;
}

void Table::Cancel() {
  RequireActive();
  impl_->buffer.clear();
  impl_->pending_blobs.clear();
  impl_->pending_copies.clear();
  impl_->state = CursorState::kBrowse;
}

void Table::Post() {
  RequireActive();
  Impl& m = *impl_;
  if (m.state == CursorState::kBrowse) return;
  TableFamily& fam = *m.family;
  const TableDef& def = fam.Definition();
  const bool appending = m.state == CursorState::kAppend;
  if (!appending && m.seen_version != fam.Version()) {
    // Another cursor changed the table since Edit: find the row being edited again.
    RowPos q;
    auto same_as_current = [&](RowPos at) {
      const RowBytes row = fam.Row(at);
      return std::memcmp(row, m.current.data(), m.current.size()) == 0;
    };
    bool found = fam.KeySize() > 0
                     ? fam.LowerBound(std::vector<uint8_t>(m.current.begin(), m.current.begin() + fam.KeySize()), q) &&
                           same_as_current(q)
                     : fam.FindIdentical(m.current.data(), q);
    if (!found) fam.Fail("the row being edited was changed or deleted through another cursor");
    m.pos = q;
  }
  std::vector<uint8_t> record = m.buffer;
  uint32_t auto_value = 0;
  int auto_field = -1;
  for (size_t i = 0; i < def.fields.size(); ++i) {
    if (def.fields[i].type != FieldType::kAutoInc) continue;
    uint8_t* at = record.data() + fam.Header().offsets[i];
    if (appending && format::IsBlankField(at, 4)) {
      auto_field = static_cast<int>(i);
      auto_value = fam.Header().auto_inc + 1;
      format::EncodeInt(at, 4, auto_value);
    }
  }
  if (fam.KeySize() > 0) {
    // Refuse a second row with the same key before anything is written.
    std::vector<uint8_t> key(record.begin(), record.begin() + fam.KeySize());
    RowPos p;
    bool same_row = !appending && std::memcmp(m.current.data(), record.data(), key.size()) == 0;
    if (!same_row && fam.LowerBound(key, p))
      if (const RowBytes row = fam.Row(p); std::memcmp(row, key.data(), key.size()) == 0) fam.Fail("Key violation");
  }
  {
    const RowBytes replaced = appending ? RowBytes() : fam.Row(m.pos);
    fam.CheckUniqueIndexes(record, replaced);
  }
  // A blob to copy that changed since it was copied is refused before anything is written.
  for (const auto& [field, copy] : m.pending_copies) {
    copy.source->RequireUsable();
    copy.source->CheckBlob(copy.field, copy.record.data());
  }
  // In the order of the fields, whether set or copied.
  auto blob = m.pending_blobs.begin();
  auto copy = m.pending_copies.begin();
  while (blob != m.pending_blobs.end() || copy != m.pending_copies.end()) {
    const bool copied = blob == m.pending_blobs.end() || (copy != m.pending_copies.end() && copy->first < blob->first);
    const int field = copied ? copy->first : blob->first;
    if (!appending) fam.ReleaseBlob(field, m.current.data());
    if (copied) {
      fam.StoreBlobCopy(field, record.data(), *copy->second.source, copy->second.field, copy->second.record.data());
      ++copy;
    } else {
      fam.StoreBlob(field, record.data(), blob->second);
      ++blob;
    }
  }
  RowPos p = appending ? fam.Insert(record) : fam.Replace(m.pos, record);
  if (auto_field >= 0) fam.NextAutoInc();
  for (size_t i = 0; i < def.fields.size(); ++i)
    if (def.fields[i].type == FieldType::kAutoInc && !format::IsBlankField(record.data() + fam.Header().offsets[i], 4))
      fam.NoteAutoIncValue(format::DecodeInt(record.data() + fam.Header().offsets[i], 4));
  m.state = CursorState::kBrowse;
  m.buffer.clear();
  m.pending_blobs.clear();
  m.pending_copies.clear();
  m.pos = p;
  m.has_row = true;
  m.eof = m.bof = false;
  m.current = record;
  // A view catches up on the next move and finds the posted row by its bytes.
  if (m.use_view) m.seen_version = fam.Version();
  else Capture();
}

void Table::Delete() {
  RequireActive();
  Impl& m = *impl_;
  if (m.state == CursorState::kAppend) {
    Cancel();
    return;
  }
  if (m.state == CursorState::kEdit) Cancel();
  PrepareWrite();
  RestoreView();
  Sync();
  TableFamily& fam = *m.family;
  if (!m.has_row) fam.Fail("there is no current row to delete");
  const TableDef& def = fam.Definition();
  {
    const RowBytes row = fam.Row(m.pos);
    for (size_t i = 0; i < def.fields.size(); ++i)
      if (IsBlobType(def.fields[i].type)) fam.ReleaseBlob(static_cast<int>(i), row);
  }
  RowPos p = m.pos;
  fam.Erase(p);
  if (m.use_view) {
    int index = m.view_index;
    m.view_valid = false;
    m.has_row = false;
    Sync();
    int n = static_cast<int>(m.view.size());
    SetViewIndex(n == 0 ? -1 : std::min(index, n - 1));
    m.eof = n == 0;
    return;
  }
  while (p.block < fam.BlockCount() && p.slot >= fam.RowsIn(p.block)) p = {p.block + 1, 0};
  if (p.block < fam.BlockCount()) {
    m.pos = p;
    m.has_row = true;
  } else {
    m.has_row = fam.Last(m.pos);
    m.eof = true;
  }
  Capture();
}

void Table::FlushBuffers() {
  RequireActive();
  impl_->family->Flush();
}

}  // namespace tabulor::db
