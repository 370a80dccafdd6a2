#pragma once
// An Env that counts the changes a writer makes to the disk and stops it at
// the Nth one: killed there (a torn write, then the process ends as with
// kill -9; only for a forked child), or with that one change failing as on a
// full disk while the others go through. Syncs are counted as changes but
// not made: they guard against a power cut, which these faults are not.
#include <functional>
#include <memory>

#include "db/paradox/env.h"

namespace tabulor::upgrade::testing {

class FaultEnv : public db::Env {
 public:
  enum class Mode { kCount, kKill, kFail };
  FaultEnv(Mode mode, int fault_at) : mode_(mode), fault_at_(fault_at) {}

  int changes() const { return changes_; }
  bool fired() const { return fired_; }

  // Before each change; `torn_write` is called first when the process is killed there.
  void Change(const std::function<void()>& torn_write = {});

  std::unique_ptr<db::File> Open(const std::string& path, db::OpenMode mode) override;
  bool FileExists(const std::string& path) override { return base_->FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return base_->DirectoryExists(path); }
  std::vector<std::string> ListDirectory(const std::string& dir) override { return base_->ListDirectory(dir); }
  void Rename(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override;
  void CreateDirectory(const std::string& path) override;
  void SyncDirectory(const std::string& dir) override;

 private:
  std::shared_ptr<db::Env> base_ = db::Env::Default();
  Mode mode_;
  int fault_at_;
  int changes_ = 0;
  bool fired_ = false;
};

}  // namespace tabulor::upgrade::testing
