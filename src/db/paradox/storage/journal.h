#pragma once
// The rollback journal of one table family. A transaction starts with a
// journal header naming every file and its committed size (synced before the
// first byte of any file changes); the commit appends the original contents
// of every committed range about to change, syncs, writes the files, syncs
// them, and deletes the journal. Whatever moment a writer dies, rolling back
// a journal left behind restores the state of the last completed commit.
//
// Inside a unit of work the journal outlives the flushes: its header holds the
// sizes from before the unit and names the unit journal; each flush appends
// the original contents of the pages it is the first to change since the unit
// began, and writes the files; the journal is deleted only once the unit
// committed (or rolled back).
#include <memory>
#include <string>
#include <vector>

#include "db/paradox/env.h"
#include "db/paradox/storage/paged_file.h"

namespace tabulor::db::storage {

class UnitJournal;

class Journal {
 public:
  Journal(Env& env, std::string directory, std::string journal_name);

  // The files of the family, by their names in the directory.
  void AddFile(PagedFile* file, std::string name);

  bool Active() const { return active_; }
  // Writes and syncs the journal header; idempotent within a transaction.
  void Begin();
  // Makes every pending change durable, atomically (inside a unit: durable, still undoable).
  void Commit();

  // Makes the unit's flushes durable in the files themselves; their undo was
  // durable in the journal from the start. Called before the unit commits.
  void SyncUnitFiles();

  // The next changes belong to the unit (called between transactions).
  void JoinUnit(UnitJournal* unit);
  bool InUnit() const { return unit_ != nullptr; }
  // The unit committed: the journal is deleted.
  void FinishUnit();
  // The unit is being rolled back from the disk: the journal is let go of, unread.
  void LeaveUnit();

  // Restores the last committed state from a journal left in `directory`
  // (no-op when there is none). Returns true when one was found. A journal of
  // a unit that committed is deleted; one of a unit that did not rolls the
  // whole unit back. Throws std::runtime_error for the journal of a unit
  // still open in this process.
  static bool Recover(Env& env, const std::string& directory, const std::string& journal_name);
  // Rolls one journal back, whatever unit it belongs to (no-op when there is none).
  static void RollBack(Env& env, const std::string& directory, const std::string& journal_name);

  static std::string NameFor(const std::string& table_file_name) { return table_file_name + ".journal"; }

 private:
  struct Entry {
    PagedFile* file;
    std::string name;
  };
  std::string JournalPath() const { return directory_ + "/" + name_; }
  Env& env_;
  std::string directory_;
  std::string name_;
  std::vector<Entry> files_;
  bool active_ = false;
  UnitJournal* unit_ = nullptr;
  std::unique_ptr<File> journal_;
  uint64_t journal_size_ = 0;
};

}  // namespace tabulor::db::storage
