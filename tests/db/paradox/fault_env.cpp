#include "fault_env.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tabulor::db::testing {
namespace {

std::vector<char> ContentsOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FaultFile : public File {
 public:
  FaultFile(FaultEnv& env, std::unique_ptr<File> file, std::string path)
      : env_(env), file_(std::move(file)), path_(std::move(path)) {}
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
    env_.Written(path_);
  }
  uint64_t Size() override {
    env_.CheckAlive();
    return file_->Size();
  }
  void Truncate(uint64_t size) override {
    env_.Step();
    file_->Truncate(size);
    env_.Written(path_);
  }
  void Sync() override {
    env_.Step();
    file_->Sync();
    env_.Synced(path_);
  }

 private:
  FaultEnv& env_;
  std::unique_ptr<File> file_;
  std::string path_;
};

}  // namespace

void FaultEnv::Step(bool* torn) {
  CheckAlive();
  ++operations_;
  if (mode_ == Mode::kCount || operations_ != fault_at_) return;
  fired_ = true;
  if (mode_ == Mode::kPowerCut) CutPower();
  if (mode_ == Mode::kKill || mode_ == Mode::kPowerCut) {
    dead_ = true;
    if (torn) *torn = true;
    throw InjectedFault("killed at operation " + std::to_string(operations_));
  }
  throw InjectedFault("disk full at operation " + std::to_string(operations_));
}

std::unique_ptr<File> FaultEnv::Open(const std::string& path, OpenMode mode) {
  if (mode == OpenMode::kCreate) Step();
  else CheckAlive();
  // A file created anew (a journal again after the last one was removed) holds
  // nothing durable yet: never what an earlier file of that name held.
  if (mode == OpenMode::kCreate) durable_.erase(path);
  auto file = Env::Default()->Open(path, mode);
  Opened(path);
  return std::make_unique<FaultFile>(*this, std::move(file), path);
}

void FaultEnv::Opened(const std::string& path) {
  if (mode_ == Mode::kPowerCut && !durable_.count(path)) durable_[path].contents = ContentsOf(path);
}

void FaultEnv::Written(const std::string& path) {
  if (mode_ == Mode::kPowerCut) durable_[path].written_since = true;
}

void FaultEnv::Synced(const std::string& path) {
  if (mode_ == Mode::kPowerCut) durable_[path] = {ContentsOf(path), false};
}

void FaultEnv::CutPower() {
  for (const auto& [path, durable] : durable_) {
    if (!durable.written_since || !std::filesystem::exists(path)) continue;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(durable.contents.data(), durable.contents.size());
  }
}

void FaultEnv::Rename(const std::string& from, const std::string& to) {
  Step();
  Env::Default()->Rename(from, to);
  durable_.erase(to);
  if (auto it = durable_.find(from); it != durable_.end()) {
    durable_[to] = std::move(it->second);
    durable_.erase(from);
  }
}

void FaultEnv::Remove(const std::string& path) {
  Step();
  Env::Default()->Remove(path);
  durable_.erase(path);
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
