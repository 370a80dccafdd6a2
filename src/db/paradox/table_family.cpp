#include "db/paradox/table_family.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <set>
#include <system_error>

#include "db/paradox/error.h"
#include "db/paradox/format/block.h"
#include "db/paradox/format/field_codec.h"
#include "db/paradox/format/index_tree.h"
#include "db/paradox/names.h"
#include "db/paradox/schema_ops/file_set_writer.h"
#include "db/paradox/schema_ops/lock_files.h"

namespace tabulor::db {

using format::BlockHeader;

namespace {
// 2 MiB of records per table family: a few hundred blocks, enough for the
// blocks an import or a browse works on at once; the rest is read again when needed.
std::atomic<size_t> default_cache_budget{2u << 20};
std::atomic<size_t> most_held{0};
std::atomic<uint64_t> blocks_read{0}, blocks_spilled{0};

// Room for `more` elements at the end, growing by an eighth rather than
// doubling: a table's per-block bookkeeping lives as long as the table is
// open, and a doubled vector would keep up to twice its size.
template <typename V>
void ReserveForGrowth(V& v, size_t more) {
  if (v.size() + more > v.capacity()) v.reserve(v.size() + more + v.size() / 8);
}

void NoteHeld(size_t held) {
  size_t seen = most_held;
  while (held > seen && !most_held.compare_exchange_weak(seen, held)) {
  }
}
}  // namespace

void TableFamily::SetDefaultCacheBudget(size_t bytes) {
  default_cache_budget = bytes;
  most_held = 0;
  blocks_read = blocks_spilled = 0;
}
size_t TableFamily::DefaultCacheBudget() { return default_cache_budget; }
TableFamily::CacheCounters TableFamily::Counters() { return {most_held, blocks_read, blocks_spilled}; }

FamilyFiles FamilyFiles::Find(Env& env, const std::string& directory, const std::string& table_file) {
  FamilyFiles f;
  f.directory = directory;
  std::string base = names::WithoutDbExtension(table_file);
  if (!env.DirectoryExists(directory)) return f;
  for (const std::string& entry : env.ListDirectory(directory)) {
    if (entry.size() < base.size() + 3 || !names::EqualNoCase(entry.substr(0, base.size()), base) ||
        entry[base.size()] != '.')
      continue;
    std::string ext = names::Upper(entry.substr(base.size() + 1));
    if (ext == "DB") f.db = entry;
    else if (ext == "PX") f.px = entry;
    else if (ext == "MB") f.mb = entry;
    else if (ext.size() == 3 && (ext[0] == 'X' || ext[0] == 'Y') && std::isalnum(static_cast<unsigned char>(ext[1])) &&
             std::isalnum(static_cast<unsigned char>(ext[2])))
      f.secondary.push_back(entry);
  }
  std::sort(f.secondary.begin(), f.secondary.end());
  return f;
}

void TableFamily::Fail(const std::string& message, const std::string& field) const {
  std::string text = "Table " + name_ + (field.empty() ? "" : ", field " + field) + ": " + message;
  throw EngineError(text, name_, field);
}

void TableFamily::RequireUsable() const {
  if (abandoned_)
    Fail("the unit of work that wrote it was abandoned and the table is back as before it; close and reopen the table");
  if (broken_) Fail("an earlier write failed; close and reopen the table (changes since the last flush are lost)");
}

template <typename F>
auto TableFamily::Guarded(F&& f) -> decltype(f()) {
  RequireUsable();
  try {
    return f();
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    broken_ = true;
    if (InUnit())
      Fail(std::string("writing failed; the unit of work it belongs to must be abandoned: ") + e.what());
    try {
      storage::Journal::Recover(*env_, files_.directory, storage::Journal::NameFor(files_.db));
    } catch (...) {
      // Left for the next open, which rolls the journal back first.
    }
    Fail(std::string("writing failed, the table was left as at its last flush: ") + e.what());
  }
}

TableFamily::TableFamily(std::shared_ptr<Env> env, const FamilyFiles& files, std::string name, bool read_only,
                         bool open_blob_file, std::shared_ptr<BlockCachePool> pool)
    : env_(std::move(env)), files_(files), name_(std::move(name)), read_only_(read_only), pool_(std::move(pool), this) {
  if (files_.db.empty()) Fail("the table does not exist in " + files_.directory);
  path_ = files_.Path(files_.db);
  const std::string journal = storage::Journal::NameFor(files_.db);
  try {
    storage::UnitJournal::RecoverAbandoned(*env_, files_.directory);
    if (env_->FileExists(files_.Path(journal))) {
      storage::Journal::Recover(*env_, files_.directory, journal);
      files_ = FamilyFiles::Find(*env_, files_.directory, files_.db);
    }
    // Index files a schema change had only just created when it was cut short are empty.
    if (schema_ops::RemoveEmptySideFiles(*env_, files_.directory, files_.db))
      files_ = FamilyFiles::Find(*env_, files_.directory, files_.db);
    std::unique_ptr<File> f;
    if (!read_only_) {
      try {
        f = env_->Open(path_, OpenMode::kReadWrite);
      } catch (const std::system_error&) {
        read_only_ = true;  // a write-protected table can still be read
      }
    }
    if (!f) f = env_->Open(path_, OpenMode::kRead);
    db_file_ = std::make_unique<storage::PagedFile>(std::move(f), path_);
    if (read_only_) db_file_->ReadAhead();
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    Fail(e.what());
  }
  try {
    uint8_t prefix[4] = {};
    if (db_file_->Read(0, prefix, 4) < 4) throw std::runtime_error("file too short");
    std::vector<uint8_t> raw(std::max(0x58, format::Header::SizeFromPrefix(prefix)), 0);
    raw.resize(db_file_->Read(0, raw.data(), raw.size()));
    header_ = format::Header::Parse(raw, db_file_->Size());
    if (header_.file_type != format::kKeyedDb && header_.file_type != format::kUnkeyedDb)
      throw std::runtime_error("not a table file");
    if (header_.encrypted) throw std::runtime_error("the table is password-protected");
    int cp = header_.code_page ? header_.code_page : (header_.file_version < 5 ? 437 : 1252);
    codec_ = std::make_unique<format::CodePage>(cp, format::CodePage::CharsetFor(header_.code_page ? cp : 0, header_.sort_order_id));
    if (header_.file_version < 5 && !header_.code_page) codec_ = std::make_unique<format::CodePage>(437);
    for (size_t i = 0; i < header_.fields.size(); ++i) {
      FieldDef f = header_.fields[i];
      f.name = codec_->ToUtf8(f.name);
      def_.fields.push_back(std::move(f));
    }
    def_.key_field_count = header_.file_type == format::kKeyedDb ? header_.key_fields : 0;
    def_.block_size_kb = header_.block_size / 1024;
    def_.file_version = header_.file_version;
    def_.sort_order = header_.sort_order_id;
    def_.code_page = codec_->Number();
    key_size_ = PrefixSize(def_.key_field_count);
    // A keyed table that lost its .PX opens for reading only.
    if (!read_only_) RequirePrimaryIndexFile();
    LoadBlocks();
    OpenPrimaryIndex();
    if (open_blob_file) OpenBlobFile();
    ReadSecondaryIndexDefs();
    LoadSecondaryIndexes();
  } catch (const EngineError&) {
    throw;
  } catch (const std::exception& e) {
    Fail(e.what());
  }
}

TableFamily::~TableFamily() = default;

int TableFamily::PrefixSize(int fields) const {
  int n = 0;
  for (int i = 0; i < fields && i < static_cast<int>(header_.stored_sizes.size()); ++i) n += header_.stored_sizes[i];
  return n;
}

void TableFamily::LoadBlocks() {
  const int rs = header_.record_size;
  const int bs = header_.block_size;
  std::vector<bool> seen(static_cast<size_t>(std::max(0, header_.file_blocks)) + 1);
  // Whether block `number` was met before; it is met now.
  auto met = [&](int number) {
    const bool before = seen[static_cast<size_t>(number)];
    seen[static_cast<size_t>(number)] = true;
    return before;
  };
  std::vector<uint8_t> buf(static_cast<size_t>(bs));
  budget_blocks_ = std::max<size_t>(1, DefaultCacheBudget() / static_cast<size_t>(bs));
  if (read_only_) {
    frozen_ = std::make_unique<FrozenChain>(key_size_, name_);
  } else {
    chain_.reserve(static_cast<size_t>(header_.file_blocks));
    first_keys_.reserve(static_cast<size_t>(header_.file_blocks) * static_cast<size_t>(key_size_));
  }
  int prev = 0;
  for (int number = header_.first_block; number != 0;) {
    if (number < 0 || number > header_.file_blocks) throw std::runtime_error("block chain leaves the file at block " + std::to_string(number));
    if (met(number)) throw std::runtime_error("block chain loops at block " + std::to_string(number));
    std::fill(buf.begin(), buf.end(), 0);
    size_t got = db_file_->Read(format::BlockOffset(header_.header_size, bs, number), buf.data(), buf.size());
    if (got < static_cast<size_t>(BlockHeader::kSize)) throw std::runtime_error("block " + std::to_string(number) + " lies past the end of the file");
    BlockHeader bh = BlockHeader::Parse(buf.data());
    int n = bh.RecordCount(rs);
    if (n < 0 || n > Capacity()) throw std::runtime_error("block " + std::to_string(number) + " has a bad record count");
    if (BlockHeader::kSize + static_cast<size_t>(n) * rs > got)
      load_problems_.push_back("block " + std::to_string(number) + " is cut short by the end of the file");
    if (bh.prev != prev) load_problems_.push_back("block " + std::to_string(number) + " has a wrong previous-block link");
    const auto records = buf.begin() + BlockHeader::kSize;
    if (frozen_) {
      frozen_->Append(static_cast<uint16_t>(number), n, n > 0 && key_size_ > 0 ? &*records : nullptr);
      next_id_ += static_cast<RowId>(n);
    } else {
      Block b;
      b.number = static_cast<uint16_t>(number);
      InsertFirstKey(BlockCount(), n > 0 ? &*records : nullptr);
      b.disk_next = bh.next;
      b.disk_prev = bh.prev;
      b.ids.Assign(IdLimit(), static_cast<size_t>(n));
      for (int slot = 0; slot < n; ++slot) NewId(b.number, slot);
      chain_.push_back(std::move(b));
    }
    record_count_ += n;
    // The first blocks stay in the cache, as read.
    if (held_blocks_ < budget_blocks_ && pool_.Room(BlockBytes())) {
      Hold(static_cast<uint16_t>(number), std::vector<uint8_t>(records, records + static_cast<long>(n) * rs));
      Cached& held = cache_.at(static_cast<uint16_t>(number));
      held.dirty = false;
      lru_.splice(lru_.end(), dirty_lru_, held.lru);
      --dirty_blocks_;
    }
    prev = number;
    number = bh.next;
  }
  if (frozen_) frozen_->Finish();
  else IndexChain();
  if (BlockCount() > 0 && NumberAt(BlockCount() - 1) != header_.last_block)
    load_problems_.push_back("the header's last block is not the end of the chain");
  if (BlockCount() != header_.used_blocks)
    load_problems_.push_back("the header counts " + std::to_string(header_.used_blocks) + " blocks in use, the chain has " +
                             std::to_string(BlockCount()));
  if (record_count_ != header_.num_records)
    load_problems_.push_back("the header counts " + std::to_string(header_.num_records) + " records, the blocks hold " +
                             std::to_string(record_count_));
  for (int number = header_.first_free_block; number != 0;) {
    if (number < 0 || number > header_.file_blocks || met(number)) {
      load_problems_.push_back("the free-block list is damaged at block " + std::to_string(number));
      break;
    }
    free_blocks_.push_back(static_cast<uint16_t>(number));
    uint8_t h[BlockHeader::kSize] = {};
    db_file_->Read(format::BlockOffset(header_.header_size, bs, number), h, sizeof h);
    number = BlockHeader::Parse(h).next;
  }
}

void TableFamily::OpenPrimaryIndex() {
  if (def_.key_field_count == 0 || files_.px.empty()) return;
  std::unique_ptr<File> f = env_->Open(files_.Path(files_.px), read_only_ ? OpenMode::kRead : OpenMode::kReadWrite);
  px_file_ = std::make_unique<storage::PagedFile>(std::move(f), files_.Path(files_.px));
  if (read_only_) px_file_->ReadAhead();
  uint8_t prefix[4] = {};
  px_file_->Read(0, prefix, 4);
  std::vector<uint8_t> raw(std::max(0x58, format::Header::SizeFromPrefix(prefix)), 0);
  raw.resize(px_file_->Read(0, raw.data(), raw.size()));
  try {
    px_header_ = format::Header::Parse(raw, px_file_->Size());
    if (px_header_.file_type != format::kPrimaryIndex) throw std::runtime_error("not a primary index");
    px_loaded_ = true;
  } catch (const std::exception& e) {
    // A damaged primary index does not hide the rows; a write rebuilds it.
    load_problems_.push_back(PrimaryIndexProblem(e.what()));
    if (read_only_) return;
    throw std::runtime_error(load_problems_.back());
  }
}

void TableFamily::OpenBlobFile() {
  if (files_.mb.empty()) return;
  std::unique_ptr<File> f = env_->Open(files_.Path(files_.mb), read_only_ ? OpenMode::kRead : OpenMode::kReadWrite);
  mb_file_ = std::make_unique<storage::PagedFile>(std::move(f), files_.Path(files_.mb));
  if (read_only_) mb_file_->ReadAhead();
  blobs_ = std::make_unique<format::BlobFile>(mb_file_.get(), !read_only_);
}

std::string TableFamily::MissingPrimaryIndex() const {
  return def_.key_field_count > 0 && files_.px.empty() ? files_.BaseName() + ".PX" : std::string();
}

void TableFamily::RequirePrimaryIndexFile() const {
  const std::string missing = MissingPrimaryIndex();
  if (!missing.empty())
    Fail("the primary index file " + missing + " is missing; the table's indexes must be rebuilt before it can change");
}

void TableFamily::PrepareWrite() {
  RequireUsable();
  if (journal_) return;
  RequirePrimaryIndexFile();
  locks::RequireNotHeldElsewhere(*env_, files_.directory, files_.db);
  try {
    if (read_only_) {
      // Reopen the files for writing; nothing is pending in a read-only family.
      auto reopen = [&](std::unique_ptr<storage::PagedFile>& file) {
        if (file) file = std::make_unique<storage::PagedFile>(env_->Open(file->path(), OpenMode::kReadWrite), file->path());
      };
      reopen(db_file_);
      reopen(px_file_);
      reopen(mb_file_);
      if (blobs_) blobs_ = std::make_unique<format::BlobFile>(mb_file_.get());
      Thaw();
      read_only_ = false;
    }
    auto create = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
      auto f = env_->Open(files_.Path(name), OpenMode::kCreate);
      f->WriteAt(0, bytes.data(), bytes.size());
      f->Sync();
      env_->SyncDirectory(files_.directory);
    };
    bool has_blobs = std::any_of(def_.fields.begin(), def_.fields.end(), [](const FieldDef& f) { return IsBlobType(f.type); });
    if (has_blobs && files_.mb.empty()) {
      files_.mb = files_.BaseName() + ".MB";
      create(files_.mb, format::BlobFile::NewFileHeader());
      OpenBlobFile();
    }
  } catch (const std::exception& e) {
    Fail(std::string("the table cannot be written: ") + e.what());
  }
  journal_ = std::make_unique<storage::Journal>(*env_, files_.directory, storage::Journal::NameFor(files_.db));
  journal_->AddFile(db_file_.get(), files_.db);
  if (px_file_) journal_->AddFile(px_file_.get(), files_.px);
  if (mb_file_) journal_->AddFile(mb_file_.get(), files_.mb);
  try {
    secondary_.OpenForWrite(*env_, files_.directory, *journal_);
  } catch (const std::exception& e) {
    journal_.reset();
    Fail(std::string("the table's index files cannot be written: ") + e.what());
  }
}

