#include "db/paradox/index/family_indexes.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "db/paradox/format/field_codec.h"
#include "db/paradox/table_family.h"

namespace tabulor::db::index {

// FNV-1a, for the open-addressed tables of key bytes.
static uint64_t HashBytes(const uint8_t* p, size_t n) {
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h ^ (h >> 29);
}

format::Header ReadHeader(storage::PagedFile& file) {
  uint8_t prefix[4] = {};
  if (file.Read(0, prefix, 4) < 4) throw std::runtime_error(file.path() + " is empty");
  std::vector<uint8_t> raw(std::max(0x58, format::Header::SizeFromPrefix(prefix)), 0);
  raw.resize(file.Read(0, raw.data(), raw.size()));
  return format::Header::Parse(raw, file.Size());
}

void ReplaceContent(storage::PagedFile& file, const std::vector<uint8_t>& bytes) {
  file.Write(0, bytes.data(), bytes.size());
  if (file.Size() > bytes.size()) file.Truncate(bytes.size());
}

void FamilyIndexes::Load(Env& env, const std::string& directory, const std::vector<std::string>& side_files,
                         const TableDef& def, const format::CodePage& cp, std::vector<std::string>* problems) {
  // Unreadable X files are reported by the family's own header checks.
  indexes_ = DiscoverIndexes(env, directory, side_files, def, cp, nullptr);
  cp_ = &cp;
  // An X file without its Y file cannot be kept in step: it is reported, not used.
  std::vector<IndexFiles> usable;
  for (IndexFiles& idx : indexes_) {
    auto y = std::find_if(side_files.begin(), side_files.end(), [&](const std::string& n) {
      return n.size() == idx.y_name.size() && std::equal(n.begin(), n.end(), idx.y_name.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
             });
    });
    if (y == side_files.end()) {
      if (problems) problems->push_back("secondary index " + idx.x_name + " has no " + idx.y_name);
      continue;
    }
    idx.y_name = *y;
    usable.push_back(std::move(idx));
  }
  indexes_ = std::move(usable);
}

void FamilyIndexes::OpenForWrite(Env& env, const std::string& directory, storage::Journal& journal) {
  files_.clear();
  for (const IndexFiles& idx : indexes_) {
    Writable w;
    const std::string x = directory + "/" + idx.x_name, y = directory + "/" + idx.y_name;
    w.x = std::make_unique<storage::PagedFile>(env.Open(x, OpenMode::kReadWrite), x);
    w.y = std::make_unique<storage::PagedFile>(env.Open(y, OpenMode::kReadWrite), y);
    journal.AddFile(w.x.get(), idx.x_name);
    journal.AddFile(w.y.get(), idx.y_name);
    files_.push_back(std::move(w));
  }
}

namespace {

// The records of an X file as a previous flush wrote it (blocks 1..n in
// order), read a block at a time, less those `changes` names as stale.
class OldRecords {
 public:
  OldRecords(storage::PagedFile& x, const format::Header& xh, const KeyLayout& layout, const IndexChanges& changes)
      : x_(x), changes_(changes), rs_(static_cast<size_t>(layout.RecordSize())), bs_(xh.block_size),
        header_size_(xh.header_size), blocks_(xh.file_blocks),
        name_at_(static_cast<size_t>(layout.IndexedSize())),  // the table key, or the tuple number
        block_(static_cast<size_t>(xh.block_size)) {
    if (x.Size() < static_cast<uint64_t>(header_size_) + static_cast<uint64_t>(blocks_) * bs_)
      throw std::runtime_error(x.path() + " is shorter than its header says");
    HashNames();
  }
  // Reads every block up to `number` (before it is overwritten).
  void ReadThrough(int number) {
    while (read_ < number && read_ < blocks_) ReadBlock();
  }
  // The next record that stays; nullptr at the end.
  const uint8_t* Peek() {
    while (true) {
      while (at_ < held_.size()) {
        const uint8_t* r = held_.data() + at_;
        if (kept_ || !Stale(r)) {
          kept_ = true;
          return r;
        }
        at_ += rs_;
      }
      if (read_ == blocks_) return nullptr;
      ReadBlock();
    }
  }
  void Pop() {
    at_ += rs_;
    kept_ = false;
  }

