#pragma once
// A file seen through a write-back cache of 4 KiB pages, for the rollback
// journal: bytes the last committed state holds are only changed at commit,
// after their original contents are safe in the journal; bytes past the
// committed end of file are written through at once, since a rollback simply
// cuts the file back to its committed size. Inside a unit of work the same
// holds of the pages past the file's size before the unit and of the pages
// an earlier flush of the unit saved in the journal: only the pages first
// changed since the unit began are held back.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "db/paradox/env.h"

namespace tabulor::db::storage {

struct ByteRange {
  uint64_t offset;
  uint64_t length;
};

class PagedFile {
 public:
  static constexpr uint64_t kPageSize = 4096;

  PagedFile(std::unique_ptr<File> file, std::string path);

  const std::string& path() const { return path_; }
  // Called before the first change of a transaction (starts the journal).
  void SetBeforeChange(std::function<void()> hook) { before_change_ = std::move(hook); }

  size_t Read(uint64_t offset, void* buf, size_t n);
  void Write(uint64_t offset, const void* buf, size_t n);
  uint64_t Size() const { return size_; }
  void Truncate(uint64_t size);

  bool HasChanges() const { return changed_; }
  uint64_t CommittedSize() const { return committed_size_; }
  // The ranges of committed bytes that the pending commit will overwrite or cut off
  // (inside a unit: the whole pages of the file as it was before the unit that
  // no earlier flush of the unit journaled).
  std::vector<ByteRange> RangesToJournal() const;
  // Their original contents are safe in the journal.
  void MarkJournaled(const std::vector<ByteRange>& ranges);
  // A unit of work begins (its undo covers the file as it is now) or ends.
  void BeginUnit();
  void EndUnit();
  // Reads committed bytes straight from the file (for the journal).
  void ReadCommitted(uint64_t offset, void* buf, size_t n);
  // Writes the cached pages and the new size into the file, and syncs it
  // unless `sync` is false (a unit's flush: the sync waits for SyncWritten).
  void WriteBack(bool sync = true);
  // Syncs what WriteBack wrote without syncing.
  void SyncWritten();
  // The transaction is over (committed, or rolled back on disk): forget the cache.
  void EndTransaction();
  File& file() { return *file_; }
  // For a file nothing writes while it is open: small reads that move forward
  // through it are served from a window read ahead of them, so a table read
  // block after block, or a blob file header after header, costs a read per
  // window rather than per block.
  void ReadAhead() { read_ahead_ = true; }

 private:
  static constexpr size_t kWindow = 32 * 1024;
  // Reads bytes of the file itself (not the cached pages), through the window.
  size_t ReadFile(uint64_t pos, uint8_t* out, size_t n);
  std::vector<uint8_t>& CachedPage(uint64_t index);
  bool SameAsCurrent(uint64_t offset, const void* buf, size_t n);
  bool WritesThrough(uint64_t page_index) const;
  std::unique_ptr<File> file_;
  std::string path_;
  std::function<void()> before_change_;
  std::map<uint64_t, std::vector<uint8_t>> pages_;
  uint64_t size_;
  uint64_t committed_size_;
  bool changed_ = false;
  bool in_unit_ = false;
  bool unsynced_ = false;
  uint64_t unit_base_size_ = 0;
  std::set<uint64_t> journaled_pages_;  // pages below unit_base_size_ already in the journal
  bool read_ahead_ = false;
  std::vector<uint8_t> window_;
  uint64_t window_at_ = 0;
  size_t window_len_ = 0;
  uint64_t last_small_read_ = UINT64_MAX;
};

}  // namespace tabulor::db::storage
