#pragma once
// The journal of a unit of work over several tables of one directory (its
// "super-journal"). It lists, each line synced before the change it announces,
// the rollback journal of every table the unit writes and every file outside
// the tables that the unit creates. Each member journal names it. Removing it
// is the unit's commit point: a member journal whose unit journal is gone
// belongs to a committed unit and is simply deleted; while it exists, the
// next open of any member rolls every member back and removes the noted files.
#include <string>
#include <vector>

#include "db/paradox/env.h"

namespace tabulor::db::storage {

class UnitJournal {
 public:
  // Creates and syncs a new, empty unit journal in `directory`.
  UnitJournal(Env& env, std::string directory);
  ~UnitJournal();
  UnitJournal(const UnitJournal&) = delete;
  UnitJournal& operator=(const UnitJournal&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& Directory() const { return directory_; }

  // Durably notes a member's journal, before that journal is created.
  void AddMember(const std::string& journal_name);
  // Durably notes a file the unit is about to create.
  void AddCreatedFile(const std::string& path);
  // Durably notes files the unit may create, in one write.
  void AddCreatedFiles(const std::vector<std::string>& paths);
  // The commit point: the unit journal is removed.
  void Commit();
  // Rolls every member back from its journal and removes the noted files, then the unit journal.
  void RollBack();

  // Whether a unit journal (a path) belongs to a unit still open in this process.
  static bool IsLive(const std::string& path);
  static bool IsUnitJournalName(const std::string& file_name);
  // Rolls back, from the disk alone, the unit of a unit journal left by a writer that died.
  static void Recover(Env& env, const std::string& directory, const std::string& name);
  // Recovers every unit journal of the directory that no unit of this process holds.
  static void RecoverAbandoned(Env& env, const std::string& directory);

 private:
  void Append(const std::string& line);
  std::string Path() const { return directory_ + "/" + name_; }
  Env& env_;
  std::string directory_;
  std::string name_;
  std::unique_ptr<File> file_;
  uint64_t size_ = 0;
};

}  // namespace tabulor::db::storage