 private:
  void ReadBlock() {
    if (at_ > 0 && at_ * 2 >= held_.size()) {
      held_.erase(held_.begin(), held_.begin() + static_cast<long>(at_));
      at_ = 0;
    }
    ++read_;
    const uint64_t off = format::BlockOffset(header_size_, bs_, read_);
    if (x_.Read(off, block_.data(), block_.size()) != block_.size())
      throw std::runtime_error(x_.path() + ": block " + std::to_string(read_) + " cannot be read");
    const int n = format::BlockHeader::Parse(block_.data()).RecordCount(static_cast<int>(rs_));
    if (n < 0 || format::BlockHeader::kSize + static_cast<size_t>(n) * rs_ > block_.size())
      throw std::runtime_error(x_.path() + ": block " + std::to_string(read_) + " has a bad size");
    held_.insert(held_.end(), block_.begin() + format::BlockHeader::kSize,
                 block_.begin() + format::BlockHeader::kSize + static_cast<long>(static_cast<size_t>(n) * rs_));
  }
  // The stale names in an open-addressed table: a probe or two per record.
  void HashNames() {
    const size_t n = changes_.name_size;
    const size_t count = changes_.stale.size() / n;
    size_t size = 16;
    while (size < 2 * count) size *= 2;
    slots_.assign(size, 0);
    for (size_t k = 0; k < count; ++k) {
      size_t at = HashBytes(changes_.stale.data() + k * n, n) & (size - 1);
      while (slots_[at]) at = (at + 1) & (size - 1);
      slots_[at] = static_cast<uint32_t>(k + 1);
    }
  }
  bool Stale(const uint8_t* record) const {
    const size_t n = changes_.name_size;
    const uint8_t* name = record + name_at_;
    const size_t mask = slots_.size() - 1;
    for (size_t at = HashBytes(name, n) & mask; slots_[at]; at = (at + 1) & mask)
      if (std::memcmp(changes_.stale.data() + (slots_[at] - 1) * n, name, n) == 0) return true;
    return false;
  }
  storage::PagedFile& x_;
  const IndexChanges& changes_;
  size_t rs_;
  int bs_, header_size_, blocks_;
  size_t name_at_;
  std::vector<uint8_t> block_;
  std::vector<uint32_t> slots_;  // 1 + the index of a stale name; 0: free
  std::vector<uint8_t> held_;  // records read and not yet handed out, from `at_`
  size_t at_ = 0;
  bool kept_ = false;  // the record at `at_` is known to stay
  int read_ = 0;
};

// Whether the changes can name the index's records: by the table key its
// records hold (maintained indexes of keyed tables) or by tuple number.
bool Merges(const KeyLayout& layout, const TableRows& rows, const IndexChanges* changes) {
  if (!changes) return false;
  const bool keyed = rows.def->key_field_count > 0;
  return changes->by_key ? keyed && layout.Maintained() : !keyed && !layout.Maintained();
}

}  // namespace

