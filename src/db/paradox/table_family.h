#pragma once
// The open files of one table (.DB, .PX, .MB) shared by every cursor on it.
// What each data block of the chain holds is known in memory (its number, row
// count, links, first key and the ids of its rows); the records themselves are
// read from the .DB on demand into a block cache of bounded size. Changed
// blocks leaving the cache are written into the .DB's page cache, which keeps
// them back from the committed file until a flush commits everything
// atomically through the family's rollback journal.
#include <compare>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "db/paradox/block_cache_pool.h"
#include "db/paradox/block_ids.h"
#include "db/paradox/chunked_array.h"
#include "db/paradox/env.h"
#include "db/paradox/format/blob_file.h"
#include "db/paradox/format/block.h"
#include "db/paradox/format/codepage.h"
#include "db/paradox/format/header.h"
#include "db/paradox/frozen_chain.h"
#include "db/paradox/index/family_indexes.h"
#include "db/paradox/storage/journal.h"
#include "db/paradox/storage/paged_file.h"
#include "db/paradox/storage/unit_journal.h"
#include "db/paradox/types.h"

namespace tabulor::db {

struct RowPos {
  int block = 0;  // index in the chain
  int slot = 0;   // record in the block
  bool operator==(const RowPos&) const = default;
  auto operator<=>(const RowPos&) const = default;  // chain order
};

// The bytes of one record as read from the block cache. The handle keeps the
// block's bytes alive, whatever the cache drops meanwhile: the pointer it gives
// is valid for as long as the handle lives (never take it from a temporary).
// A change of the table through the family leaves the handle on the bytes as
// they were.
class RowBytes {
 public:
  RowBytes() = default;
  RowBytes(std::shared_ptr<const std::vector<uint8_t>> block, const uint8_t* at) : block_(std::move(block)), at_(at) {}
  // Bytes owned elsewhere (a cursor's edit buffer).
  explicit RowBytes(const uint8_t* unowned) : at_(unowned) {}
  const uint8_t* data() const& { return at_; }
  const uint8_t* data() const&& = delete;
  operator const uint8_t*() const& { return at_; }
  operator const uint8_t*() const&& = delete;
  explicit operator bool() const { return at_ != nullptr; }

 private:
  std::shared_ptr<const std::vector<uint8_t>> block_;
  const uint8_t* at_ = nullptr;
};

// A row's identity (RowId, block_ids.h) while it lives: it stays the same
// when an insert or a delete moves the row within its block or to another block.

// The files of a table found in a directory, whatever the case of their names.
struct FamilyFiles {
  std::string directory;
  std::string db;  // file names inside the directory; empty when absent
  std::string px;
  std::string mb;
  std::vector<std::string> secondary;  // .Xnn .Ynn .XGn .YGn
  std::string BaseName() const { return db.substr(0, db.size() - 3); }
  std::string Path(const std::string& name) const { return directory + "/" + name; }
  static FamilyFiles Find(Env& env, const std::string& directory, const std::string& table_file);
};

class TableFamily : private BlockCachePool::Member {
 public:
  // `name` is the table's name for messages. Rolls back a journal left by a
  // writer that died. Throws EngineError.
  // `open_blob_file` false leaves the .MB unread, for changes that keep blob references as they are.
  // `pool`: the budget the family's block cache shares with the other families of its session (none: its own alone).
  TableFamily(std::shared_ptr<Env> env, const FamilyFiles& files, std::string name, bool read_only,
              bool open_blob_file = true, std::shared_ptr<BlockCachePool> pool = nullptr);
  ~TableFamily();

  bool exclusive = false;  // held by one cursor opened exclusively

  const std::string& Name() const { return name_; }
  const std::string& Path() const { return path_; }
  const format::Header& Header() const { return header_; }
  const TableDef& Definition() const { return def_; }
  const format::CodePage& Codec() const { return *codec_; }
  int RecordSize() const { return header_.record_size; }
  int KeySize() const { return key_size_; }
  // Bytes of the first `fields` fields of a record.
  int PrefixSize(int fields) const;

