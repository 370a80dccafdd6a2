#include "db/access/table.h"

#include <algorithm>

#include "db/access/connection.h"
#include "db/access/error.h"
#include "db/access/text_util.h"

namespace tabulor::db::access {
namespace {

bool IsKind(ColumnType type, FieldKind kind, bool auto_increment) {
  switch (kind) {
    case FieldKind::kAny: return true;
    case FieldKind::kText: return type == ColumnType::kText || type == ColumnType::kMemo;
    case FieldKind::kMemo: return type == ColumnType::kMemo;
    case FieldKind::kDateTime: return type == ColumnType::kDateTime;
    case FieldKind::kFloat:
      return type == ColumnType::kSingle || type == ColumnType::kDouble || type == ColumnType::kCurrency ||
             type == ColumnType::kNumeric;
    case FieldKind::kInteger:
      return type == ColumnType::kByte || type == ColumnType::kInteger || type == ColumnType::kLongInteger;
    case FieldKind::kAutoIncrement:
      // Jet 3 files do not flag autonumbers reliably: a long integer is accepted there.
      return type == ColumnType::kLongInteger || auto_increment;
  }
  return false;
}

const char* KindName(FieldKind kind) {
  switch (kind) {
    case FieldKind::kAny: return "quelconque";
    case FieldKind::kText: return "texte";
    case FieldKind::kMemo: return "mémo";
    case FieldKind::kDateTime: return "date-heure";
    case FieldKind::kFloat: return "réel";
    case FieldKind::kInteger: return "entier";
    case FieldKind::kAutoIncrement: return "numérotation automatique";
  }
  return "";
}

// Jet's comparison of key values: numbers as numbers, texts without regard to
// the case of ASCII letters; null sorts first and matches nothing.
int CompareCells(const Cell& a, const Cell& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull() ? 0 : (a.IsNull() ? -1 : 1);
  auto numeric = [](const Cell& c) {
    return c.kind == Cell::Kind::kInteger || c.kind == Cell::Kind::kBoolean || c.kind == Cell::Kind::kFloat ||
           c.kind == Cell::Kind::kDateTime;
  };
  auto number = [](const Cell& c) {
    return c.kind == Cell::Kind::kInteger || c.kind == Cell::Kind::kBoolean ? static_cast<double>(c.integer) : c.number;
  };
  if (numeric(a) && numeric(b)) {
    const double x = number(a), y = number(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  auto text = [&](const Cell& c) {
    if (!numeric(c)) return c.text;
    return c.kind == Cell::Kind::kFloat || c.kind == Cell::Kind::kDateTime ? std::to_string(c.number)
                                                                          : std::to_string(c.integer);
  };
  return CompareIgnoreCase(text(a), text(b));
}

// The first index of [from, n) at which `pred` is false, `pred` being true on
// [0, from) and then on a prefix of the rest: probes from `from` at growing
// steps, then halves the last step.
template <typename Pred>
size_t FirstFalse(size_t from, size_t n, Pred pred) {
  size_t low = from, high = n, step = 1;
  while (low < n) {
    const size_t probe = std::min(n - 1, low + step - 1);
    if (!pred(probe)) {
      high = probe;
      break;
    }
    low = probe + 1;
    step *= 2;
  }
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (pred(middle)) low = middle + 1;
    else high = middle;
  }
  return low;
}

const Cell& NullCell() {
  static const Cell null;
  return null;
}

}  // namespace

Table::Table(Connection& connection) : connection_(&connection) { connection.Attach(this); }

Table::~Table() {
  if (master_) std::erase(master_->details_, this);
  for (Table* detail : details_) detail->master_ = nullptr;
  if (connection_) connection_->Detach(this);
}

void Table::SetTableName(const std::string& name) {
  if (open_) throw AccessError("la table " + name_ + " est ouverte");
  name_ = name;
}

void Table::SetColumns(std::vector<ColumnSpec> columns) {
  if (open_) throw AccessError("la table " + name_ + " est ouverte");
  columns_ = std::move(columns);
}

void Table::SetMaster(Table* master, const std::string& master_column, const std::string& key_column) {
  for (Table* t = master; t; t = t->master_)
    if (t == this) throw AccessError("lien maître-détail circulaire sur la table " + name_);
  if (master_) std::erase(master_->details_, this);
  master_ = master;
  master_column_ = master_column;
  key_column_ = key_column;
  column_by_name_.clear();
  if (master_) master_->details_.push_back(this);
  if (open_) ApplyMasterRow();
}

void Table::Open() {
  if (open_) return;
  if (!connection_) throw AccessError("la table " + name_ + " n'a plus de connexion");
  auto store = std::make_unique<RowStore>();
  auto data = std::make_shared<TableData>(
      connection_->ReadTableEncoded(name_, [&store](const EncodedRow& row) { store->Append(row); }));
  store->Finish();
  data_ = data;
  store_ = std::move(store);
  current_index_ = SIZE_MAX;
  hint_ = 0;
  try {
    CheckColumns();
    if (master_ && ColumnOf(key_column_, *data_) < 0)
      throw AccessError("Champ '" + key_column_ + "' introuvable dans la table " + name_);
    sorted_key_ = -1;
    if (!key_column_.empty()) {  // the detail is sorted on its key
      const int key = ColumnOf(key_column_, *data_);
      if (key >= 0) SortOn(key);
    }
  } catch (...) {
    data_.reset();
    store_.reset();
    throw;
  }
  open_ = true;
  ApplyMasterRow();
}

// Orders the rows on column `key`, equal keys in their stored order; rows
// already in order (the usual case) are left as they are without holding
// their keys.
void Table::SortOn(int key) {
  bool sorted = true;
  Cell previous;
  store_->ScanColumn(static_cast<size_t>(key), [&](size_t i, Cell&& cell) {
    if (i > 0 && sorted && CompareCells(previous, cell) > 0) sorted = false;
    previous = std::move(cell);
  });
  if (!sorted) {
    std::vector<std::pair<Cell, uint32_t>> keys;
    keys.reserve(store_->Size());
    store_->ScanColumn(static_cast<size_t>(key), [&](size_t i, Cell&& cell) {
      keys.emplace_back(std::move(cell), static_cast<uint32_t>(i));
    });
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return CompareCells(a.first, b.first) < 0; });
    std::vector<uint32_t> order;
    order.reserve(keys.size());
    for (const auto& entry : keys) order.push_back(entry.second);
    keys.clear();
    keys.shrink_to_fit();
    store_->Reorder(order);
  }
  sorted_key_ = key;
  current_index_ = SIZE_MAX;
  hint_ = 0;
}