void TableFamily::JoinUnit(storage::UnitJournal* unit) {
  if (InUnit()) return;
  Flush();
  PrepareWrite();
  locks::RequireNotHeldElsewhere(*env_, files_.directory, files_.db);
  journal_->JoinUnit(unit);
}

void TableFamily::SyncUnitWrites() {
  if (!journal_) return;
  Guarded([&] {
    journal_->SyncUnitFiles();
    return 0;
  });
}

void TableFamily::FinishUnit() {
  if (!journal_) return;
  try {
    journal_->FinishUnit();
  } catch (...) {
    // A journal left behind names a unit journal that is gone: the next open deletes it.
    journal_->LeaveUnit();
  }
}

void TableFamily::AbandonUnit() {
  if (journal_) journal_->LeaveUnit();
  abandoned_ = true;
}

// ---- positions ----

RowId TableFamily::NewId(uint16_t block_number, int slot) {
  if (!ids_in_chain_order_) where_.push_back({block_number, static_cast<int16_t>(slot)});
  return next_id_++;
}

void TableFamily::Relocate(int chain_index, int from_slot, bool from_another_block) {
  if (ids_in_chain_order_ && !from_another_block) return;
  const Block& b = chain_[chain_index];
  for (size_t j = static_cast<size_t>(from_slot); j < b.ids.size(); ++j) {
    if (from_another_block) NoteIndexMove(b.ids[j]);
    if (!ids_in_chain_order_) where_[b.ids[j]] = {b.number, static_cast<int16_t>(j)};
  }
}