  // Changes with every insert, update or delete (cursors re-find their row).
  uint64_t Version() const { return version_; }
  int64_t RecordCount() const { return record_count_; }
  int BlockCount() const { return frozen_ ? frozen_->Count() : static_cast<int>(chain_.size()); }
  int RowsIn(int block) const { return frozen_ ? frozen_->Rows(block) : static_cast<int>(chain_[block].ids.size()); }
  // Reads the block into the cache when it is not held there.
  RowBytes Row(RowPos p) const {
    auto data = Load(p.block);
    const uint8_t* at = data->data() + static_cast<size_t>(p.slot) * header_.record_size;
    return {std::move(data), at};
  }
  RowId IdAt(RowPos p) const {
    return frozen_ ? frozen_->FirstId(p.block) + static_cast<RowId>(p.slot) : chain_[p.block].ids[p.slot];
  }
  bool Alive(RowId id) const {
    if (ids_in_chain_order_) return FindInChainOrder(id).slot >= 0;
    return id < where_.size() && where_[id].slot >= 0;
  }
  RowPos PosOf(RowId id) const {
    if (ids_in_chain_order_) return FindInChainOrder(id);
    return {chain_at_[where_[id].block_number], where_[id].slot};
  }
  // Ids below this were given out; a row inserted later gets a higher one.
  RowId IdLimit() const { return next_id_; }
  // Adds the ids of the rows inserted, changed or deleted after `version`, in
  // the order of the changes; false when the record of changes no longer reaches back that far.
  bool ChangedSince(uint64_t version, std::vector<RowId>& ids) const;

  // First position, and the one after `p`; false at the end.
  bool First(RowPos& p) const;
  bool Next(RowPos& p) const;
  bool Prior(RowPos& p) const;
  bool Last(RowPos& p) const;
  // Keyed tables: first row whose leading `prefix.size()` key bytes are >= prefix.
  bool LowerBound(const std::vector<uint8_t>& prefix, RowPos& p) const;
  // Unkeyed search for a record with these exact bytes.
  bool FindIdentical(const uint8_t* record, RowPos& p) const;

  // Keyed tables keep key order and refuse a second row with the same key.
  RowPos Insert(const std::vector<uint8_t>& record);
  RowPos Replace(RowPos p, const std::vector<uint8_t>& record);
  void Erase(RowPos p);
  uint32_t NextAutoInc() { return ++header_.auto_inc; }
  void NoteAutoIncValue(int64_t v);

  // The blob a record's field refers to (M and F give the text's bytes).
  Blob ReadBlob(int field, const uint8_t* record) const;
  // Stores the blob in the field of `record` (in the leader when it fits).
  void StoreBlob(int field, uint8_t* record, const Blob& data);
  // Releases the blob of the field (at the next flush).
  void ReleaseBlob(int field, const uint8_t* record);
  // Whether the field's blob lies in the blob file rather than in the record.
  bool BlobInBlobFile(int field, const uint8_t* record) const;
  // The checks ReadBlob makes, without reading the blob: fails as ReadBlob would.
  void CheckBlob(int field, const uint8_t* record) const;
  // Stores as StoreBlob does the blob that `source_record`'s field of `source`
  // refers to (the same bytes, as stored), read from its blob file a piece at a
  // time: the blob is never held whole.
  void StoreBlobCopy(int field, uint8_t* record, const TableFamily& source, int source_field,
                     const uint8_t* source_record);

  // Opens the files for writing and creates a missing .MB; called before the
  // first change. Throws EngineError when the table cannot be written.
  void PrepareWrite();

  // The name of the primary index file a keyed table lacks; empty when the
  // table is unkeyed or has it. The key is in the .DB header, so a keyed
  // table without its .PX is damaged, not unkeyed.
  std::string MissingPrimaryIndex() const;
  // Refuses writing to or restructuring a keyed table whose .PX is missing.
  void RequirePrimaryIndexFile() const;

