#include "fault_env.h"

#include <unistd.h>

#include <cerrno>
#include <functional>
#include <system_error>

namespace tabulor::upgrade::testing {
namespace {

class FaultFile : public db::File {
 public:
  FaultFile(std::unique_ptr<db::File> file, FaultEnv& env) : file_(std::move(file)), env_(env) {}
  size_t ReadAt(uint64_t offset, void* buf, size_t n) override { return file_->ReadAt(offset, buf, n); }
  void WriteAt(uint64_t offset, const void* buf, size_t n) override {
    env_.Change([&] { file_->WriteAt(offset, buf, n / 2); });
    file_->WriteAt(offset, buf, n);
  }
  uint64_t Size() override { return file_->Size(); }
  void Truncate(uint64_t size) override {
    env_.Change();
    file_->Truncate(size);
  }
  // A killed process loses nothing that reached the page cache, so the
  // durability of a sync is not needed here, only its place among the changes.
  void Sync() override { env_.Change(); }

 private:
  std::unique_ptr<db::File> file_;
  FaultEnv& env_;
};

}  // namespace

void FaultEnv::Change(const std::function<void()>& torn_write) {
  if (++changes_ != fault_at_ || mode_ == Mode::kCount) return;
  fired_ = true;
  if (mode_ == Mode::kKill) {
    if (torn_write) torn_write();
    ::_exit(86);  // nothing else reaches the disk
  }
  throw std::system_error(ENOSPC, std::generic_category(), "injected write failure");
}

std::unique_ptr<db::File> FaultEnv::Open(const std::string& path, db::OpenMode mode) {
  if (mode == db::OpenMode::kCreate) Change();
  return std::make_unique<FaultFile>(base_->Open(path, mode), *this);
}

void FaultEnv::Rename(const std::string& from, const std::string& to) {
  Change();
  base_->Rename(from, to);
}

void FaultEnv::Remove(const std::string& path) {
  Change();
  base_->Remove(path);
}

void FaultEnv::CreateDirectory(const std::string& path) {
  Change();
  base_->CreateDirectory(path);
}

void FaultEnv::SyncDirectory(const std::string&) { Change(); }

}  // namespace tabulor::upgrade::testing