void TableFamily::Thaw() {
  if (!frozen_) return;
  std::vector<uint8_t> header(BlockHeader::kSize);
  chain_.reserve(static_cast<size_t>(frozen_->Count()));
  for (int i = 0; i < frozen_->Count(); ++i) {
    Block b;
    b.number = frozen_->Number(i);
    db_file_->Read(format::BlockOffset(header_.header_size, header_.block_size, b.number), header.data(), header.size());
    const BlockHeader bh = BlockHeader::Parse(header.data());
    b.disk_next = bh.next;
    b.disk_prev = bh.prev;
    b.ids.Assign(frozen_->FirstId(i), static_cast<size_t>(frozen_->Rows(i)));
    const uint8_t* key = b.ids.empty() ? nullptr : frozen_->KeyAt(i);
    chain_.push_back(std::move(b));
    if (key_size_ > 0 && key) first_keys_.insert(first_keys_.end(), key, key + key_size_);
    else if (key_size_ > 0) first_keys_.resize(first_keys_.size() + static_cast<size_t>(key_size_), 0);
  }
  frozen_.reset();
  IndexChain();
}

RowPos TableFamily::FindInChainOrder(RowId id) const {
  if (frozen_) {
    const int b = frozen_->BlockOf(id);
    if (b < 0) return {0, -1};
    const RowId slot = id - frozen_->FirstId(b);
    if (slot >= static_cast<RowId>(frozen_->Rows(b))) return {0, -1};
    return {b, static_cast<int>(slot)};
  }
  // The last block whose first id is not above `id`.
  const auto after = std::upper_bound(chain_.begin(), chain_.end(), id,
                                      [](RowId v, const Block& b) { return v < b.ids.First(); });
  if (after == chain_.begin()) return {0, -1};
  const Block& b = *(after - 1);
  const RowId slot = id - b.ids.First();
  if (slot >= b.ids.size()) return {0, -1};
  return {static_cast<int>(after - 1 - chain_.begin()), static_cast<int>(slot)};
}

