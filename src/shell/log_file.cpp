#include "shell/log_file.h"

#include <fcntl.h>
#include <unistd.h>

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
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (existed ? 0 : O_TRUNC), 0666);
  if (fd_ < 0) Fail();
  if (existed) WriteLine(" ");
}

LogFile LogFile::InProgramDir(std::string_view name) { return InDirectory(ProgramDir(), name); }

LogFile LogFile::InDirectory(const std::string& dir, std::string_view name) {
  return LogFile(FileInDirNoCase(dir.empty() ? "./" : dir, name));
}

LogFile::LogFile(LogFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)) {}

LogFile& LogFile::operator=(LogFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    path_ = std::move(other.path_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

LogFile::~LogFile() {
  if (fd_ >= 0) ::close(fd_);
}

void LogFile::WriteLine(std::string_view text) {
  if (fd_ < 0) {
    errno = EBADF;
    Fail();
  }
  line_.clear();
  // ASCII stays as it is; the rest is converted character by character.
  size_t ascii = 0;
  while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
  line_.append(text.substr(0, ascii));
  if (ascii < text.size()) line_ += Utf8ToCp1252(text.substr(ascii));
  line_ += "\r\n";
  size_t done = 0;
  while (done < line_.size()) {
    const ssize_t n = ::write(fd_, line_.data() + done, line_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      Fail();
    }
    done += static_cast<size_t>(n);
  }
}

void LogFile::Close() {
  if (fd_ < 0) return;
  const int rc = ::close(std::exchange(fd_, -1));
  if (rc != 0 && errno != EINTR) Fail();
}

void LogFile::Fail() const {
  throw std::runtime_error(msg::CannotWriteFile(path_, std::strerror(errno)));
}

}  // namespace tabulor::shell
