// Searches in a secondary index's order through its files as the family's last
// flush wrote them: the Y tree leads to the X block where a key's records
// begin, and the X records name each row by the table's key. Memory holds a
// few of the files' blocks and the rows changed since that flush, by their X
// key, so what a search costs does not grow with the table, only with the
// changes between two flushes.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <unordered_map>

#include "db/paradox/format/block.h"
#include "db/paradox/format/field_codec.h"
#include "db/paradox/table_family.h"

namespace tabulor::db {

struct TableFamily::WrittenIndex {
  // Orders X keys as the index does; a Prefix compares on its own bytes only,
  // so that every key starting with it is found together.
  struct Prefix {
    const uint8_t* bytes;
    int size;
  };
  struct KeyLess {
    using is_transparent = void;
    const index::KeyLayout* layout;
    int size;
    bool operator()(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) const {
      return layout->Compare(a.data(), b.data(), size) < 0;
    }
    bool operator()(const std::vector<uint8_t>& a, const Prefix& b) const {
      return layout->Compare(a.data(), b.bytes, b.size) < 0;
    }
    bool operator()(const Prefix& a, const std::vector<uint8_t>& b) const {
      return layout->Compare(b.data(), a.bytes, a.size) > 0;
    }
  };
  using Entries = std::map<std::vector<uint8_t>, RowId, KeyLess>;

  explicit WrittenIndex(std::unique_ptr<index::KeyLayout> made)
      : layout(std::move(made)), key_size(layout->KeySize()), rows(KeyLess{layout.get(), key_size}) {}

  std::unique_ptr<index::KeyLayout> layout;
  int key_size;  // of an X key: the indexed fields, then the table's key
  bool based = false;
  uint64_t base = 0;  // the family's version when the files were written
  uint64_t seen = 0;  // the changes below are those up to this version
  format::Header xh, yh;
  Entries rows;  // the living rows changed since the files were written, by their X key
  // Every row changed since: its entry in `rows`, or rows.end() when it no longer lives.
  std::unordered_map<RowId, Entries::iterator> changed;

  // A few blocks of the two files, the one used last at the back.
  struct Held {
    bool y;
    int number;
    std::vector<uint8_t> bytes;
  };
  static constexpr size_t kHeldBlocks = 16;
  std::vector<Held> held;

