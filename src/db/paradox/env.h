#pragma once
// The one seam between the engine and the disk (in the manner of LevelDB's Env):
// every byte the engine reads or writes goes through an Env, so that tests can
// fail a write or stop a writer at any point.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tabulor::db {

class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes at offset; returns how many were read (short at end of file).
  virtual size_t ReadAt(uint64_t offset, void* buf, size_t n) = 0;
  virtual void WriteAt(uint64_t offset, const void* buf, size_t n) = 0;
  virtual uint64_t Size() = 0;
  virtual void Truncate(uint64_t size) = 0;
  virtual void Sync() = 0;
};

enum class OpenMode { kRead, kReadWrite, kCreate /* read-write, created or emptied */ };

class Env {
 public:
  virtual ~Env() = default;
  virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode) = 0;
  virtual bool FileExists(const std::string& path) = 0;
  virtual bool DirectoryExists(const std::string& path) = 0;
  // Names (not paths) of the entries of a directory.
  virtual std::vector<std::string> ListDirectory(const std::string& dir) = 0;
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& path) = 0;
  virtual void CreateDirectory(const std::string& path) = 0;
  // Makes renames and creations inside dir durable.
  virtual void SyncDirectory(const std::string& dir) = 0;

  // The real file system. Errors are thrown as std::system_error with the path.
  static std::shared_ptr<Env> Default();
};

}  // namespace tabulor::db