void FamilyIndexes::Rewrite(const TableRows& rows, const TableStamps& stamps, const IndexChanges* changes) {
  for (size_t i = 0; i < files_.size(); ++i) {
    const IndexFiles& idx = indexes_[i];
    storage::PagedFile& x = *files_[i].x;
    storage::PagedFile& y = *files_[i].y;
    format::Header xh = ReadHeader(x);
    format::Header yh = ReadHeader(y);
    KeyLayout layout(*rows.header, rows.def->key_field_count, idx, *cp_);
    if (xh.record_size != layout.RecordSize()) throw std::runtime_error("the index file's records do not match the table");
    RecordSorter sorted(layout, SortBudget());
    std::unique_ptr<OldRecords> old;
    if (Merges(layout, rows, changes)) {
      // The records of the changed rows, merged into those of the others as the file holds them.
      changes->each([&](const RowRef& row, int64_t tuple) { layout.MakeRecord(row, tuple, sorted.Add()); });
      old = std::make_unique<OldRecords>(x, xh, layout, *changes);
    } else {
      const size_t count = rows.Count();
      size_t n = 0;
      rows.ForEach([&](const RowRef& row) {
        if (n < count) layout.MakeRecord(row, static_cast<int64_t>(n) + 1, sorted.Add());
        ++n;
      });
    }
    const int key = layout.KeySize();
    const size_t rs = static_cast<size_t>(layout.RecordSize());
    // Each record is copied out before the next is fetched, which may read
    // over the buffer it lay in.
    std::vector<uint8_t> copy(rs);
    const uint8_t* added = sorted.Next();
    auto take_added = [&]() -> const uint8_t* {
      if (!added) return nullptr;
      std::memcpy(copy.data(), added, rs);
      added = sorted.Next();
      return copy.data();
    };
    auto next = [&]() -> const uint8_t* {
      if (!old) return take_added();
      const uint8_t* kept = old->Peek();
      // Equal keys cannot meet: the records of a changed row were dropped from the file's.
      if (kept && (!added || layout.Compare(kept, added, key) <= 0)) {
        std::memcpy(copy.data(), kept, rs);
        old->Pop();
        return copy.data();
      }
      return take_added();
    };
    XWritten written = WriteXBlocks(x, xh, layout, next, [&](int number) {
      if (old) old->ReadThrough(number);
    });
    NoteRewrite(old != nullptr, sorted.Runs());
    std::vector<uint8_t> y_bytes =
        FinishIndexHeaders(xh, yh, written.records, written.blocks, written.leaves, key, stamps, Counters::kKept);
    if (written.changed) {
      // Both counters move on together, keeping the difference the original engine left.
      ++xh.raw[format::hdr::kChangeCount1];
      ++y_bytes[format::hdr::kIndexChangeCount];
    }
    std::vector<uint8_t> head = xh.raw;
    head.resize(std::max(head.size(), static_cast<size_t>(xh.header_size)), 0);
    x.Write(0, head.data(), head.size());
    const uint64_t end = static_cast<uint64_t>(xh.header_size) + static_cast<uint64_t>(written.blocks) * xh.block_size;
    if (x.Size() > end) x.Truncate(end);
    ReplaceContent(y, y_bytes);
  }
}

}  // namespace tabulor::db::index

