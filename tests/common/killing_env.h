#pragma once
// A disk seam that kills its process (SIGKILL) at its Nth change to the disk,
// after writing half of that change when it is a write: what a writer leaves
// when it is killed at that point. With a negative N it only counts.
#include <signal.h>

#include <functional>
#include <memory>

#include "db/paradox/env.h"

namespace tabulor::testing {

class KillingEnv : public db::Env {
 public:
  // `kill_at` < 0: only count.
  explicit KillingEnv(int kill_at) : kill_at_(kill_at) {}
  int changes() const { return changes_; }

  // Counts one change; at the chosen one, writes `torn` bytes first and dies.
  void Change(const std::function<void()>& torn = {}) {
    if (++changes_ != kill_at_) return;
    if (torn) torn();
    ::raise(SIGKILL);
  }

  std::unique_ptr<db::File> Open(const std::string& path, db::OpenMode mode) override {
    if (mode == db::OpenMode::kCreate) Change();
    return std::make_unique<CountedFile>(base_->Open(path, mode), *this);
  }
  bool FileExists(const std::string& p) override { return base_->FileExists(p); }
  bool DirectoryExists(const std::string& p) override { return base_->DirectoryExists(p); }
  std::vector<std::string> ListDirectory(const std::string& d) override { return base_->ListDirectory(d); }
  void Rename(const std::string& a, const std::string& b) override { Change(), base_->Rename(a, b); }
  void Remove(const std::string& p) override { Change(), base_->Remove(p); }
  void CreateDirectory(const std::string& p) override { Change(), base_->CreateDirectory(p); }
  // A killed process loses nothing the kernel holds: syncing only marks a point to die at.
  void SyncDirectory(const std::string&) override { Change(); }

 private:
  struct CountedFile : db::File {
    CountedFile(std::unique_ptr<db::File> f, KillingEnv& e) : file(std::move(f)), env(e) {}
    size_t ReadAt(uint64_t o, void* b, size_t n) override { return file->ReadAt(o, b, n); }
    void WriteAt(uint64_t o, const void* b, size_t n) override {
      env.Change([&] { file->WriteAt(o, b, n / 2); });
      file->WriteAt(o, b, n);
    }
    uint64_t Size() override { return file->Size(); }
    void Truncate(uint64_t s) override { env.Change(), file->Truncate(s); }
    void Sync() override { env.Change(); }
    std::unique_ptr<db::File> file;
    KillingEnv& env;
  };
  std::shared_ptr<db::Env> base_ = db::Env::Default();
  int kill_at_;
  int changes_ = 0;
};

}  // namespace tabulor::testing