void TableFamily::NoteWhereEachRowLies() {
  ids_in_chain_order_ = false;
  where_ = {};
  for (RowId id = 0; id < next_id_; ++id) where_.push_back({0, -1});
  for (const Block& b : chain_)
    for (size_t j = 0; j < b.ids.size(); ++j) where_[b.ids[j]] = {b.number, static_cast<int16_t>(j)};
}

void TableFamily::NoteIndexMove(RowId id) {
  if (!indexes_written_ || index_changes_lost_) return;
  moved_.push_back(id);
  // More moves than rows: the next flush builds the indexes afresh anyway.
  if (moved_.size() > static_cast<size_t>(record_count_) + 4096) {
    index_changes_lost_ = true;
    std::vector<RowId>().swap(moved_);
  }
}

void TableFamily::IndexChain(int from) {
  for (int i = std::max(0, from); i < BlockCount(); ++i) {
    const uint16_t n = chain_[i].number;
    if (n >= chain_at_.size()) {
      ReserveForGrowth(chain_at_, n + 1 - chain_at_.size());
      chain_at_.resize(static_cast<size_t>(n) + 1, 0xFFFF);
    }
    chain_at_[n] = static_cast<uint16_t>(i);
  }
}

void TableFamily::Touch(RowId changed) {
  dirty_ = true;
  ++version_;
  changes_.push_back(changed);
  // A cursor that missed more changes than about 1/32 of the rows orders them
  // all again rather than catching up (OrderedRows): the record keeps a few
  // times that many, a bounded part of the table rather than twice its rows,
  // and never more than 69,632 changes (272 KiB), however large the table.
  constexpr size_t kMostRecorded = 65536;
  if (changes_.size() > std::min(static_cast<size_t>(record_count_) / 8, kMostRecorded) + 4096) {
    const size_t drop = changes_.size() / 2;
    changes_from_ += drop;
    changes_.erase(changes_.begin(), changes_.begin() + static_cast<long>(drop));
  }
}

bool TableFamily::ChangedSince(uint64_t version, std::vector<RowId>& ids) const {
  if (version < changes_from_) return false;
  const uint64_t first = version - changes_from_;  // the change that made version + 1
  if (first < changes_.size()) ids.insert(ids.end(), changes_.begin() + static_cast<long>(first), changes_.end());
  return true;
}

bool TableFamily::First(RowPos& p) const {
  for (int b = 0; b < BlockCount(); ++b)
    if (RowsIn(b) > 0) {
      p = {b, 0};
      return true;
    }
  return false;
}

bool TableFamily::Next(RowPos& p) const {
  if (p.slot + 1 < RowsIn(p.block)) {
    ++p.slot;
    return true;
  }
  for (int b = p.block + 1; b < BlockCount(); ++b)
    if (RowsIn(b) > 0) {
      p = {b, 0};
      return true;
    }
  return false;
}

bool TableFamily::Prior(RowPos& p) const {
  if (p.slot > 0) {
    --p.slot;
    return true;
  }
  for (int b = p.block - 1; b >= 0; --b)
    if (RowsIn(b) > 0) {
      p = {b, RowsIn(b) - 1};
      return true;
    }
  return false;
}

bool TableFamily::Last(RowPos& p) const {
  for (int b = BlockCount() - 1; b >= 0; --b)
    if (RowsIn(b) > 0) {
      p = {b, RowsIn(b) - 1};
      return true;
    }
  return false;
}

int TableFamily::CompareKeys(const uint8_t* a, const uint8_t* b) const {
  return std::memcmp(a, b, static_cast<size_t>(key_size_));
}

template <typename Pred>
int TableFamily::LastBlockBefore(Pred before) const {
  if (frozen_) return frozen_->FirstNotBefore(before) - 1;
  int lo = 0, hi = BlockCount();  // the first block whose key does not satisfy `before`
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    int k = mid;
    while (k >= 0 && chain_[k].ids.empty()) --k;
    if (k < 0 || before(FirstKey(k))) lo = mid + 1;
    else hi = mid;
  }
  return lo - 1;
}

bool TableFamily::LowerBound(const std::vector<uint8_t>& prefix, RowPos& p) const {
  const size_t n = std::min(prefix.size(), static_cast<size_t>(key_size_));
  const int rs = header_.record_size;
  // The row is in the last block whose first key is below the prefix, or it is the first row after it.
  int b = LastBlockBefore([&](const uint8_t* key) { return std::memcmp(key, prefix.data(), n) < 0; });
  while (b >= 0 && RowsIn(b) == 0) --b;
  if (b < 0) return First(p);
  const Bytes data = Load(b);
  const int rows = RowsIn(b);
  int lo = 0, hi = rows;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (std::memcmp(data->data() + static_cast<size_t>(mid) * rs, prefix.data(), n) < 0) lo = mid + 1;
    else hi = mid;
  }
  p = {b, lo};
  if (lo < rows) return true;
  p.slot = rows - 1;
  return Next(p);
}

bool TableFamily::FindIdentical(const uint8_t* record, RowPos& p) const {
  RowPos q;
  for (bool ok = First(q); ok; ok = Next(q)) {
    const RowBytes row = Row(q);
    if (std::memcmp(row, record, static_cast<size_t>(header_.record_size)) == 0) {
      p = q;
      return true;
    }
  }
  return false;
}