namespace tabulor::db {

index::TableRows TableFamily::Rows() const {
  index::TableRows rows{&header_, &def_, codec_.get(), {}, {}, static_cast<size_t>(record_count_)};
  rows.each = [this](const std::function<void(const index::RowRef&)>& f) {
    const size_t rs = static_cast<size_t>(header_.record_size);
    for (int b = 0; b < BlockCount(); ++b) {
      const Bytes data = Load(b);
      for (int s = 0; s < RowsIn(b); ++s) f({data->data() + static_cast<size_t>(s) * rs, NumberAt(b), s});
    }
  };
  return rows;
}

void TableFamily::LoadSecondaryIndexes() {
  unique_keys_.reset();
  written_indexes_.clear();
  indexes_written_ = false;
  secondary_.Load(*env_, files_.directory, files_.secondary, def_, *codec_, &load_problems_);
}

void TableFamily::WriteSecondaryIndexes() {
  if (secondary_.Indexes().empty()) return;
  index::TableStamps stamps;
  stamps.structure = header_.raw[format::hdr::kChangeCount2];
  stamps.keyed = px_loaded_;
  if (px_loaded_) stamps.primary_index = px_header_.raw[format::hdr::kIndexChangeCount];
  index::IndexChanges changes;
  const bool known = IndexChangesSinceWrite(changes);
  secondary_.Rewrite(Rows(), stamps, known ? &changes : nullptr);
}

bool TableFamily::IndexChangesSinceWrite(index::IndexChanges& changes) const {
  if (!indexes_written_ || index_changes_lost_) return false;
  std::vector<RowId> ids;
  if (!ChangedSince(indexed_version_, ids)) return false;
  ids.insert(ids.end(), moved_.begin(), moved_.end());
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  // Most rows changed: building from every row costs no more, and holds no name per row.
  if (ids.size() > static_cast<size_t>(record_count_) / 2 + 1024) return false;
  std::vector<RowId> alive;
  for (RowId id : ids)
    if (Alive(id)) alive.push_back(id);
  // The tuple number of a row: the rows before its block, and its slot.
  auto first_tuple = std::make_shared<std::vector<int64_t>>();
  changes.by_key = key_size_ > 0;
  if (changes.by_key) {
    changes.name_size = static_cast<size_t>(key_size_);
    changes.stale = erased_keys_;
    for (RowId id : alive) {
      if (id >= indexed_id_limit_) continue;  // added since: nothing of it in the files
      const RowBytes row = Row(PosOf(id));
      changes.stale.insert(changes.stale.end(), row.data(), row.data() + key_size_);
    }
  } else {
    // A deleted row moves the tuple number of every row after it: only rows
    // changed in place or appended keep the others where they were.
    if (alive.size() != ids.size() || !moved_.empty()) return false;
    int64_t before = 0;
    for (int b = 0; b < BlockCount(); ++b) {
      first_tuple->push_back(before);
      before += RowsIn(b);
    }
    changes.name_size = 4;
    for (RowId id : alive) {
      if (id >= indexed_id_limit_) continue;
      const RowPos p = PosOf(id);
      changes.stale.resize(changes.stale.size() + 4);
      format::EncodeInt(changes.stale.data() + changes.stale.size() - 4, 4, (*first_tuple)[p.block] + p.slot + 1);
    }
  }
  changes.count = alive.size();
  changes.each = [this, alive = std::move(alive), first_tuple](const std::function<void(const index::RowRef&, int64_t)>& f) {
    for (RowId id : alive) {
      const RowPos p = PosOf(id);
      const RowBytes row = Row(p);
      const int64_t tuple = first_tuple->empty() ? 0 : (*first_tuple)[p.block] + p.slot + 1;
      f({row.data(), chain_[p.block].number, p.slot}, tuple);
    }
  };
  return true;
}

// Per row and unique index: its key's bytes, a bit, and 4 to 8 bytes of an
// open-addressed table of the row ids held, by their keys' hash.
struct TableFamily::UniqueKeys {
  struct Index {
    std::string name;
    std::unique_ptr<index::KeyLayout> layout;
    size_t size = 0;               // bytes of a key
    ChunkedBytes by_row;           // the key of each row id, `size` bytes each
    std::vector<bool> held;        // the row ids in `slots`
    std::vector<RowId> slots;      // 1 + a row id held; 0: free (linear probing, a power of two)
    size_t count = 0;
    const uint8_t* Key(RowId id) const { return by_row[id]; }
    int Compare(const uint8_t* a, const uint8_t* b) const { return layout->Compare(a, b, layout->IndexedSize()); }
    size_t Mask() const { return slots.size() - 1; }
    size_t Home(const uint8_t* key) const { return index::HashBytes(key, size) & Mask(); }
    // Rows held whose key equals `key` (equal keys have equal bytes).
    size_t CountKey(const uint8_t* key) const {
      size_t n = 0;
      if (slots.empty()) return 0;
      for (size_t at = Home(key); slots[at]; at = (at + 1) & Mask())
        if (std::memcmp(Key(slots[at] - 1), key, size) == 0) ++n;
      return n;
    }
    void Place(RowId id) {
      size_t at = Home(Key(id));
      while (slots[at]) at = (at + 1) & Mask();
      slots[at] = id + 1;
    }
    void Insert(RowId id) {
      if (2 * (count + 1) > slots.size()) {
        std::vector<RowId> old(std::max<size_t>(16, 2 * slots.size()), 0);
        old.swap(slots);
        for (RowId s : old)
          if (s) Place(s - 1);
      }
      Place(id);
      ++count;
    }
    void Erase(RowId id) {
      size_t at = Home(Key(id));
      while (slots[at] != id + 1) at = (at + 1) & Mask();
      // Moves back the entries after the hole that probing would no longer reach.
      for (size_t next = (at + 1) & Mask(); slots[next]; next = (next + 1) & Mask()) {
        const size_t home = Home(Key(slots[next] - 1));
        if (((next - home) & Mask()) >= ((next - at) & Mask())) {
          slots[at] = slots[next];
          at = next;
        }
      }
      slots[at] = 0;
      --count;
    }
  };
  const std::vector<index::IndexFiles>* indexes = nullptr;  // what the layouts were made from
  uint64_t version = 0;
  std::vector<std::unique_ptr<Index>> unique;