  std::vector<uint8_t> KeyOf(const uint8_t* record, int table_key_size) const {
    std::vector<uint8_t> key(static_cast<size_t>(key_size));
    layout->IndexedPart(record, key.data());
    std::copy(record, record + table_key_size, key.begin() + layout->IndexedSize());
    return key;
  }
};

static std::atomic<uint64_t> index_file_searches{0};

uint64_t TableFamily::IndexFileSearches() { return index_file_searches; }

bool TableFamily::IndexFilesSearchable() const {
  const auto& indexes = secondary_.Indexes();
  if (!indexes_written_ || index_changes_lost_ || key_size_ == 0 || indexes.empty()) return false;
  if (indexed_version_ < changes_from_) return false;  // the record of changes no longer reaches the write
  for (size_t i = 0; i < indexes.size(); ++i)
    if (!indexes[i].def.maintained || !secondary_.XFile(i) || !secondary_.YFile(i)) return false;
  return true;
}

TableFamily::WrittenIndex& TableFamily::WrittenIndexInStep(int secondary) const {
  const auto& indexes = secondary_.Indexes();
  const size_t i = static_cast<size_t>(secondary);
  if (written_indexes_.size() != indexes.size()) written_indexes_.assign(indexes.size(), nullptr);
  std::shared_ptr<WrittenIndex>& w = written_indexes_[i];
  if (!w) w = std::make_shared<WrittenIndex>(std::make_unique<index::KeyLayout>(header_, def_.key_field_count, indexes[i], *codec_));
  if (!w->based || w->base != indexed_version_) {
    // A flush wrote the files again: they hold every change until then.
    w->rows.clear();
    w->changed.clear();
    w->held.clear();
    w->xh = index::ReadHeader(*secondary_.XFile(i));
    w->yh = index::ReadHeader(*secondary_.YFile(i));
    if (w->xh.record_size != w->layout->RecordSize() || w->yh.record_size != w->key_size + 6)
      Fail("secondary index " + indexes[i].x_name + ": its records do not fit the index");
    w->based = true;
    w->base = w->seen = indexed_version_;
  }
  if (w->seen != version_) {
    std::vector<RowId> ids;
    if (!ChangedSince(w->seen, ids)) Fail("the record of changes no longer reaches the last index write");
    // Every stale entry goes before any row's present key comes in, since a
    // row may now hold the key another row held at the last search.
    for (RowId id : ids) {
      const auto at = w->changed.try_emplace(id, w->rows.end()).first;
      if (at->second != w->rows.end()) {
        w->rows.erase(at->second);
        at->second = w->rows.end();
      }
    }
    for (RowId id : ids) {
      auto& entry = w->changed[id];
      if (entry != w->rows.end() || !Alive(id)) continue;
      const RowBytes row = Row(PosOf(id));
      const auto [placed, fresh] = w->rows.emplace(w->KeyOf(row, key_size_), id);
      if (!fresh) Fail("two rows hold the same key");
      entry = placed;
    }
    w->seen = version_;
  }
  return *w;
}

bool TableFamily::Unchanged(const WrittenIndex& w, const uint8_t* x_record, RowPos& at) const {
  const uint8_t* table_key = x_record + w.layout->IndexedSize();
  RowPos p;
  if (!LowerBound(std::vector<uint8_t>(table_key, table_key + key_size_), p)) return false;
  if (const RowBytes row = Row(p); std::memcmp(row, table_key, static_cast<size_t>(key_size_)) != 0) return false;
  if (w.changed.count(IdAt(p))) return false;
  at = p;
  return true;
}

namespace {

// A block of an index file and its record count.
struct IndexBlock {
  const uint8_t* bytes;
  int records;
};

// Reads block `number` of the X file (`y` false) or the Y file of `w`, valid until the next read.
template <typename Index>
IndexBlock ReadIndexBlock(const TableFamily& fam, Index& w, storage::PagedFile& file, bool y, int number) {
  const format::Header& h = y ? w.yh : w.xh;
  for (size_t k = w.held.size(); k-- > 0;)
    if (w.held[k].y == y && w.held[k].number == number) {
      std::rotate(w.held.begin() + static_cast<long>(k), w.held.begin() + static_cast<long>(k) + 1, w.held.end());
      break;
    }
  if (w.held.empty() || w.held.back().y != y || w.held.back().number != number) {
    if (number < 1 || number > h.file_blocks)
      fam.Fail(file.path() + ": block " + std::to_string(number) + " is out of the file");
    if (w.held.size() == Index::kHeldBlocks) w.held.erase(w.held.begin());
    w.held.push_back({y, number, std::vector<uint8_t>(static_cast<size_t>(h.block_size))});
    std::vector<uint8_t>& bytes = w.held.back().bytes;
    if (file.Read(format::BlockOffset(h.header_size, h.block_size, number), bytes.data(), bytes.size()) < bytes.size()) {
      w.held.pop_back();
      fam.Fail(file.path() + ": block " + std::to_string(number) + " lies past the end of the file");
    }
  }
  const std::vector<uint8_t>& bytes = w.held.back().bytes;
  const int n = format::BlockHeader::Parse(bytes.data()).RecordCount(h.record_size);
  if (n < 0 || format::BlockHeader::kSize + n * h.record_size > h.block_size)
    fam.Fail(file.path() + ": block " + std::to_string(number) + " has a bad size");
  return {bytes.data(), n};
}

// Hands `each` the X records whose leading `bytes` equal those of `key`, in
// order, until it returns false.
template <typename Index, typename Each>
void ScanWritten(const TableFamily& fam, Index& w, storage::PagedFile& x, storage::PagedFile& y, const uint8_t* key,
                 int bytes, Each each) {
  if (w.xh.num_records == 0 || w.yh.index_levels == 0) return;
  const index::KeyLayout& layout = *w.layout;
  // Down the tree: the last entry of each block whose first key is below the
  // key, so that records equal to it at the end of the block before are seen.
  int number = w.yh.index_root;
  const int y_size = w.yh.record_size;
  for (int level = w.yh.index_levels; level >= 1; --level) {
    const IndexBlock b = ReadIndexBlock(fam, w, y, true, number);
    if (b.records == 0) fam.Fail(y.path() + ": block " + std::to_string(number) + " is empty");
    const uint8_t* entries = b.bytes + format::BlockHeader::kSize;
    int pick = 0;
    while (pick + 1 < b.records && layout.Compare(entries + (pick + 1) * y_size, key, bytes) < 0) ++pick;
    number = static_cast<uint16_t>(format::DecodeInt(entries + pick * y_size + w.key_size, 2));
  }
  const int rs = w.xh.record_size;
  for (int walked = 0; number != 0; ++walked) {
    if (walked > w.xh.file_blocks) fam.Fail(x.path() + ": its block chain loops");
    // `each` reads the table's blocks, never these: the block stays held while its records are handed out.
    const IndexBlock b = ReadIndexBlock(fam, w, x, false, number);
    for (int k = 0; k < b.records; ++k) {
      const uint8_t* record = b.bytes + format::BlockHeader::kSize + k * rs;
      const int c = layout.Compare(record, key, bytes);
      if (c < 0) continue;
      if (c > 0 || !each(record)) return;
    }
    number = format::BlockHeader::Parse(b.bytes).next;
  }
}

}  // namespace

bool TableFamily::FirstWithKey(int secondary, const uint8_t* key, int bytes, RowPos& found) const {
  WrittenIndex& w = WrittenIndexInStep(secondary);
  const size_t i = static_cast<size_t>(secondary);
  ++index_file_searches;
  // The first unchanged row the files hold, and the first changed row: the one whose X key is lower.
  bool in_files = false;
  RowPos file_row;
  std::vector<uint8_t> file_key;
  ScanWritten(*this, w, *secondary_.XFile(i), *secondary_.YFile(i), key, bytes, [&](const uint8_t* record) {
    if (!Unchanged(w, record, file_row)) return true;
    file_key.assign(record, record + w.key_size);
    in_files = true;
    return false;
  });
  const auto changed = w.rows.lower_bound(WrittenIndex::Prefix{key, bytes});
  const bool in_changes = changed != w.rows.end() && w.layout->Compare(changed->first.data(), key, bytes) == 0;
  if (in_changes && (!in_files || w.layout->Compare(changed->first.data(), file_key.data(), w.key_size) < 0)) {
    found = PosOf(changed->second);
    return true;
  }
  if (in_files) found = file_row;
  return in_files;
}

void TableFamily::CheckUniqueInWrittenIndexes(const std::vector<uint8_t>& record, const uint8_t* replaced) const {
  const auto& indexes = secondary_.Indexes();
  for (size_t i = 0; i < indexes.size(); ++i) {
    if (!indexes[i].def.unique) continue;
    WrittenIndex& w = WrittenIndexInStep(static_cast<int>(i));
    ++index_file_searches;
    const index::KeyLayout& layout = *w.layout;
    const int bytes = layout.IndexedSize();
    const std::vector<uint8_t> wanted = layout.IndexedPart(record.data());
    size_t held = 0;
    ScanWritten(*this, w, *secondary_.XFile(i), *secondary_.YFile(i), wanted.data(), bytes, [&](const uint8_t* x_record) {
      RowPos at;
      if (Unchanged(w, x_record, at)) ++held;
      return true;
    });
    const auto [from, to] = w.rows.equal_range(WrittenIndex::Prefix{wanted.data(), bytes});
    held += static_cast<size_t>(std::distance(from, to));
    // The row being replaced may hold the key itself.
    if (held > 0 && replaced && layout.Compare(layout.IndexedPart(replaced).data(), wanted.data(), bytes) == 0) --held;
    if (held > 0) Fail("Key violation: the unique index " + indexes[i].def.name + " already holds this key");
  }
}

}  // namespace tabulor::db