// ---- changes ----

uint16_t TableFamily::NewBlockNumber() {
  if (!free_blocks_.empty()) {
    uint16_t n = free_blocks_.front();
    free_blocks_.erase(free_blocks_.begin());
    newly_freed_.erase(std::remove(newly_freed_.begin(), newly_freed_.end(), n), newly_freed_.end());
    return n;
  }
  if (header_.file_blocks >= 0xFFFF) Fail("the table is full (65535 blocks)");
  return static_cast<uint16_t>(++header_.file_blocks);
}

// ---- the block cache ----

TableFamily::Bytes TableFamily::Load(int chain_index) const {
  const uint16_t n = NumberAt(chain_index);
  if (const auto held = cache_.find(n); held != cache_.end()) {
    Cached& c = held->second;
    c.used = pool_.Use();
    std::list<uint16_t>& list = c.dirty ? dirty_lru_ : lru_;
    list.splice(list.end(), list, c.lru);
    return c.data;
  }
  const int rs = header_.record_size;
  auto data = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(RowsIn(chain_index)) * rs, 0);
  try {
    // A block cut short by the end of the file reads as zeros past it.
    db_file_->Read(format::BlockOffset(header_.header_size, header_.block_size, n) + BlockHeader::kSize, data->data(),
                   data->size());
  } catch (const std::exception& e) {
    Fail("reading block " + std::to_string(n) + " failed: " + e.what());
  }
  ++blocks_read;
  Cached& c = cache_[n];
  c.data = data;
  c.dirty = false;
  c.used = pool_.Use();
  c.lru = lru_.insert(lru_.end(), n);
  ++held_blocks_;
  pool_.Held(BlockBytes());
  TrimClean(n);
  NoteHeld(held_blocks_);
  return data;
}

std::vector<uint8_t>& TableFamily::Change(int chain_index) {
  Bytes data = Load(chain_index);
  Cached& c = cache_.at(chain_[chain_index].number);
  // Held here and by the cache: a third holder is a RowBytes, which keeps the bytes it showed.
  if (data.use_count() > 2) c.data = std::make_shared<std::vector<uint8_t>>(*data);
  if (!c.dirty) {
    c.dirty = true;
    ++dirty_blocks_;
    dirty_lru_.splice(dirty_lru_.end(), lru_, c.lru);
  }
  return *c.data;
}

void TableFamily::Hold(uint16_t number, std::vector<uint8_t> data) {
  Drop(number);
  Cached& c = cache_[number];
  c.data = std::make_shared<std::vector<uint8_t>>(std::move(data));
  c.dirty = true;
  c.lru = dirty_lru_.insert(dirty_lru_.end(), number);
  c.used = pool_.Use();
  ++held_blocks_;
  pool_.Held(BlockBytes());
  ++dirty_blocks_;
  NoteHeld(held_blocks_);
}

void TableFamily::Drop(uint16_t number) const {
  const auto held = cache_.find(number);
  if (held == cache_.end()) return;
  Cached& c = held->second;
  (c.dirty ? dirty_lru_ : lru_).erase(c.lru);
  if (c.dirty) --dirty_blocks_;
  cache_.erase(held);
  --held_blocks_;
  pool_.Released(BlockBytes());
}

void TableFamily::DropAll() {
  cache_.clear();
  lru_.clear();
  dirty_lru_.clear();
  pool_.Released(held_blocks_ * BlockBytes());
  held_blocks_ = dirty_blocks_ = 0;
}

void TableFamily::TrimClean(uint16_t keep) const {
  for (auto it = lru_.begin(); it != lru_.end() && held_blocks_ > budget_blocks_;) {
    const uint16_t n = *it++;
    const Cached& c = cache_.at(n);
    if (n == keep || c.dirty || c.data.use_count() > 1) continue;
    Drop(n);
  }
  pool_.Trim();
}

const uint16_t* TableFamily::OldestClean() const {
  for (const uint16_t& n : lru_)
    if (cache_.at(n).data.use_count() == 1) return &n;
  return nullptr;
}

bool TableFamily::OldestReleasable(uint64_t& used) const {
  const uint16_t* n = OldestClean();
  if (n) used = cache_.at(*n).used;
  return n != nullptr;
}

void TableFamily::ReleaseOldest() const {
  if (const uint16_t* n = OldestClean()) Drop(*n);
}

void TableFamily::WriteBlock(int chain_index, const std::vector<uint8_t>& data) {
  const int rs = header_.record_size;
  const int bs = header_.block_size;
  Block& b = chain_[chain_index];
  const uint16_t next = chain_index + 1 < BlockCount() ? chain_[chain_index + 1].number : 0;
  const uint16_t prev = chain_index > 0 ? chain_[chain_index - 1].number : 0;
  std::vector<uint8_t> buf(static_cast<size_t>(bs), 0);
  BlockHeader{next, prev, BlockHeader::SizeFor(RowsIn(chain_index), rs)}.Store(buf.data());
  std::memcpy(buf.data() + BlockHeader::kSize, data.data(), data.size());
  db_file_->Write(format::BlockOffset(header_.header_size, bs, b.number), buf.data(), buf.size());
  b.disk_next = next;
  b.disk_prev = prev;
}

void TableFamily::SpillDirty() {
  // Past the session's budget only changed blocks are left to go: this
  // family writes out its oldest ones (keeping the two it changed last) so
  // that the pool can let go of them.
  constexpr size_t kKeptDirty = 2;
  const size_t excess = (pool_.Excess() + BlockBytes() - 1) / BlockBytes();
  const size_t keep = excess ? std::max(kKeptDirty, dirty_blocks_ > excess ? dirty_blocks_ - excess : 0) : dirty_blocks_;
  if (dirty_blocks_ <= budget_blocks_ / 2 && keep >= dirty_blocks_) return;
  const size_t down_to = std::min(keep, dirty_blocks_ > budget_blocks_ / 2 ? budget_blocks_ / 4 : dirty_blocks_);
  // Into the .DB's page cache, as a flush writes them: past the committed end
  // of the file they go straight to disk, where a rollback cuts them off.
  Guarded([&] {
    for (auto it = dirty_lru_.begin(); it != dirty_lru_.end() && dirty_blocks_ > down_to;) {
      const auto at = it++;
      Cached& c = cache_.at(*at);
      WriteBlock(chain_at_[*at], *c.data);
      c.dirty = false;
      lru_.splice(lru_.end(), dirty_lru_, at);
      --dirty_blocks_;
      ++blocks_spilled;
    }
    return 0;
  });
  TrimClean(0);
}