void Table::Close() {
  if (!open_) return;
  open_ = false;
  column_by_name_.clear();
  data_.reset();
  store_.reset();
  current_.clear();
  current_index_ = SIZE_MAX;
  begin_ = end_ = position_ = hint_ = 0;
  eof_ = true;
  NotifyDetails();
}

void Table::CheckColumns() const {
  for (const ColumnSpec& spec : columns_) {
    int index = -1;
    for (size_t i = 0; i < data_->columns.size(); ++i)
      if (EqualsIgnoreCase(data_->columns[i].name, spec.name)) index = static_cast<int>(i);
    if (index < 0) throw AccessError("Champ '" + spec.name + "' introuvable dans la table " + name_);
    const ColumnInfo& info = data_->columns[index];
    if (!IsKind(info.type, spec.kind, info.auto_increment))
      throw AccessError("Type du champ '" + spec.name + "' de la table " + name_ + " incorrect : " +
                        KindName(spec.kind) + " attendu, " + ColumnTypeName(info.type) + " trouvé");
  }
}

int Table::ColumnOf(const std::string& column, const TableData& data) const {
  if (!columns_.empty() && !EqualsIgnoreCase(column, key_column_)) {
    const bool listed = std::any_of(columns_.begin(), columns_.end(),
                                    [&](const ColumnSpec& spec) { return EqualsIgnoreCase(spec.name, column); });
    if (!listed) return -1;
  }
  return data.ColumnIndex(column);
}

