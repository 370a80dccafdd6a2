#include "shell/log_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "shell/cp1252.h"
#include "shell/file_names.h"
#include "shell/msg.h"
#include "shell/program_dir.h"

namespace tabulor::shell {

LogFile::LogFile(std::string path) : path_(std::move(path)) {
  std::error_code ec;
  const bool existed = std::filesystem::is_regular_file(path_, ec);
  file_ = std::fopen(path_.c_str(), existed ? "ab" : "wb");
  if (!file_) Fail();
  if (existed) WriteLine(" ");
}

LogFile LogFile::InProgramDir(std::string_view name) { return InDirectory(ProgramDir(), name); }

LogFile LogFile::InDirectory(const std::string& dir, std::string_view name) {
  return LogFile(FileInDirNoCase(dir.empty() ? "./" : dir, name));
}

LogFile::LogFile(LogFile&& other) noexcept
    : path_(std::move(other.path_)), file_(std::exchange(other.file_, nullptr)) {}

LogFile& LogFile::operator=(LogFile&& other) noexcept {
  if (this != &other) {
    if (file_) std::fclose(file_);
    path_ = std::move(other.path_);
    file_ = std::exchange(other.file_, nullptr);
  }
  return *this;
}

LogFile::~LogFile() {
  if (file_) std::fclose(file_);
}

void LogFile::WriteLine(std::string_view text) {
  if (!file_) {
    errno = EBADF;
    Fail();
  }
  std::string bytes = Utf8ToCp1252(text);
  bytes += "\r\n";
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() || std::fflush(file_) != 0) Fail();
}

void LogFile::Close() {
  if (!file_) return;
  const int rc = std::fclose(std::exchange(file_, nullptr));
  if (rc != 0) Fail();
}

void LogFile::Fail() const {
  throw std::runtime_error(msg::CannotWriteFile(path_, std::strerror(errno)));
}

}  // namespace tabulor::shell
