// Units of work: several tables of one directory committed or rolled back together.
#include "db/paradox/unit_of_work.h"

#include <filesystem>

#include "db/paradox/schema_ops/lock_files.h"
#include "db/paradox/session_impl.h"

namespace tabulor::db {

void UnitState::Enlist(const std::shared_ptr<TableFamily>& family) {
  if (!open) throw EngineError("the unit of work of " + directory + " is no longer open");
  for (const auto& m : members)
    if (m == family) return;
  family->JoinUnit(journal.get());
  members.push_back(family);
}

UnitOfWork::UnitOfWork(Session& session, std::string_view database)
    : session_(session), state_(std::make_unique<UnitState>()) {
  Env& env = session.env();
  const std::string dir = session.ResolveDirectory(database);
  if (!env.DirectoryExists(dir)) throw EngineError("The directory " + dir + " of database " + std::string(database) + " does not exist");
  auto& units = session.impl_->units;
  if (units.count(dir)) throw EngineError("A unit of work is already open on " + dir);
  // The tables open for writing are checked before anything of the unit changes.
  for (const auto& [path, weak] : session.impl_->families) {
    std::shared_ptr<TableFamily> family = weak.lock();
    if (!family || family->Directory() != dir || family->ReadOnly()) continue;
    locks::RequireNotHeldElsewhere(env, dir, path.substr(path.find_last_of('/') + 1));
  }
  try {
    storage::UnitJournal::RecoverAbandoned(env, dir);
    state_->journal = std::make_unique<storage::UnitJournal>(env, dir);
  } catch (const std::exception& e) {
    throw EngineError("A unit of work cannot begin in " + dir + ": " + e.what());
  }
  state_->directory = dir;
  state_->open = true;
  units[dir] = state_.get();
}

UnitOfWork::~UnitOfWork() {
  try {
    Abandon();
  } catch (...) {
    // The unit journal stays: the next open of one of its tables rolls the unit back.
  }
}

bool UnitOfWork::IsOpen() const { return state_->open; }

void UnitOfWork::RequireOpen() const {
  if (!state_->open) throw EngineError("The unit of work is not open (it was committed or abandoned)");
}

void UnitOfWork::NoteCreatedFile(const std::string& path) { NoteCreatedFiles({path}); }

void UnitOfWork::NoteCreatedFiles(const std::vector<std::string>& paths) {
  RequireOpen();
  if (paths.empty()) return;
  std::vector<std::string> absolute;
  absolute.reserve(paths.size());
  for (const std::string& path : paths) absolute.push_back(std::filesystem::absolute(path).lexically_normal().string());
  try {
    state_->journal->AddCreatedFiles(absolute);
  } catch (const std::exception& e) {
    throw EngineError("The unit of work cannot note the file " + paths.front() +
                      (paths.size() > 1 ? " and " + std::to_string(paths.size() - 1) + " others" : "") + ": " +
                      e.what());
  }
}

void UnitOfWork::End() {
  state_->open = false;
  session_.impl_->units.erase(state_->directory);
  state_->members.clear();
  state_->journal.reset();
}

void UnitOfWork::Commit() {
  RequireOpen();
  try {
    for (const auto& family : state_->members) family->Flush();
    for (const auto& family : state_->members) family->SyncUnitWrites();
    state_->journal->Commit();
  } catch (const std::exception& e) {
    const std::string why = e.what();
    try {
      Abandon();
    } catch (...) {
      // Left for the next open, which rolls the unit back.
    }
    throw EngineError("The unit of work was abandoned, every table of it is as before it: " + why);
  }
  for (const auto& family : state_->members) family->FinishUnit();
  End();
}

void UnitOfWork::Abandon() {
  if (!state_->open) return;
  for (const auto& family : state_->members) family->AbandonUnit();
  state_->open = false;
  session_.impl_->units.erase(state_->directory);
  state_->members.clear();
  try {
    state_->journal->RollBack();
  } catch (const std::exception& e) {
    state_->journal.reset();
    throw EngineError("The unit of work could not be rolled back now (" + std::string(e.what()) +
                      "); its tables are rolled back when they are next opened");
  }
  End();
}

}  // namespace tabulor::db
