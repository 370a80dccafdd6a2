// The real file system behind the Env seam.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "db/paradox/env.h"

namespace tabulor::db {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what, const std::string& path) {
  throw std::system_error(errno, std::generic_category(), what + " " + path);
}

class PosixFile : public File {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixFile() override { ::close(fd_); }

  size_t ReadAt(uint64_t offset, void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pread(fd_, static_cast<char*>(buf) + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        ThrowErrno("cannot read", path_);
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    return done;
  }
  void WriteAt(uint64_t offset, const void* buf, size_t n) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::pwrite(fd_, static_cast<const char*>(buf) + done, n - done, static_cast<off_t>(offset + done));
      if (r < 0) {
        if (errno == EINTR) continue;
        ThrowErrno("cannot write", path_);
      }
      done += static_cast<size_t>(r);
    }
  }
  uint64_t Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) ThrowErrno("cannot stat", path_);
    return static_cast<uint64_t>(st.st_size);
  }
  void Truncate(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) ThrowErrno("cannot truncate", path_);
  }
  void Sync() override {
    if (::fdatasync(fd_) != 0) ThrowErrno("cannot sync", path_);
  }

 private:
  int fd_;
  std::string path_;
};

class PosixEnv : public Env {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case OpenMode::kRead: flags |= O_RDONLY; break;
      case OpenMode::kReadWrite: flags |= O_RDWR; break;
      case OpenMode::kCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) ThrowErrno("cannot open", path);
    return std::make_unique<PosixFile>(fd, path);
  }
  bool FileExists(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  bool DirectoryExists(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  std::vector<std::string> ListDirectory(const std::string& dir) override {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) ThrowErrno("cannot list", dir);
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(d);
    return names;
  }
  void Rename(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) ThrowErrno("cannot rename", from + " to " + to);
  }
  void Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowErrno("cannot delete", path);
  }
  void CreateDirectory(const std::string& path) override {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) ThrowErrno("cannot create directory", path);
  }
  void SyncDirectory(const std::string& dir) override {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowErrno("cannot open directory", dir);
    int rc = ::fsync(fd);
    ::close(fd);
    if (rc != 0) ThrowErrno("cannot sync directory", dir);
  }
};

}  // namespace

std::shared_ptr<Env> Env::Default() {
  static std::shared_ptr<Env> env = std::make_shared<PosixEnv>();
  return env;
}

}  // namespace tabulor::db