  bool HasChanges() const { return dirty_; }
  void Flush();
  // A write failed or its unit of work was abandoned: the family must not be used again.
  bool Broken() const { return broken_ || abandoned_; }

  const std::string& Directory() const { return files_.directory; }
  bool ReadOnly() const { return read_only_; }
  // The next flushes belong to a unit of work: durable but undoable until it
  // ends. Checks first that the table can be written. Pending changes are flushed on their own before.
  void JoinUnit(storage::UnitJournal* unit);
  bool InUnit() const { return journal_ && journal_->InUnit(); }
  // The unit's flushes made durable in the table's files, before the unit commits.
  void SyncUnitWrites();
  // The unit committed: the family is back to flushing on its own.
  void FinishUnit();
  // The unit is rolled back on disk: what the family holds is stale, every use is refused.
  void AbandonUnit();
  bool Abandoned() const { return abandoned_; }

  // The rows in chain order with their block numbers, for the secondary
  // indexes: handed out one block at a time through the block cache.
  index::TableRows Rows() const;

  // The block cache of each family: how many bytes of records it holds at
  // most besides the blocks in use, for every family opened later (the tests
  // make it small), and what the families did since it was set. The families
  // of a session also share the budget of its BlockCachePool.
  static void SetDefaultCacheBudget(size_t bytes);
  static size_t DefaultCacheBudget();
  struct CacheCounters {
    size_t most_held = 0;  // blocks one family held at once
    uint64_t reads = 0;    // blocks read from the .DB files
    uint64_t spills = 0;   // changed blocks written out before their flush
  };
  static CacheCounters Counters();
  const std::vector<index::IndexFiles>& SecondaryIndexes() const { return secondary_.Indexes(); }
  // Refuses a record whose key a unique secondary index already holds in
  // another row than `replaced` (the row being edited, or nullptr).
  void CheckUniqueIndexes(const std::vector<uint8_t>& record, const uint8_t* replaced) const;

  // Searches in the order of a secondary index that read its files as this
  // family's last flush wrote them, with the rows changed since, instead of
  // keys held for every row: possible once the family has written the index
  // files of a keyed table whose indexes are all maintained, while its record
  // of changes reaches back to that write.
  bool IndexFilesSearchable() const;
  // The first row in the order of index `secondary` whose key starts with the
  // `bytes` leading bytes of `key` (in KeyLayout::IndexedPart's form); false when none.
  bool FirstWithKey(int secondary, const uint8_t* key, int bytes, RowPos& found) const;
  // How many searches and unique tests the index files served so far (for the tests).
  static uint64_t IndexFileSearches();

  // Problems of structure, order, index and blob references; empty when sound.
  std::vector<std::string> Verify();
  std::vector<std::string> VerifySecondaryIndexes() const;

  [[noreturn]] void Fail(const std::string& message, const std::string& field = {}) const;
  // Refuses the use of a family after a failed write or an abandoned unit.
  void RequireUsable() const;

