#include "db/paradox/index/family_indexes.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <stdexcept>

#include "db/paradox/table_family.h"

namespace tabulor::db::index {

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

void FamilyIndexes::Rewrite(const TableRows& rows, const TableStamps& stamps) {
  for (size_t i = 0; i < files_.size(); ++i) {
    const IndexFiles& idx = indexes_[i];
    storage::PagedFile& x = *files_[i].x;
    storage::PagedFile& y = *files_[i].y;
    format::Header xh = ReadHeader(x);
    format::Header yh = ReadHeader(y);
    KeyLayout layout(*rows.header, rows.def->key_field_count, idx, *cp_);
    // The counters move only when the index's records change.
    IndexImage image = BuildIndexImage(rows, layout, xh, yh, stamps, Counters::kKept);
    // Compared a piece at a time: the old file is not read whole.
    bool changed = x.Size() != image.x.size();
    std::vector<uint8_t> piece(64 * 1024);
    for (uint64_t at = static_cast<uint64_t>(xh.header_size); !changed && at < image.x.size(); at += piece.size()) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(piece.size(), image.x.size() - at));
      changed = x.Read(at, piece.data(), n) != n || !std::equal(piece.begin(), piece.begin() + static_cast<long>(n),
                                                                  image.x.begin() + static_cast<long>(at));
    }
    if (changed) {
      // Both counters move on together, keeping the difference the original engine left.
      ++image.x[format::hdr::kChangeCount1];
      ++image.y[format::hdr::kIndexChangeCount];
    }
    ReplaceContent(x, image.x);
    ReplaceContent(y, image.y);
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
      for (int s = 0; s < RowsIn(b); ++s) f({data->data() + static_cast<size_t>(s) * rs, chain_[b].number, s});
    }
  };
  return rows;
}

void TableFamily::LoadSecondaryIndexes() {
  unique_keys_.reset();
  secondary_.Load(*env_, files_.directory, files_.secondary, def_, *codec_, &load_problems_);
}

void TableFamily::WriteSecondaryIndexes() {
  if (secondary_.Indexes().empty()) return;
  index::TableStamps stamps;
  stamps.structure = header_.raw[format::hdr::kChangeCount2];
  stamps.keyed = px_loaded_;
  if (px_loaded_) stamps.primary_index = px_header_.raw[format::hdr::kIndexChangeCount];
  secondary_.Rewrite(Rows(), stamps);
}

// Per row and unique index: its key's bytes, a bit and a node of the ordered
// set of row ids (about 40 bytes besides the key).
struct TableFamily::UniqueKeys {
  struct Index {
    std::string name;
    std::unique_ptr<index::KeyLayout> layout;
    size_t size = 0;               // bytes of a key
    std::vector<uint8_t> by_row;   // the key of each row id, `size` bytes each
    std::vector<bool> held;        // the row ids in `keys`
    const uint8_t* Key(RowId id) const { return by_row.data() + static_cast<size_t>(id) * size; }
    int Compare(const uint8_t* a, const uint8_t* b) const { return layout->Compare(a, b, layout->IndexedSize()); }
    // Row ids in the order of their keys; searched by a key's bytes.
    struct Less {
      using is_transparent = void;
      const Index* u;
      bool operator()(RowId a, RowId b) const { return u->Compare(u->Key(a), u->Key(b)) < 0; }
      bool operator()(RowId a, const uint8_t* key) const { return u->Compare(u->Key(a), key) < 0; }
      bool operator()(const uint8_t* key, RowId b) const { return u->Compare(key, u->Key(b)) < 0; }
    };
    std::multiset<RowId, Less> keys{Less{this}};
  };
  const std::vector<index::IndexFiles>* indexes = nullptr;  // what the layouts were made from
  uint64_t version = 0;
  std::vector<std::unique_ptr<Index>> unique;

  void Remove(RowId id) {
    for (auto& u : unique) {
      if (id >= u->held.size() || !u->held[id]) continue;
      auto [it, end] = u->keys.equal_range(id);
      while (it != end && *it != id) ++it;
      if (it != end) u->keys.erase(it);
      u->held[id] = false;
    }
  }
  void Add(RowId id, const RowBytes& record, RowId limit) {
    for (auto& u : unique) {
      if (u->held.size() < limit) {
        u->held.resize(limit);
        u->by_row.resize(static_cast<size_t>(limit) * u->size);
      }
      u->layout->IndexedPart(record, u->by_row.data() + static_cast<size_t>(id) * u->size);
      u->keys.insert(id);
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
    keys->unique.push_back(std::move(u));
  }
  RowPos p;
  for (bool more = First(p); more; more = Next(p)) keys->Add(IdAt(p), Row(p), IdLimit());
  return *keys;
}

void TableFamily::CheckUniqueIndexes(const std::vector<uint8_t>& record, const uint8_t* replaced) const {
  const auto& indexes = secondary_.Indexes();
  if (std::none_of(indexes.begin(), indexes.end(), [](const index::IndexFiles& i) { return i.def.unique; })) return;
  for (const auto& u : UniqueKeysInStep().unique) {
    const std::vector<uint8_t> wanted = u->layout->IndexedPart(record.data());
    size_t held = u->keys.count(wanted.data());
    // The row being replaced may hold the key itself.
    if (held > 0 && replaced && u->Compare(u->layout->IndexedPart(replaced).data(), wanted.data()) == 0) --held;
    if (held > 0) Fail("Key violation: the unique index " + u->name + " already holds this key");
  }
}

}  // namespace tabulor::db