  void Remove(RowId id) {
    for (auto& u : unique) {
      if (id >= u->held.size() || !u->held[id]) continue;
      u->Erase(id);
      u->held[id] = false;
    }
  }
  void Add(RowId id, const RowBytes& record, RowId limit) {
    for (auto& u : unique) {
      if (u->held.size() < limit) {
        u->held.resize(limit);
        u->by_row.grow(limit);
      }
      u->layout->IndexedPart(record, u->by_row[id]);
      u->Insert(id);
      u->held[id] = true;
    }
  }
};

TableFamily::UniqueKeys& TableFamily::UniqueKeysInStep() const {
  const std::vector<index::IndexFiles>& indexes = secondary_.Indexes();
  std::shared_ptr<UniqueKeys>& keys = unique_keys_;
  if (keys && keys->indexes == &indexes && keys->version == version_) return *keys;
  std::vector<RowId> touched;
  if (keys && keys->indexes == &indexes && ChangedSince(keys->version, touched)) {
    for (RowId id : touched) {
      keys->Remove(id);
      if (Alive(id)) keys->Add(id, Row(PosOf(id)), IdLimit());
    }
    keys->version = version_;
    return *keys;
  }
  keys = std::make_shared<UniqueKeys>();
  keys->indexes = &indexes;
  keys->version = version_;
  for (const index::IndexFiles& idx : indexes) {
    if (!idx.def.unique) continue;
    auto u = std::make_unique<UniqueKeys::Index>();
    u->name = idx.def.name;
    u->layout = std::make_unique<index::KeyLayout>(header_, def_.key_field_count, idx, *codec_);
    u->size = static_cast<size_t>(u->layout->IndexedSize());
    u->by_row = ChunkedBytes(u->size);
    keys->unique.push_back(std::move(u));
  }
  RowPos p;
  for (bool more = First(p); more; more = Next(p)) keys->Add(IdAt(p), Row(p), IdLimit());
  return *keys;
}

void TableFamily::CheckUniqueIndexes(const std::vector<uint8_t>& record, const uint8_t* replaced) const {
  const auto& indexes = secondary_.Indexes();
  if (std::none_of(indexes.begin(), indexes.end(), [](const index::IndexFiles& i) { return i.def.unique; })) return;
  if (IndexFilesSearchable()) {
    // The files written at the last flush hold the keys: none is kept per row.
    unique_keys_.reset();
    CheckUniqueInWrittenIndexes(record, replaced);
    return;
  }
  for (const auto& u : UniqueKeysInStep().unique) {
    const std::vector<uint8_t> wanted = u->layout->IndexedPart(record.data());
    size_t held = u->CountKey(wanted.data());
    // The row being replaced may hold the key itself.
    if (held > 0 && replaced && u->Compare(u->layout->IndexedPart(replaced).data(), wanted.data()) == 0) --held;
    if (held > 0) Fail("Key violation: the unique index " + u->name + " already holds this key");
  }
}

}  // namespace tabulor::db
