#include "db/access/libmdb_warnings.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "db/access/error.h"

namespace tabulor::db::access {
namespace {
constexpr size_t kKeptBytes = 400;
}

WarningCapture::WarningCapture() {
  std::fflush(stderr);
  int fds[2] = {-1, -1};
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    read_end_ = fds[0];
    write_end_ = fds[1];
    saved_stderr_ = dup(STDERR_FILENO);
  }
  if (saved_stderr_ < 0 || dup2(write_end_, STDERR_FILENO) < 0) {
    for (int fd : {read_end_, write_end_, saved_stderr_})
      if (fd >= 0) close(fd);
    throw AccessError("capture des avertissements de libmdb impossible");
  }
}

WarningCapture::~WarningCapture() {
  std::fflush(stderr);
  dup2(saved_stderr_, STDERR_FILENO);
  close(saved_stderr_);
  close(read_end_);
  close(write_end_);
}

std::string WarningCapture::Take() {
  std::fflush(stderr);
  std::clearerr(stderr);  // a write the full pipe refused marks the stream
  std::string text;
  char buffer[4096];
  for (;;) {  // drains the pipe, keeping the first bytes
    const ssize_t n = read(read_end_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, std::min(static_cast<size_t>(n), kKeptBytes - std::min(kKeptBytes, text.size())));
  }
  if (text.empty()) return {};
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty()) text = "?";
  return text;
}

}  // namespace tabulor::db::access
