#pragma once
// An Env that stops a writer at its Nth change to the disk: either it "dies"
// there (the write is torn and nothing after it reaches the disk, as with
// kill -9), or the power is cut there (the same, and besides every file loses
// what was written to it since it was last synced), or that one operation
// fails (as with a full disk) and the rest go on.
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "db/paradox/env.h"

namespace tabulor::db::testing {

struct InjectedFault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class FaultEnv : public Env {
 public:
  enum class Mode { kCount, kKill, kPowerCut, kFail };
  FaultEnv(Mode mode, int fault_at) : mode_(mode), fault_at_(fault_at) {}

  int operations() const { return operations_; }
  bool fired() const { return fired_; }

  // Called before each change; throws at the chosen one. `torn` is set when
  // the caller should write part of its bytes before throwing.
  void Step(bool* torn = nullptr);
  void CheckAlive() const {
    if (dead_) throw InjectedFault("the writer is dead");
  }
  // What the power cut keeps of a file: its contents when it was last synced
  // (or first opened here). Names, creations and removals are not undone.
  void Opened(const std::string& path);
  void Written(const std::string& path);
  void Synced(const std::string& path);

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override;
  bool FileExists(const std::string& path) override { return Env::Default()->FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return Env::Default()->DirectoryExists(path); }
  std::vector<std::string> ListDirectory(const std::string& dir) override { return Env::Default()->ListDirectory(dir); }
  void Rename(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override;
  void CreateDirectory(const std::string& path) override;
  void SyncDirectory(const std::string& dir) override;

 private:
  Mode mode_;
  int fault_at_;
  int operations_ = 0;
  bool fired_ = false;
  bool dead_ = false;
  struct Durable {
    std::vector<char> contents;
    bool written_since = false;
  };
  std::map<std::string, Durable> durable_;
  void CutPower();
};

}  // namespace tabulor::db::testing