void TableFamily::NoteFirstKey(int chain_index) {
  if (key_size_ == 0 || chain_[chain_index].ids.empty()) return;
  const Bytes data = Load(chain_index);
  std::memcpy(first_keys_.data() + static_cast<size_t>(chain_index) * key_size_, data->data(), key_size_);
}

void TableFamily::InsertFirstKey(int chain_index, const uint8_t* key) {
  if (key_size_ == 0) return;
  ReserveForGrowth(first_keys_, static_cast<size_t>(key_size_));
  const auto at = first_keys_.begin() + static_cast<long>(chain_index) * key_size_;
  if (key) first_keys_.insert(at, key, key + key_size_);
  else first_keys_.insert(at, static_cast<size_t>(key_size_), 0);
}

void TableFamily::EraseFirstKey(int chain_index) {
  if (key_size_ == 0) return;
  const auto at = first_keys_.begin() + static_cast<long>(chain_index) * key_size_;
  first_keys_.erase(at, at + key_size_);
}

void TableFamily::FreeBlock(int chain_index) {
  uint16_t n = chain_[chain_index].number;
  Drop(n);
  chain_.erase(chain_.begin() + chain_index);
  EraseFirstKey(chain_index);
  free_blocks_.insert(free_blocks_.begin(), n);
  newly_freed_.push_back(n);
  IndexChain(chain_index);
}

RowPos TableFamily::Insert(const std::vector<uint8_t>& record) {
  PrepareWrite();
  const int rs = header_.record_size;
  RowPos p{0, 0};
  if (chain_.empty()) {
    Block b;
    b.number = NewBlockNumber();
    chain_.push_back(std::move(b));
    InsertFirstKey(0, nullptr);
    IndexChain(0);
    Hold(chain_.back().number, {});
  }
  if (def_.key_field_count > 0) {
    // The last block whose first row is <= the new key.
    p.block = LastBlockBefore([&](const uint8_t* key) { return CompareKeys(key, record.data()) <= 0; });
    while (p.block > 0 && RowsIn(p.block) == 0) --p.block;
    p.block = std::max(0, p.block);
    const Bytes data = Load(p.block);  // let go of before the block changes
    int a = 0, b = RowsIn(p.block);
    while (a < b) {
      int mid = (a + b) / 2;
      if (CompareKeys(data->data() + static_cast<size_t>(mid) * rs, record.data()) < 0) a = mid + 1;
      else b = mid;
    }
    p.slot = a;
    if (a < RowsIn(p.block) && CompareKeys(data->data() + static_cast<size_t>(a) * rs, record.data()) == 0)
      Fail("Key violation");
  }
  if (def_.key_field_count == 0) {
    p = {BlockCount() - 1, RowsIn(BlockCount() - 1)};
  }
  const int rows = RowsIn(p.block);
  const bool last_block = p.block == BlockCount() - 1;
  if (rows >= Capacity()) {
    Block fresh;
    fresh.number = NewBlockNumber();
    if (last_block && p.slot == rows) {
      // Appending past a full last block starts a new block.
      const RowId id = NewId(fresh.number, 0);
      fresh.ids.Assign(id, 1);
      const uint16_t number = fresh.number;
      ReserveForGrowth(chain_, 1);
      chain_.insert(chain_.begin() + p.block + 1, std::move(fresh));
      InsertFirstKey(p.block + 1, record.data());
      IndexChain(p.block + 1);
      Hold(number, record);
      ++record_count_;
      Touch(id);
      SpillDirty();
      return {p.block + 1, 0};
    }
    // A full block splits in half.
    std::vector<uint8_t>& full = Change(p.block);
    int keep = (rows + 1) / 2;
    std::vector<uint8_t> moved(full.begin() + static_cast<long>(keep) * rs, full.end());
    full.resize(static_cast<size_t>(keep) * rs);
    fresh.ids = chain_[p.block].ids.SplitOff(static_cast<size_t>(keep));
    const uint16_t number = fresh.number;
    ReserveForGrowth(chain_, 1);
    chain_.insert(chain_.begin() + p.block + 1, std::move(fresh));
    InsertFirstKey(p.block + 1, nullptr);
    IndexChain(p.block + 1);
    Hold(number, std::move(moved));
    NoteFirstKey(p.block + 1);
    Relocate(p.block + 1, 0, true);
    if (p.slot > keep) p = {p.block + 1, p.slot - keep};
  }
  std::vector<uint8_t>& target = Change(p.block);
  // Room for a full block at once: the cache counts a block's size, not what growing one row at a time leaves.
  target.reserve(static_cast<size_t>(Capacity()) * rs);
  target.insert(target.begin() + static_cast<long>(p.slot) * rs, record.begin(), record.end());
  const RowId id = NewId(chain_[p.block].number, p.slot);
  chain_[p.block].ids.Insert(static_cast<size_t>(p.slot), id);
  // Only an append to the last block keeps the ids rising along the chain.
  if (ids_in_chain_order_ && (p.block != BlockCount() - 1 || !chain_[p.block].ids.Consecutive()))
    NoteWhereEachRowLies();
  Relocate(p.block, p.slot + 1, false);
  if (p.slot == 0) NoteFirstKey(p.block);
  ++record_count_;
  Touch(id);
  SpillDirty();
  return p;
}

