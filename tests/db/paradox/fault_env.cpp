#include "fault_env.h"

namespace tabulor::db::testing {
namespace {

class FaultFile : public File {
 public:
  FaultFile(FaultEnv& env, std::unique_ptr<File> file) : env_(env), file_(std::move(file)) {}
  size_t ReadAt(uint64_t offset, void* buf, size_t n) override {
    env_.CheckAlive();
    return file_->ReadAt(offset, buf, n);
  }
  void WriteAt(uint64_t offset, const void* buf, size_t n) override {
    bool torn = false;
    try {
      env_.Step(&torn);
    } catch (...) {
      if (torn && n > 1) file_->WriteAt(offset, buf, n / 2);
      throw;
    }
    file_->WriteAt(offset, buf, n);
  }
  uint64_t Size() override {
    env_.CheckAlive();
    return file_->Size();
  }
  void Truncate(uint64_t size) override {
    env_.Step();
    file_->Truncate(size);
  }
  void Sync() override {
    env_.Step();
    file_->Sync();
  }

 private:
  FaultEnv& env_;
  std::unique_ptr<File> file_;
};

}  // namespace

void FaultEnv::Step(bool* torn) {
  CheckAlive();
  ++operations_;
  if (mode_ == Mode::kCount || operations_ != fault_at_) return;
  fired_ = true;
  if (mode_ == Mode::kKill) {
    dead_ = true;
    if (torn) *torn = true;
    throw InjectedFault("killed at operation " + std::to_string(operations_));
  }
  throw InjectedFault("disk full at operation " + std::to_string(operations_));
}

std::unique_ptr<File> FaultEnv::Open(const std::string& path, OpenMode mode) {
  if (mode == OpenMode::kCreate) Step();
  else CheckAlive();
  return std::make_unique<FaultFile>(*this, Env::Default()->Open(path, mode));
}

void FaultEnv::Rename(const std::string& from, const std::string& to) {
  Step();
  Env::Default()->Rename(from, to);
}

void FaultEnv::Remove(const std::string& path) {
  Step();
  Env::Default()->Remove(path);
}

void FaultEnv::CreateDirectory(const std::string& path) {
  Step();
  Env::Default()->CreateDirectory(path);
}

void FaultEnv::SyncDirectory(const std::string& dir) {
  Step();
  Env::Default()->SyncDirectory(dir);
}

}  // namespace tabulor::db::testing
