#include "memory_env.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace tabulor::db::fuzz {
namespace {

class MemoryFile : public File {
 public:
  explicit MemoryFile(std::shared_ptr<std::vector<uint8_t>> bytes) : bytes_(std::move(bytes)) {}
  size_t ReadAt(uint64_t offset, void* buf, size_t n) override {
    if (offset >= bytes_->size()) return 0;
    n = std::min<size_t>(n, bytes_->size() - offset);
    std::memcpy(buf, bytes_->data() + offset, n);
    return n;
  }
  void WriteAt(uint64_t offset, const void* buf, size_t n) override {
    if (offset + n > bytes_->size()) bytes_->resize(offset + n);
    std::memcpy(bytes_->data() + offset, buf, n);
  }
  uint64_t Size() override { return bytes_->size(); }
  void Truncate(uint64_t size) override { bytes_->resize(size); }
  void Sync() override {}

 private:
  std::shared_ptr<std::vector<uint8_t>> bytes_;
};

}  // namespace

std::unique_ptr<File> MemoryEnv::Open(const std::string& path, OpenMode mode) {
  auto it = files_.find(path);
  if (mode == OpenMode::kCreate) {
    Put(path, {});
    it = files_.find(path);
  }
  if (it == files_.end()) throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory), path);
  return std::make_unique<MemoryFile>(it->second);
}

std::vector<std::string> MemoryEnv::ListDirectory(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& [path, bytes] : files_)
    if (path.rfind(dir + "/", 0) == 0) names.push_back(path.substr(dir.size() + 1));
  return names;
}

void MemoryEnv::Rename(const std::string& from, const std::string& to) {
  auto it = files_.find(from);
  if (it == files_.end()) throw std::system_error(std::make_error_code(std::errc::no_such_file_or_directory), from);
  files_[to] = it->second;
  files_.erase(from);
}

}  // namespace tabulor::db::fuzz
