#pragma once
// An atomic change over several tables of one database.
//
// Every table of the database that the session writes while the unit is open
// joins it at its first change (Append, Edit or Delete). Its flushes (explicit,
// or by closing the table) write the files and keep the original contents of
// what they overwrite in the table's rollback journal, which names the unit's
// own journal; so memory holds no more than it does outside a unit, whatever
// the unit writes. Commit flushes every table of the unit and then removes the
// unit's journal: that one step moves every table to its new state. Until
// then a kill, a failed write or a full disk leaves every table as before the
// unit, once the next open of any of them (or `tabulor-db verify`) rolled the
// whole unit back; a kill after that step leaves them all in their new state.
//
// Lookups inside the unit (any cursor of the session) see its rows. After
// Abandon, or a Commit that failed (which abandons the unit), the tables are
// back on disk as before the unit and every cursor still open on one of them
// is stale: any use of it other than Close throws EngineError; close it and
// open the table again. A write that fails inside a unit leaves the unit to
// be abandoned: Commit then refuses and abandons it.
//
// A table another program holds (lock files) or that cannot be written is
// refused when it joins, before anything of it changes; the tables the session
// already has open for writing when the unit begins are checked for lock files
// then. Tables written outside any unit keep their own atomic flush.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/paradox/engine.h"

namespace tabulor::db {

struct UnitState;

class UnitOfWork {
 public:
  // Begins a unit over the tables of `database` (database name, alias or directory) that this
  // session writes until Commit or Abandon: their flushes land on disk but stay undoable together.
  UnitOfWork(Session& session, std::string_view database);
  ~UnitOfWork();          // abandons a unit still open; never throws
  UnitOfWork(const UnitOfWork&) = delete;
  UnitOfWork& operator=(const UnitOfWork&) = delete;
  void Commit();          // flushes every open table of the unit, then every table moves to its new state together
  void Abandon();         // every table of the unit back as before it; files noted below are removed
  // A file outside the tables that the unit creates (a copied letter or video): noted durably
  // before the caller creates it, removed when the unit is abandoned or rolled back after a crash.
  void NoteCreatedFile(const std::string& path);
  // The same for several files in one durable write; a noted file the caller
  // never creates is simply not there to remove.
  void NoteCreatedFiles(const std::vector<std::string>& paths);
  bool IsOpen() const;

 private:
  void RequireOpen() const;
  void End();
  Session& session_;
  std::unique_ptr<UnitState> state_;
};

}  // namespace tabulor::db