// Chooses the visible rows from the master's current row, moves to the first
// one and passes the move on to this table's own details.
void Table::ApplyMasterRow() {
  if (!open_) return;
  begin_ = end_ = 0;
  if (master_ && master_->open_) {
    if (!master_->Empty()) {
      const int master_column = master_->data_->ColumnIndex(master_column_);
      if (master_column < 0)
        throw AccessError("Champ '" + master_column_ + "' introuvable dans la table " + master_->name_);
      const Cell wanted = master_->CurrentCell(master_column);
      const int key = data_->ColumnIndex(key_column_);
      if (key < 0) throw AccessError("Champ '" + key_column_ + "' introuvable dans la table " + name_);
      if (key != sorted_key_) {
        // Linked after it was opened: sorted on the new key, so that the
        // rows of one key value stand together.
        SortOn(key);
      }
      if (!wanted.IsNull()) {
        const size_t n = store_->Size();
        Cell cell;
        auto compare = [&](size_t i) {
          store_->ReadCell(i, static_cast<size_t>(key), cell);
          return CompareCells(cell, wanted);
        };
        auto less = [&](size_t i) { return compare(i) < 0; };
        // A master walked in key order finds its rows right after the last ones.
        const size_t from = hint_ > 0 && hint_ <= n && less(hint_ - 1) ? hint_ : 0;
        begin_ = FirstFalse(from, n, less);
        end_ = FirstFalse(begin_, n, [&](size_t i) { return compare(i) == 0; });
        hint_ = end_;
      }
    }
  } else {
    end_ = store_->Size();
  }
  position_ = begin_;
  eof_ = begin_ == end_;
  NotifyDetails();
}

void Table::NotifyDetails() {
  for (Table* detail : details_) detail->ApplyMasterRow();
}

int Table::RecordCount() const {
  if (!open_) throw AccessError("la table " + name_ + " n'est pas ouverte");
  return static_cast<int>(end_ - begin_);
}

void Table::First() {
  if (!open_) throw AccessError("la table " + name_ + " n'est pas ouverte");
  position_ = begin_;
  eof_ = begin_ == end_;
  NotifyDetails();
}

void Table::Next() {
  if (!open_) throw AccessError("la table " + name_ + " n'est pas ouverte");
  if (position_ + 1 < end_) {
    ++position_;
    NotifyDetails();
  } else {
    eof_ = true;  // the last row stays current, as the platform's cursors do
  }
}

bool Table::Eof() const { return !open_ || eof_; }

Field Table::FieldByName(const std::string& column) const {
  if (!open_) throw AccessError("la table " + name_ + " n'est pas ouverte");
  auto known = column_by_name_.find(column);
  if (known == column_by_name_.end()) known = column_by_name_.emplace(column, ColumnOf(column, *data_)).first;
  const int index = known->second;
  if (index < 0) throw AccessError("Champ '" + column + "' introuvable dans la table " + name_);
  return Field(*this, index);
}

const std::vector<ColumnInfo>& Table::Columns() const {
  if (!open_) throw AccessError("la table " + name_ + " n'est pas ouverte");
  return data_->columns;
}

const Cell& Table::CurrentCell(int column) const {
  if (!open_) throw AccessError("la table " + name_ + " n'est pas ouverte");
  if (Empty()) return NullCell();  // no current row: every column reads empty
  if (current_index_ != position_) {
    current_index_ = SIZE_MAX;
    store_->Read(position_, current_);
    current_index_ = position_;
  }
  if (static_cast<size_t>(column) >= current_.size()) return NullCell();
  return current_[column];
}

}  // namespace tabulor::db::access
