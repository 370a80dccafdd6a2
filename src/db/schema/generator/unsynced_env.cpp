#include "db/schema/generator/unsynced_env.h"

namespace tabulor::schema {
namespace {

class UnsyncedFile : public db::File {
 public:
  explicit UnsyncedFile(std::unique_ptr<db::File> file) : file_(std::move(file)) {}
  size_t ReadAt(uint64_t offset, void* buf, size_t n) override { return file_->ReadAt(offset, buf, n); }
  void WriteAt(uint64_t offset, const void* buf, size_t n) override { file_->WriteAt(offset, buf, n); }
  uint64_t Size() override { return file_->Size(); }
  void Truncate(uint64_t size) override { file_->Truncate(size); }
  void Sync() override {}

 private:
  std::unique_ptr<db::File> file_;
};

class Unsynced : public db::Env {
 public:
  explicit Unsynced(std::shared_ptr<db::Env> env) : env_(std::move(env)) {}
  std::unique_ptr<db::File> Open(const std::string& path, db::OpenMode mode) override {
    return std::make_unique<UnsyncedFile>(env_->Open(path, mode));
  }
  bool FileExists(const std::string& path) override { return env_->FileExists(path); }
  bool DirectoryExists(const std::string& path) override { return env_->DirectoryExists(path); }
  std::vector<std::string> ListDirectory(const std::string& dir) override { return env_->ListDirectory(dir); }
  void Rename(const std::string& from, const std::string& to) override { env_->Rename(from, to); }
  void Remove(const std::string& path) override { env_->Remove(path); }
  void CreateDirectory(const std::string& path) override { env_->CreateDirectory(path); }
  void SyncDirectory(const std::string&) override {}

 private:
  std::shared_ptr<db::Env> env_;
};

}  // namespace

std::shared_ptr<db::Env> UnsyncedEnv() { return std::make_shared<Unsynced>(db::Env::Default()); }

}  // namespace tabulor::schema
