#pragma once
// An Env whose files live in memory, so that a fuzzer can hand the engine any bytes as a file.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "db/paradox/env.h"

namespace tabulor::db::fuzz {

class MemoryEnv : public Env {
 public:
  void Put(const std::string& path, std::vector<uint8_t> bytes) { files_[path] = std::make_shared<std::vector<uint8_t>>(std::move(bytes)); }

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override;
  bool FileExists(const std::string& path) override { return files_.count(path) > 0; }
  bool DirectoryExists(const std::string& path) override { return path == "/mem"; }
  std::vector<std::string> ListDirectory(const std::string& dir) override;
  void Rename(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override { files_.erase(path); }
  void CreateDirectory(const std::string&) override {}
  void SyncDirectory(const std::string&) override {}

 private:
  std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> files_;
};

}  // namespace tabulor::db::fuzz