void TableFamily::Erase(RowPos p) {
  PrepareWrite();
  const int rs = header_.record_size;
  // The first block takes over the rows of the next when it loses its last: read them before changing anything.
  Bytes next_rows;
  if (p.block == 0 && RowsIn(0) == 1 && BlockCount() > 1 && record_count_ > 1) next_rows = Load(1);
  std::vector<uint8_t>& data = Change(p.block);
  Block& b = chain_[p.block];
  if (indexes_written_ && !index_changes_lost_ && key_size_ > 0) {
    // Its records in the index files are named by its key.
    const auto at = data.begin() + static_cast<long>(p.slot) * rs;
    erased_keys_.insert(erased_keys_.end(), at, at + key_size_);
  }
  data.erase(data.begin() + static_cast<long>(p.slot) * rs, data.begin() + static_cast<long>(p.slot + 1) * rs);
  const RowId id = b.ids.Erase(static_cast<size_t>(p.slot));
  if (!ids_in_chain_order_) where_[id].slot = -1;
  else if (!b.ids.Consecutive()) NoteWhereEachRowLies();
  Relocate(p.block, p.slot, false);
  if (p.slot == 0) NoteFirstKey(p.block);
  --record_count_;
  if (record_count_ == 0) {
    // An empty table is a header alone, as the original engine creates it.
    chain_.clear();
    first_keys_.clear();
    // The ids to come are above every id given out: they rise along the chain again.
    ids_in_chain_order_ = true;
    where_ = {};
    DropAll();
    free_blocks_.clear();
    newly_freed_.clear();
    header_.file_blocks = 0;
    Guarded([&] {
      db_file_->Truncate(static_cast<uint64_t>(header_.header_size));
      return 0;
    });
  } else if (b.ids.empty() && BlockCount() > 1) {
    if (p.block == 0) {
      // The first block stays the head of the chain: it takes over the next block's rows.
      Change(0) = *next_rows;
      chain_[0].ids = std::move(chain_[1].ids);
      if (key_size_ > 0) std::memcpy(first_keys_.data(), FirstKey(1), key_size_);
      FreeBlock(1);
      Relocate(0, 0, true);
    } else {
      FreeBlock(p.block);
    }
  }
  Touch(id);
  SpillDirty();
}

RowPos TableFamily::Replace(RowPos p, const std::vector<uint8_t>& record) {
  PrepareWrite();
  if (def_.key_field_count > 0 && CompareKeys(Load(p.block)->data() + static_cast<size_t>(p.slot) * header_.record_size,
                                               record.data()) != 0) {
    RowPos q;
    std::vector<uint8_t> key(record.begin(), record.begin() + key_size_);
    if (LowerBound(key, q) && CompareKeys(Load(q.block)->data() + static_cast<size_t>(q.slot) * header_.record_size,
                                          record.data()) == 0)
      Fail("Key violation");
    Erase(p);
    return Insert(record);
  }
  std::vector<uint8_t>& data = Change(p.block);
  std::copy(record.begin(), record.end(), data.begin() + static_cast<long>(p.slot) * header_.record_size);
  Touch(chain_[p.block].ids[p.slot]);
  SpillDirty();
  return p;
}

void TableFamily::NoteAutoIncValue(int64_t v) {
  if (v > 0 && static_cast<uint64_t>(v) > header_.auto_inc) header_.auto_inc = static_cast<uint32_t>(v);
}

// ---- blobs ----

Blob TableFamily::ReadBlob(int field, const uint8_t* record) const {
  const int n = header_.stored_sizes[field];
  const uint8_t* f = record + header_.offsets[field];
  format::BlobLeader ref = format::ReadBlobLeader(f, n);
  if (ref.IsBlank()) return {};
  try {
    if (ref.IsExternal() && !blobs_) throw std::runtime_error("the blob file is missing");
    Blob data = blobs_ ? blobs_->Read(ref, f, n - 10) : Blob(f, f + std::min<uint32_t>(ref.length, static_cast<uint32_t>(n - 10)));
    if (!blobs_ && ref.length > static_cast<uint32_t>(n - 10)) throw std::runtime_error("blob length exceeds its leader");
    return data;
  } catch (const std::exception& e) {
    Fail(e.what(), def_.fields[field].name);
  }
}

void TableFamily::StoreBlob(int field, uint8_t* record, const Blob& data) {
  const int n = header_.stored_sizes[field];
  const int leader = n - 10;
  uint8_t* f = record + header_.offsets[field];
  std::memset(f, 0, static_cast<size_t>(n));
  if (data.empty()) return;
  std::memcpy(f, data.data(), std::min(data.size(), static_cast<size_t>(leader)));
  if (data.size() <= static_cast<size_t>(leader)) {
    format::WriteBlobLeader(f, n, {0, static_cast<uint32_t>(data.size()), 0});
    return;
  }
  PrepareWrite();
  format::BlobLeader ref = Guarded([&] { return blobs_->Write(data); });
  format::WriteBlobLeader(f, n, ref);
  dirty_ = true;
}

bool TableFamily::BlobInBlobFile(int field, const uint8_t* record) const {
  return format::ReadBlobLeader(record + header_.offsets[field], header_.stored_sizes[field]).IsExternal();
}

void TableFamily::CheckBlob(int field, const uint8_t* record) const {
  const format::BlobLeader ref = format::ReadBlobLeader(record + header_.offsets[field], header_.stored_sizes[field]);
  if (ref.IsExternal()) StoredBlobAt(field, ref);
}

uint64_t TableFamily::StoredBlobAt(int field, const format::BlobLeader& ref) const {
  try {
    if (!blobs_) throw std::runtime_error("the blob file is missing");
    return blobs_->StoredAt(ref);
  } catch (const std::exception& e) {
    Fail(e.what(), def_.fields[field].name);
  }
}

void TableFamily::StoreBlobCopy(int field, uint8_t* record, const TableFamily& source, int source_field,
                                const uint8_t* source_record) {
  const format::BlobLeader from = format::ReadBlobLeader(source_record + source.header_.offsets[source_field],
                                                         source.header_.stored_sizes[source_field]);
  // Still the blob it was when it was copied (it is read only now), located once for all its pieces.
  source.RequireUsable();
  const int n = header_.stored_sizes[field];
  const int leader = n - 10;
  uint8_t* f = record + header_.offsets[field];
  std::memset(f, 0, static_cast<size_t>(n));
  if (from.IsBlank() || from.length == 0) return;
  const uint64_t start = source.StoredBlobAt(source_field, from);
  const auto piece = [&](uint64_t at, uint8_t* buf, size_t n) { source.blobs_->ReadStored(start, from, at, buf, n); };
  const size_t kept = std::min<size_t>(from.length, static_cast<size_t>(leader));
  try {
    piece(0, f, kept);
  } catch (const std::exception& e) {
    source.Fail(e.what(), source.def_.fields[source_field].name);
  }
  if (from.length <= static_cast<uint32_t>(leader)) {
    format::WriteBlobLeader(f, n, {0, from.length, 0});
    return;
  }
  PrepareWrite();
  // A piece that cannot be read fails like a write: the unit goes back to its last flush.
  format::BlobLeader ref = Guarded([&] { return blobs_->Write(from.length, piece); });
  format::WriteBlobLeader(f, n, ref);
  dirty_ = true;
}