 private:
  // A block of the chain as memory knows it; its records are in the cache.
  struct Block {
    uint16_t number = 0;
    uint16_t disk_next = 0, disk_prev = 0;  // the links the .DB's page cache holds for it
    BlockIds ids;                           // of the records, in their order
  };
  using Bytes = std::shared_ptr<std::vector<uint8_t>>;
  struct Cached {
    Bytes data;  // the records, contiguous; null when not held
    std::list<uint16_t>::iterator lru;  // in lru_ when clean, in dirty_lru_ when dirty
    bool dirty = false;  // changed since it was last written into the .DB's page cache
    uint64_t used = 0;   // the pool's mark of its last use
  };
  // The records of the block at a chain index, read in when not held.
  Bytes Load(int chain_index) const;
  // The same, to be changed: marked dirty, copied first when a RowBytes still shows it.
  std::vector<uint8_t>& Change(int chain_index);
  // A new block, empty and dirty.
  void Hold(uint16_t number, std::vector<uint8_t> data);
  void Drop(uint16_t number) const;
  void DropAll();
  // Lets go of clean blocks no RowBytes shows, oldest first, down to the budget.
  void TrimClean(uint16_t keep) const;
  // The clean block no RowBytes shows that was used least recently, for the pool.
  const uint16_t* OldestClean() const;
  bool OldestReleasable(uint64_t& used) const override;
  void ReleaseOldest() const override;
  size_t BlockBytes() const { return static_cast<size_t>(header_.block_size); }
  // Writes the oldest dirty blocks into the .DB's page cache when too many are
  // held; called at the end of each change (never in the middle of one).
  void SpillDirty();
  void WriteBlock(int chain_index, const std::vector<uint8_t>& data);
  void NoteFirstKey(int chain_index);
  // The number of the block at a chain index.
  uint16_t NumberAt(int chain_index) const { return frozen_ ? frozen_->Number(chain_index) : chain_[chain_index].number; }
  // Keyed tables: the first record's key of the block at a chain index (meaningless when it has no rows).
  const uint8_t* FirstKey(int chain_index) const {
    if (frozen_) return frozen_->KeyAt(chain_index);
    return first_keys_.data() + static_cast<size_t>(chain_index) * static_cast<size_t>(key_size_);
  }
  std::vector<uint8_t> FirstKeyCopy(int chain_index) const {
    return {FirstKey(chain_index), FirstKey(chain_index) + key_size_};
  }
  // A block entered the chain at `chain_index` (its first key `key`, or zeros), or left it.
  void InsertFirstKey(int chain_index, const uint8_t* key);
  void EraseFirstKey(int chain_index);
  // The last chain index whose first key (an empty block: that of the block
  // before it) satisfies `before`; -1 when none.
  template <typename Pred>
  int LastBlockBefore(Pred before) const;
  void LoadBlocks();
  void OpenPrimaryIndex();
  // A problem of the .PX, named by its file.
  std::string PrimaryIndexProblem(const std::string& what) const { return "primary index " + files_.px + ": " + what; }
  void OpenBlobFile();
  // Where the bytes of the field's stored blob start; fails as CheckBlob does.
  uint64_t StoredBlobAt(int field, const format::BlobLeader& ref) const;
  void ReadSecondaryIndexDefs();
  void LoadSecondaryIndexes();
  void WriteSecondaryIndexes();
  uint16_t NewBlockNumber();
  void FreeBlock(int chain_index);
  int Capacity() const { return (header_.block_size - format::BlockHeader::kSize) / header_.record_size; }
  int CompareKeys(const uint8_t* a, const uint8_t* b) const;
  void WriteBlocks();
  void WritePrimaryIndex();
  // Runs a change of the files; an I/O failure rolls them back and breaks the family.
  template <typename F>
  auto Guarded(F&& f) -> decltype(f());
  void Touch(RowId changed);
  RowId NewId(uint16_t block_number, int slot);
  // Notes where the rows of a block from `slot` on now lie.
  // `from_another_block`: they came from another block (the index files name the block).
  void Relocate(int chain_index, int from_slot, bool from_another_block);
  // The position of a row while the ids rise along the chain (slot -1: no such row).
  RowPos FindInChainOrder(RowId id) const;
  // The ids no longer rise along the chain: where each row lies is noted row by row.
  void NoteWhereEachRowLies();
  void IndexChain(int from = 0);  // after blocks entered or left the chain at `from` or later

  std::shared_ptr<Env> env_;
  FamilyFiles files_;
  std::string name_;
  std::string path_;
  bool read_only_;
  format::Header header_;
  TableDef def_;
  std::unique_ptr<format::CodePage> codec_;
  int key_size_ = 0;

  std::unique_ptr<storage::PagedFile> db_file_;
  std::unique_ptr<storage::PagedFile> px_file_;
  std::unique_ptr<storage::PagedFile> mb_file_;
  format::Header px_header_;
  bool px_loaded_ = false;
  std::unique_ptr<format::BlobFile> blobs_;
  std::unique_ptr<storage::Journal> journal_;
  index::FamilyIndexes secondary_;

