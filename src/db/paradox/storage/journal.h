#pragma once
// The rollback journal of one table family. A transaction starts with a
// journal header naming every file and its committed size (synced before the
// first byte of any file changes); the commit appends the original contents
// of every committed range about to change, syncs, writes the files, syncs
// them, and deletes the journal. Whatever moment a writer dies, rolling back
// a journal left behind restores the state of the last completed commit.
#include <memory>
#include <string>
#include <vector>

#include "db/paradox/env.h"
#include "db/paradox/storage/paged_file.h"

namespace tabulor::db::storage {

class Journal {
 public:
  Journal(Env& env, std::string directory, std::string journal_name);

  // The files of the family, by their names in the directory.
  void AddFile(PagedFile* file, std::string name);

  bool Active() const { return active_; }
  // Writes and syncs the journal header; idempotent within a transaction.
  void Begin();
  // Makes every pending change durable, atomically.
  void Commit();

  // Restores the last committed state from a journal left in `directory`
  // (no-op when there is none). Returns true when one was found.
  static bool Recover(Env& env, const std::string& directory, const std::string& journal_name);

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
  std::unique_ptr<File> journal_;
  uint64_t journal_size_ = 0;
};

}  // namespace tabulor::db::storage