void TableFamily::ReleaseBlob(int field, const uint8_t* record) {
  format::BlobLeader ref = format::ReadBlobLeader(record + header_.offsets[field], header_.stored_sizes[field]);
  if (ref.IsExternal() && blobs_) blobs_->Release(ref);
}

// ---- flush ----

void TableFamily::WriteBlocks() {
  const int rs = header_.record_size;
  const int bs = header_.block_size;
  std::vector<uint8_t> buf(static_cast<size_t>(bs));
  for (int i = 0; i < BlockCount(); ++i) {
    Block& b = chain_[i];
    const uint16_t next = i + 1 < BlockCount() ? chain_[i + 1].number : 0;
    const uint16_t prev = i > 0 ? chain_[i - 1].number : 0;
    if (const auto held = cache_.find(b.number); held != cache_.end() && held->second.dirty) {
      WriteBlock(i, *held->second.data);
    } else if (b.disk_next != next || b.disk_prev != prev) {
      // The records there are as held: only the links change.
      uint8_t h[BlockHeader::kSize] = {};
      BlockHeader{next, prev, BlockHeader::SizeFor(RowsIn(i), rs)}.Store(h);
      db_file_->Write(format::BlockOffset(header_.header_size, bs, b.number), h, sizeof h);
      b.disk_next = next;
      b.disk_prev = prev;
    }
  }
  // The free list: blocks freed now are written whole, the others get their link checked.
  for (size_t i = 0; i < free_blocks_.size(); ++i) {
    uint16_t n = free_blocks_[i];
    uint16_t next = i + 1 < free_blocks_.size() ? free_blocks_[i + 1] : 0;
    uint64_t off = format::BlockOffset(header_.header_size, bs, n);
    if (std::find(newly_freed_.begin(), newly_freed_.end(), n) != newly_freed_.end()) {
      std::fill(buf.begin(), buf.end(), 0);
      BlockHeader{next, 0, static_cast<int16_t>(-rs)}.Store(buf.data());
      db_file_->Write(off, buf.data(), buf.size());
      continue;
    }
    uint8_t h[BlockHeader::kSize] = {};
    db_file_->Read(off, h, sizeof h);
    BlockHeader fh = BlockHeader::Parse(h);
    if (fh.next != next) {
      fh.next = next;
      fh.Store(h);
      db_file_->Write(off, h, sizeof h);
    }
  }
  header_.num_records = static_cast<uint32_t>(record_count_);
  header_.used_blocks = BlockCount();
  header_.first_block = chain_.empty() ? 0 : chain_.front().number;
  header_.last_block = chain_.empty() ? 0 : chain_.back().number;
  header_.first_free_block = free_blocks_.empty() ? 0 : free_blocks_.front();
  header_.BumpChangeCounter();
  header_.StoreCounters();
  db_file_->Write(0, header_.raw.data(), header_.raw.size());
}

void TableFamily::WritePrimaryIndex() {
  if (!px_file_) return;
  if (!px_loaded_) {
    format::NewTableLayout layout;
    layout.fields = header_.fields;
    layout.key_fields = def_.key_field_count;
    layout.file_version = header_.file_version;
    layout.sort_order_id = header_.sort_order_id;
    layout.table_file_name = files_.db;
    px_header_ = format::Header::Parse(format::BuildPrimaryIndexHeader(layout, 2), 0x800);
    px_loaded_ = true;
  }
  // One entry per block that holds rows, written a block of the tree at a time.
  size_t leaves = 0;
  for (int i = 0; i < BlockCount(); ++i)
    if (RowsIn(i) > 0) ++leaves;
  int at = 0;
  const auto next = [&] {
    while (RowsIn(at) == 0) ++at;
    const format::LeafEntry leaf{FirstKey(at), chain_[at].number, RowsIn(at)};
    ++at;
    return leaf;
  };
  const int bs = px_header_.block_size;
  const format::IndexTreeShape tree = format::WriteIndexTree(leaves, next, key_size_, bs, [&](int number, const uint8_t* block) {
    px_file_->Write(format::BlockOffset(px_header_.header_size, bs, number), block, static_cast<size_t>(bs));
  });
  px_header_.num_records = tree.entries;
  px_header_.used_blocks = px_header_.file_blocks = tree.block_count;
  px_header_.first_block = tree.block_count ? 1 : 0;
  px_header_.last_block = tree.block_count;
  px_header_.index_root = tree.root;
  px_header_.index_levels = tree.levels;
  px_header_.first_free_block = 0;
  px_header_.BumpChangeCounter();
  px_header_.StoreCounters();
  px_file_->Write(0, px_header_.raw.data(), px_header_.raw.size());
  const uint64_t size = static_cast<uint64_t>(px_header_.header_size) + static_cast<uint64_t>(tree.block_count) * bs;
  if (px_file_->Size() > size) px_file_->Truncate(size);
}

void TableFamily::Flush() {
  RequireUsable();
  if (!dirty_ || !journal_) return;
  Guarded([&] {
    WriteBlocks();
    WritePrimaryIndex();
    WriteSecondaryIndexes();
    if (blobs_) blobs_->PrepareCommit();
    journal_->Commit();
    return 0;
  });
  if (!secondary_.Indexes().empty()) {
    indexes_written_ = true;
    indexed_version_ = version_;
    indexed_id_limit_ = next_id_;
  }
  std::vector<RowId>().swap(moved_);
  std::vector<uint8_t>().swap(erased_keys_);
  index_changes_lost_ = false;
  for (uint16_t n : dirty_lru_) cache_.at(n).dirty = false;
  lru_.splice(lru_.end(), dirty_lru_);
  dirty_blocks_ = 0;
  TrimClean(0);
  newly_freed_.clear();
  dirty_ = index_dirty_ = false;
  load_problems_.clear();
}

}  // namespace tabulor::db