  std::vector<Block> chain_;
  std::vector<uint8_t> first_keys_;  // keyed tables: KeySize() bytes for each block of the chain, in its order
  // A read-only family's chain, in a temporary file in place of chain_ and
  // first_keys_ (its rows' ids rise along it); back in memory should the
  // family be written after all.
  std::unique_ptr<FrozenChain> frozen_;
  void Thaw();
  mutable std::unordered_map<uint16_t, Cached> cache_;  // the blocks held, by number
  // The held blocks, least recently used first: the clean ones, which the
  // cache may let go of, and the dirty ones, written out oldest first.
  mutable std::list<uint16_t> lru_, dirty_lru_;
  mutable size_t held_blocks_ = 0;
  mutable size_t dirty_blocks_ = 0;
  size_t budget_blocks_ = 0;
  mutable BlockCachePool::Membership pool_;
  std::vector<uint16_t> free_blocks_;   // the free list, head first
  std::vector<uint16_t> newly_freed_;   // to be written at the next flush
  int64_t record_count_ = 0;
  uint64_t version_ = 0;
  // Where each row lies. While every block holds consecutive ids and they
  // rise along the chain (the rows read from the file, rows appended at its
  // end), a row is found among the blocks by its id and nothing is kept per
  // row. The first change that breaks that order (a row inserted or deleted
  // inside a block) notes where each row id lies (slot -1: deleted), 4 bytes
  // per row ever held (a block of 32 KiB holds fewer than 32,768 records);
  // and the chain index of each block number.
  bool ids_in_chain_order_ = true;
  RowId next_id_ = 0;
  struct Where {
    uint16_t block_number;
    int16_t slot;
  };
  ChunkedArray<Where> where_;
  std::vector<uint16_t> chain_at_;  // chain indexes stay below 65,535, as block numbers do
  // The rows each recent change touched, oldest first: every change makes a
  // version, so the change at place i made version changes_from_ + i + 1. The
  // oldest half goes when the record outgrows its bound (4 bytes a change).
  std::vector<RowId> changes_;
  uint64_t changes_from_ = 0;  // every change after this version is recorded
  // The keys of the unique secondary indexes, brought in step with the rows
  // from the record of changes before each test of a new key.
  struct UniqueKeys;
  mutable std::shared_ptr<UniqueKeys> unique_keys_;
  UniqueKeys& UniqueKeysInStep() const;
  // What the searches through each index's files know (made at its first
  // search): the files' headers and the rows changed since they were written.
  struct WrittenIndex;
  mutable std::vector<std::shared_ptr<WrittenIndex>> written_indexes_;
  WrittenIndex& WrittenIndexInStep(int secondary) const;
  // CheckUniqueIndexes, searching the index files.
  void CheckUniqueInWrittenIndexes(const std::vector<uint8_t>& record, const uint8_t* replaced) const;
  // Whether an X record names a row that has not changed since the files were written, and where it is.
  bool Unchanged(const WrittenIndex& w, const uint8_t* x_record, RowPos& at) const;
  // What the secondary index files were last written from: the version of the
  // rows, the rows moved to another block since (their records name the
  // block) and the keys of the rows deleted since (keyed tables). Until the
  // first write, or when the record of changes does not reach back, a flush
  // builds the index files from every row.
  bool indexes_written_ = false;
  uint64_t indexed_version_ = 0;
  RowId indexed_id_limit_ = 0;  // the rows added since have no record in the files
  std::vector<RowId> moved_;
  std::vector<uint8_t> erased_keys_;
  bool index_changes_lost_ = false;
  void NoteIndexMove(RowId id);
  bool IndexChangesSinceWrite(index::IndexChanges& changes) const;
  bool dirty_ = false;
  bool index_dirty_ = false;
  bool broken_ = false;
  bool abandoned_ = false;
  std::vector<std::string> load_problems_;
};

}  // namespace tabulor::db
